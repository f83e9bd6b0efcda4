#include "desktop/AboutBox.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace varnelo {

AboutBox::AboutBox(const QIcon &icon, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), icon_(icon) {
    setObjectName(QStringLiteral("fm_about"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(Width, Height);
}

void AboutBox::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const QPalette &pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Window));
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));

    icon_.paint(&p, QRect(16, 20, 32, 32));
    QFont name = font();
    name.setBold(true);
    name.setPixelSize(20);
    p.setFont(name);
    p.setPen(pal.color(QPalette::WindowText));
    p.drawText(QRect(60, 18, Width - 76, 36), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Varnelo"));

    QFont body = font();
    body.setPixelSize(13);
    p.setFont(body);
    p.drawText(QRect(60, 62, Width - 76, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Version : 1.00"));

    p.fillRect(QRect(16, Height - 30, Width - 32, 1), lineColour());

    // The title under the line: "About", or the seconds left before it closes.
    QFont small = font();
    small.setPixelSize(11);
    p.setFont(small);
    p.setPen(pal.color(QPalette::PlaceholderText));
    p.drawText(QRect(16, Height - 26, Width - 32, 20), Qt::AlignRight | Qt::AlignVCenter, windowTitle());
}

void AboutBox::mousePressEvent(QMouseEvent *event) {
    event->accept();
    close();
}

void AboutBox::changeEvent(QEvent *event) {
    if (event->type() == QEvent::WindowTitleChange)
        update();
    QDialog::changeEvent(event);
}

} // namespace varnelo
