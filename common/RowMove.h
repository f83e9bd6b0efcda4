#pragma once

#include <QList>
#include <Qt>

class QString;

class QStandardItem;
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

// Appends rows of cells (the model takes them) with one insertion notice and
// one data notice for them all: a view, proxy or hint attached to the list
// handles a hundred thousand rows once, not once per row.
void AppendRows(QStandardItemModel &model, const QList<QList<QStandardItem *>> &rows);

// A text cell of a list with the given flags. It keeps its text and flags as
// members rather than as role values, so that a row of a long list costs an
// allocation per cell instead of several; other roles (colours, ids) behave
// as on any item, and text and flags may be changed as on any item.
QStandardItem *NewListCell(const QString &text, Qt::ItemFlags flags);

} // namespace varnelo
