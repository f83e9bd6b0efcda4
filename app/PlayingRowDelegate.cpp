#include "app/PlayingRowDelegate.h"

#include "common/TextRules.h"

#include <QPainter>

namespace varnelo {

PlayingRowDelegate::PlayingRowDelegate(std::function<int()> playingRow, QObject *parent)
    : QStyledItemDelegate(parent), playingRow_(std::move(playingRow)) {}

void PlayingRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const {
    // The other rows keep the list's own background ("white" on a light list).
    const int playing = playingRow_ ? playingRow_() : -1;
    if (playing < 0 || index.row() != playing) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt(option);
    painter->fillRect(opt.rect, highlightColour());
    opt.palette.setColor(QPalette::Text, Qt::black);
    opt.palette.setColor(QPalette::HighlightedText, Qt::black);
    opt.backgroundBrush = highlightColour();
    QStyledItemDelegate::paint(painter, opt, index);
}

QString PlayingRowDelegate::displayText(const QVariant &value, const QLocale &locale) const {
    return text::escapeControls(QStyledItemDelegate::displayText(value, locale));
}

} // namespace varnelo
