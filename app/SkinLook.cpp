#include "app/SkinLook.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QPointer>
#include <QTimer>
#include <QTreeView>

namespace varnelo {

QString SkinStyleSheet(const QPalette &p) {
    const auto c = [&p](QPalette::ColorRole role) { return p.color(QPalette::Active, role).name(); };
    QString css = QStringLiteral(
        "QTreeView { background: %base; color: %text; border: none; selection-background-color: %highlight;"
        " selection-color: %highlighted; alternate-background-color: %alternate; }"
        "QHeaderView::section { background: %base; color: %dim; border: none; padding: 2px 6px; }"
        // The main window's lists lie on the skin's panels, which have the window colour.
        "#fm_main > QTreeView, #fm_main > QTreeView QHeaderView::section { background: %window; }"
        "QTreeView::item { padding: 1px 2px; }"
        "#panel_radio, #pan_search { background: %window; border: 1px solid %mid; border-radius: 6px; }"
        "#panel_radio QLabel, #pan_search QLabel { color: %windowText; }"
        "#panel_radio QLineEdit, #pan_search QLineEdit, #pan_search QComboBox { background: %base; color: "
        "%text;"
        " border: 1px solid %mid; border-radius: 4px; padding: 2px 4px; }"
        "#panel_radio QPushButton, #pan_search QPushButton { background: %button; color: %buttonText; "
        "border: none;"
        " border-radius: 4px; padding: 4px 10px; }"
        "#panel_radio QPushButton:hover, #pan_search QPushButton:hover { background: %highlight;"
        " color: %highlighted; }"
        "#panel_state { background: transparent; } #lab_state { color: %windowText; }"
        "#BitBtn1, #BitBtn2 { background: transparent; border: none; }");
    // Longer names first, so that no name is replaced inside another.
    const std::pair<const char *, QPalette::ColorRole> names[] = {
        {"%highlighted", QPalette::HighlightedText},
        {"%highlight", QPalette::Highlight},
        {"%alternate", QPalette::AlternateBase},
        {"%windowText", QPalette::WindowText},
        {"%window", QPalette::Window},
        {"%buttonText", QPalette::ButtonText},
        {"%button", QPalette::Button},
        {"%base", QPalette::Base},
        {"%text", QPalette::Text},
        {"%dim", QPalette::PlaceholderText},
        {"%mid", QPalette::Mid},
    };
    for (const auto &[name, role] : names)
        css.replace(QLatin1String(name), c(role));
    return css;
}

void FitColumnsToContents(QTreeView *view, std::vector<int> minimumWidths) {
    QAbstractItemModel *model = view->model();
    if (!model)
        return;
    const QPointer<QTreeView> guard(view);
    auto pending = std::make_shared<bool>(false);
    const auto fit = [guard, pending, minimumWidths] {
        *pending = false;
        if (!guard)
            return;
        QHeaderView *header = guard->header();
        const int last = header->count() - 1;
        for (int column = 0; column <= last; ++column) {
            if (guard->isColumnHidden(column))
                continue;
            guard->resizeColumnToContents(column); // the header's text and the rows' texts
            const int minimum = column < static_cast<int>(minimumWidths.size()) ? minimumWidths[column] : 0;
            if (header->sectionSize(column) < minimum)
                header->resizeSection(column, minimum);
        }
    };
    // Refitted once per burst of changes.
    const auto later = [view, pending, fit] {
        if (*pending)
            return;
        *pending = true;
        QTimer::singleShot(0, view, fit);
    };
    QObject::connect(model, &QAbstractItemModel::modelReset, view, later);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, view, later);
    QObject::connect(model, &QAbstractItemModel::dataChanged, view, later);
    QObject::connect(model, &QAbstractItemModel::layoutChanged, view, later);
    fit();
}

} // namespace varnelo
