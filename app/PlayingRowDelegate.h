#pragma once
#include <QStyledItemDelegate>
#include <functional>

namespace varnelo {

// Paints the playing row of a list in the highlight colour while the list's
// activity runs; every other row keeps the list's own background. Control
// characters in a text (a station name from a stream's headers, a tag) show as
// escapes rather than as boxes; the rows keep the text as it is.
class PlayingRowDelegate : public QStyledItemDelegate {
public:
    // Windows colour value 15780518 (0xF0CAA6): red 166, green 202, blue 240.
    static QColor highlightColour() { return QColor(166, 202, 240); }

    // `playingRow` gives the highlighted row, or -1 while the activity does not run.
    PlayingRowDelegate(std::function<int()> playingRow, QObject *parent = nullptr);
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QString displayText(const QVariant &value, const QLocale &locale) const override;

private:
    std::function<int()> playingRow_;
};

} // namespace varnelo
