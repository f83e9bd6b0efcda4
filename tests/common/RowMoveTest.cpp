#include "common/RowMove.h"

#include <QSignalSpy>
#include <QStandardItemModel>
#include <gtest/gtest.h>

#include <memory>

using namespace varnelo;

// A list cell keeps text and flags its own way, yet to whoever reads or
// changes it (a view, the directory's marks, a row exchange) it is any item.
TEST(ListCell, ReadsChangesAndCopiesLikeAnyItem) {
    QStandardItemModel model;
    model.appendRow({NewListCell(QStringLiteral("a"), Qt::ItemIsSelectable | Qt::ItemIsEnabled)});
    QStandardItem *cell = model.item(0);
    const QModelIndex index = model.index(0, 0);
    EXPECT_EQ(cell->text(), QStringLiteral("a"));
    EXPECT_EQ(model.flags(index), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    cell->setText(QStringLiteral("b"));
    cell->setEditable(true);
    cell->setData(7, Qt::UserRole + 3);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_TRUE(model.flags(index) & Qt::ItemIsEditable);
    QModelRoleData roles[] = {QModelRoleData(Qt::DisplayRole), QModelRoleData(Qt::UserRole + 3)};
    model.multiData(index, roles);
    EXPECT_EQ(roles[0].data().toString(), QStringLiteral("b"));
    EXPECT_EQ(roles[1].data().toInt(), 7);

    const std::unique_ptr<QStandardItem> copy(cell->clone());
    EXPECT_EQ(copy->text(), QStringLiteral("b"));
    EXPECT_TRUE(copy->isEditable());
    EXPECT_EQ(copy->data(Qt::UserRole + 3).toInt(), 7);
}
