#include "app/MainWindow.h"

#include "app/TrayTip.h"
#include "common/Seams.h"
#include "convert/CdRipper.h"
#include "library/LocalPlayer.h"
#include "radio/StationPanel.h"

#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTimer>

namespace varnelo {

// The tray icon: to the tray and back, and the tips it shows.
namespace {

// The two 16 by 16 tray images: a note on a disc, and the same dimmed for the tray state.
QIcon trayImage(bool minimized) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(minimized ? QColor(0x55, 0x60, 0x70) : QColor(0x1e, 0x88, 0xe5));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(4, 9, 4.5, 3.5));
    p.fillRect(QRectF(7.4, 3.5, 1.3, 7), Qt::white);
    p.fillRect(QRectF(7.4, 3.5, 4, 1.5), Qt::white);
    return QIcon(pm);
}

} // namespace

void MainWindow::buildTray() {
    normalIcon_ = trayImage(false);
    minimizedIcon_ = trayImage(true);
    setWindowIcon(normalIcon_);
    tray_ = new QSystemTrayIcon(normalIcon_, this);
    tray_->setToolTip(QStringLiteral("Varnelo"));
    tray_->setContextMenu(p_min);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger)
            return;
        if (state.WindowShown)
            ApplicationMinimize();
        else
            ApplicationRestore();
    });
    // Without a tray the program still runs; the window is then its only face.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray_->show();
}

QString MainWindow::currentTrayTip() const {
    return tray_ ? tray_->toolTip() : QString();
}

void MainWindow::ApplicationMinimize() {
    state.WindowShown = false;
    hide();
    const QString cdName = ripper_ ? ripper_->CurrentTrackName() : QString();
    const QString tip =
        MinimizedTip(state, clock_.now(), panel_radio->Lstatus->text(), localPlayer_->CurrentFile, cdName);
    tray_->setIcon(minimizedIcon_);
    tray_->setToolTip(tip);
}

void MainWindow::ApplicationRestore() {
    state.WindowShown = true;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show(); // showing runs the command-line step again
    raise();
    activateWindow();
    tray_->setIcon(normalIcon_);
    tray_->setToolTip(QStringLiteral("Varnelo"));
}

void MainWindow::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        state.WindowShown)
        QTimer::singleShot(0, this, &MainWindow::ApplicationMinimize);
}

} // namespace varnelo
