#include "common/RowMove.h"

#include <QStandardItemModel>

namespace varnelo {
namespace {
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

} // namespace varnelo
