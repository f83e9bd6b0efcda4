#pragma once
#include <QPalette>
#include <QString>
#include <vector>

class QLabel;
class QTreeView;

namespace varnelo {

// How the window's own widgets take the skin's look.

// The main window's style sheet, every colour taken from `palette` (the skin's).
QString SkinStyleSheet(const QPalette &palette);

// Fits every visible column of `view` to its header and its texts (never below
// `minimumWidths`), refitted whenever the rows change. A list wider than its
// view scrolls, unless `lastInSight`: then the widest columns give way down to
// their minimum widths, so that the last columns show, and a cut text shows
// whole as the cell's tip.
// The hint an empty list shows over its rows (centred, wrapped, rich text with
// links), hidden until there is something to say.
QLabel *MakeListHint(QTreeView *view, const char *name);
void FitColumnsToContents(QTreeView *view, std::vector<int> minimumWidths = {}, bool lastInSight = false);

} // namespace varnelo
