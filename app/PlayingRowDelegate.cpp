#include "app/PlayingRowDelegate.h"

#include <QPainter>

namespace varnelo {

PlayingRowDelegate::PlayingRowDelegate(std::function<int()> playingRow, QObject *parent)
    : QStyledItemDelegate(parent), playingRow_(std::move(playingRow)) {}

void PlayingRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const {
    const int playing = playingRow_ ? playingRow_() : -1;
    if (playing < 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt(option);
    const QColor background = index.row() == playing ? highlightColour() : QColor(Qt::white);
    painter->fillRect(opt.rect, background);
    opt.palette.setColor(QPalette::Text, Qt::black);
    opt.palette.setColor(QPalette::HighlightedText, Qt::black);
    opt.backgroundBrush = background;
    QStyledItemDelegate::paint(painter, opt, index);
}

} // namespace varnelo
