#pragma once
#include <QPalette>
#include <QString>
#include <vector>

class QTreeView;

namespace varnelo {

// How the window's own widgets take the skin's look.

// The main window's style sheet, every colour taken from `palette` (the skin's).
QString SkinStyleSheet(const QPalette &palette);

// Keeps every visible column of `view` at least as wide as its header and its
// texts (never below `minimumWidths`), refitted whenever the rows change; a
// list wider than its view scrolls rather than cutting texts.
void FitColumnsToContents(QTreeView *view, std::vector<int> minimumWidths = {});

} // namespace varnelo
