#include "common/RowMove.h"

#include <QSignalBlocker>
#include <QStandardItemModel>

#include <algorithm>

namespace varnelo {
namespace {

// QStandardItem keeps its flags as this role's value.
constexpr int FlagsRole = Qt::UserRole - 1;

class ListCell final : public QStandardItem {
public:
    ListCell(const QString &text, Qt::ItemFlags flags) : text_(text), flags_(flags) {}

    QVariant data(int role) const override {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return text_;
        if (role == FlagsRole)
            return int(flags_);
        return QStandardItem::data(role);
    }
    void multiData(QModelRoleDataSpan span) const override {
        QStandardItem::multiData(span);
        for (QModelRoleData &entry : span)
            if (entry.role() == Qt::DisplayRole || entry.role() == Qt::EditRole || entry.role() == FlagsRole)
                entry.setData(data(entry.role()));
    }
    void setData(const QVariant &value, int role) override {
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            text_ = value.toString();
        } else if (role == FlagsRole) {
            flags_ = Qt::ItemFlags(value.toInt());
        } else {
            QStandardItem::setData(value, role);
            return;
        }
        emitDataChanged();
    }
    QStandardItem *clone() const override { return new ListCell(*this); }

private:
    ListCell(const ListCell &other) = default;

    QString text_;
    Qt::ItemFlags flags_;
};
void copyRow(QStandardItemModel &model, int from, int to) {
    for (int c = 0; c < model.columnCount(); ++c) {
        const QStandardItem *source = model.item(from, c);
        model.setItem(to, c, source ? source->clone() : new QStandardItem);
    }
}
} // namespace

void ExchangeRows(QStandardItemModel &model, int a, int b) {
    const int temp = model.rowCount();
    model.insertRow(temp);
    copyRow(model, a, temp);
    copyRow(model, b, a);
    copyRow(model, temp, b);
    model.removeRow(temp);
}

int MoveRow(QStandardItemModel &model, int selected, int step) {
    const int target = selected + step;
    if (selected < 0 || selected >= model.rowCount() || target < 0 || target >= model.rowCount())
        return -1;
    ExchangeRows(model, selected, target);
    return target;
}

QStandardItem *NewListCell(const QString &text, Qt::ItemFlags flags) {
    return new ListCell(text, flags);
}

void AppendRows(QStandardItemModel &model, const QList<QList<QStandardItem *>> &rows) {
    if (rows.isEmpty())
        return;
    qsizetype widest = 0;
    for (const auto &row : rows)
        widest = std::max(widest, row.size());
    const int columns = std::max(model.columnCount(), int(widest));
    if (model.columnCount() < columns)
        model.setColumnCount(columns);
    const int first = model.rowCount();
    const int count = int(rows.size());
    model.insertRows(first, count); // the one insertion notice, of empty rows
    {
        // Filling the announced rows cell by cell would notify each cell.
        const QSignalBlocker quiet(model);
        for (int r = 0; r < count; ++r)
            for (int c = 0; c < int(rows[r].size()); ++c)
                model.setItem(first + r, c, rows[r][c]);
    }
    Q_EMIT model.dataChanged(model.index(first, 0), model.index(first + count - 1, columns - 1));
}

} // namespace varnelo
