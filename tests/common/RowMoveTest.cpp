#include "common/RowMove.h"

#include <QSignalSpy>
#include <QStandardItemModel>
#include <gtest/gtest.h>

// A list cell keeps text and flags its own way, yet reads, changes and copies as any item.
TEST(ListCell, ReadsChangesAndCopiesLikeAnyItem) {
    QStandardItemModel model;
    model.appendRow({varnelo::NewListCell(QStringLiteral("a"), Qt::ItemIsSelectable | Qt::ItemIsEnabled)});
    QStandardItem *cell = model.item(0);
    EXPECT_EQ(model.flags(model.index(0, 0)), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    cell->setText(QStringLiteral("b"));
    cell->setEditable(true);
    cell->setData(7, Qt::UserRole + 3);
    EXPECT_EQ(changed.count(), 3);
    QModelRoleData roles[] = {QModelRoleData(Qt::DisplayRole), QModelRoleData(Qt::UserRole + 3)};
    model.multiData(model.index(0, 0), roles);
    EXPECT_EQ(roles[0].data().toString(), QStringLiteral("b"));
    EXPECT_EQ(roles[1].data().toInt(), 7);
    const std::unique_ptr<QStandardItem> copy(cell->clone());
    EXPECT_TRUE(copy->text() == QStringLiteral("b") && copy->isEditable() &&
                copy->data(Qt::UserRole + 3) == 7);
}
