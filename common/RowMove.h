#pragma once

class QStandardItemModel;

namespace varnelo {

// Exchanges the contents of two rows of a list (caption and every column)
// through a temporary row appended at the end and removed again. Only the list
// changes; nothing is written anywhere.
void ExchangeRows(QStandardItemModel &model, int a, int b);

// The "up"/"down" moves: with `selected` the selected row, exchange it with its
// neighbour; returns the row the moved entry now occupies, or -1 when nothing
// moved (no selection, the first row up, the last row down).
int MoveRow(QStandardItemModel &model, int selected, int step);

} // namespace varnelo
