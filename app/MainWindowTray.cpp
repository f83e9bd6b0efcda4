#include "app/MainWindow.h"

#include "app/TrayTip.h"
#include "common/Seams.h"
#include "common/TextRules.h"
#include "library/LocalPlayer.h"
#include "radio/StationPanel.h"
#include "radio/StreamPlayer.h"
#include "rip/CdRipper.h"

#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTimer>

namespace varnelo {

// The tray icon: to the tray and back, and the tips it shows.
namespace {

// The two tray images, a note on a disc and the same dimmed for the tray state,
// drawn at 16 by 16 and, for the about box and the window, at 32 by 32.
QIcon trayImage(bool minimized) {
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        p.setBrush(minimized ? QColor(0x55, 0x60, 0x70) : QColor(0x1e, 0x88, 0xe5));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(4, 9, 4.5, 3.5));
        p.fillRect(QRectF(7.4, 3.5, 1.3, 7), Qt::white);
        p.fillRect(QRectF(7.4, 3.5, 4, 1.5), Qt::white);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
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
        if (windowShown_)
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

bool MainWindow::hasTray() const {
    return tray_ && tray_->isVisible();
}

void MainWindow::UpdateTrayTip() {
    const QString cdName = ripper_ ? ripper_->CurrentTrackName() : QString();
    const Player *current = playback_.current();
    if (!windowShown_)
        tray_->setToolTip(MinimizedTip(current && current->loaded() ? current->kind() : MediaKind::None,
                                       clock_.now(), panel_radio->Lstatus->text(), localPlayer_->CurrentFile,
                                       cdName));
    else
        tray_->setToolTip(ShownTip(text::escapeControls(player_->CurrentTitle())));
}

void MainWindow::ApplicationMinimize() {
    windowShown_ = false;
    // Without a tray there is no way back from a hidden window: the task bar keeps it.
    if (hasTray())
        hide();
    else if (!isMinimized())
        showMinimized();
    tray_->setIcon(minimizedIcon_);
    UpdateTrayTip();
}

void MainWindow::ApplicationRestore() {
    windowShown_ = true;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show(); // showing runs the command-line step again
    raise();
    activateWindow();
    tray_->setIcon(normalIcon_);
    UpdateTrayTip();
}

void MainWindow::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const bool minimized = windowState() & Qt::WindowMinimized;
    if (minimized && windowShown_) {
        QTimer::singleShot(0, this, &MainWindow::ApplicationMinimize);
    } else if (!minimized && !windowShown_ && isVisible()) {
        // Back from the task bar.
        windowShown_ = true;
        tray_->setIcon(normalIcon_);
        UpdateTrayTip();
    }
}

} // namespace varnelo
