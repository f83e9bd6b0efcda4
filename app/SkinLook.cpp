#include "app/SkinLook.h"

#include "common/TextRules.h"

#include <algorithm>

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QToolTip>
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
        // The rip page's list covers both panels and draws their frame itself.
        "#fm_main > #lv_cd { border: 1px solid %mid; border-radius: 8px; padding: 3px; }"
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

namespace {

// Shows a cell's whole text as its tip when the column is too narrow for it.
class ElidedTextTips final : public QObject {
public:
    explicit ElidedTextTips(QTreeView *view) : QObject(view), view_(view) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::ToolTip)
            return QObject::eventFilter(watched, event);
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = view_->indexAt(help->pos());
        const QString text = text::escapeControls(index.data(Qt::DisplayRole).toString());
        if (!index.isValid() || text.isEmpty() || index.data(Qt::ToolTipRole).isValid())
            return QObject::eventFilter(watched, event);
        const QRect cell = view_->visualRect(index);
        // The text's room: the cell less its margins, check box and icon.
        const int spare = index.data(Qt::CheckStateRole).isValid() ? 28 : 10;
        if (view_->fontMetrics().horizontalAdvance(text) > cell.width() - spare)
            QToolTip::showText(help->globalPos(), text, view_->viewport(), cell);
        else
            QToolTip::hideText();
        return true;
    }

private:
    QTreeView *view_;
};

} // namespace

QLabel *MakeListHint(QTreeView *view, const char *name) {
    auto *hint = new QLabel(view->viewport());
    hint->setObjectName(QLatin1String(name));
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignCenter);
    hint->setTextFormat(Qt::RichText);
    hint->setStyleSheet(QStringLiteral("color: #8b93a7; a { color: #8f8fff; }"));
    hint->hide();
    return hint;
}

void FitColumnsToContents(QTreeView *view, std::vector<int> minimumWidths, bool lastInSight) {
    QAbstractItemModel *model = view->model();
    if (!model)
        return;
    const QPointer<QTreeView> guard(view);
    auto pending = std::make_shared<bool>(false);
    const auto fit = [guard, pending, minimumWidths, lastInSight] {
        *pending = false;
        if (!guard)
            return;
        QHeaderView *header = guard->header();
        struct Column {
            int column, floor, width; // floor: the least width when the list is short of room
        };
        std::vector<Column> columns;
        int total = 0, widest = 0;
        for (int column = 0; column < header->count(); ++column) {
            if (guard->isColumnHidden(column))
                continue;
            guard->resizeColumnToContents(column); // the header's text and the rows' texts
            const int minimum = column < static_cast<int>(minimumWidths.size()) ? minimumWidths[column] : 0;
            const int content = header->sectionSize(column);
            const int width = std::max(content, minimum);
            // Short of room, a column whose texts are short gives up its spare width first.
            columns.push_back({column, lastInSight ? std::min(minimum, content) : minimum, width});
            total += width;
            widest = std::max(widest, width);
        }
        // The widest columns give way first: each is cut to a common level, the
        // highest that fits, never below its floor; the list scrolls only when
        // even the floors do not fit.
        int level = widest;
        const int room = guard->viewport()->width();
        if (lastInSight && total > room) {
            const auto widthAt = [&columns](int cut) {
                int sum = 0;
                for (const Column &c : columns)
                    sum += std::max(c.floor, std::min(c.width, cut));
                return sum;
            };
            int low = 0;
            while (low < level) {
                const int mid = (low + level + 1) / 2;
                if (widthAt(mid) <= room)
                    low = mid;
                else
                    level = mid - 1;
            }
        }
        for (const Column &c : columns)
            header->resizeSection(c.column, std::max(c.floor, std::min(c.width, level)));
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
    if (lastInSight)
        view->viewport()->installEventFilter(new ElidedTextTips(view));
    fit();
}

} // namespace varnelo
