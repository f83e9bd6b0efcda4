#include "desktop/AutoCloser.h"

#include "common/Seams.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace varnelo {

AutoCloser::AutoCloser(Clock &clock, QObject *parent) : QObject(parent), clock_(clock) {}

AutoCloser::~AutoCloser() {
    Disarm();
}

qint64 AutoCloser::nowMs() const {
    return clock_.now().toMSecsSinceEpoch();
}

void AutoCloser::Arm(int timeoutMs, bool countdown) {
    Disarm();
    // Every window of the GUI thread, enabled or not, visible or not.
    for (QWidget *w : QApplication::topLevelWidgets())
        snapshot_.append(w);
    timer_ = new QTimer(this);
    timer_->setInterval(TickMs);
    connect(timer_, &QTimer::timeout, this, &AutoCloser::Tick);
    timer_->start();
    startMs_ = nowMs();
    countdown_ = countdown;
    timeoutMs_ = timeoutMs;
}

QWidget *AutoCloser::findNewWindow() const {
    const auto known = [this](QWidget *w) {
        return std::any_of(snapshot_.begin(), snapshot_.end(),
                           [w](const QPointer<QWidget> &p) { return p == w; });
    };
    QList<QWidget *> fresh;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isEnabled() && w->isVisible() && !known(w))
            fresh.append(w);
    if (QWidget *active = QApplication::activeWindow(); active && fresh.contains(active))
        return active;
    // A window manager may activate the new window some ticks late; the modal
    // window just shown is the one meant.
    if (QWidget *modal = QApplication::activeModalWidget(); modal && fresh.contains(modal))
        return modal;
    return nullptr;
}

void AutoCloser::Tick() {
    if (!hasTarget_ && !snapshot_.isEmpty()) {
        QWidget *found = findNewWindow();
        if (!found) {
            Disarm();
            return;
        }
        target_ = found;
        hasTarget_ = true;
        startMs_ = nowMs();
        savedTitle_ = found->windowTitle().left(TitleLimit);
        shownSeconds_ = 0;
    }
    if (!hasTarget_)
        return;
    if (!target_ || !target_->isVisible() || !target_->isEnabled()) {
        Disarm();
        return;
    }
    const qint64 remaining = timeoutMs_ - (nowMs() - startMs_) - 1;
    if (remaining <= 0) {
        QMetaObject::invokeMethod(target_.data(), &QWidget::close, Qt::QueuedConnection);
        Disarm();
        return;
    }
    if (!countdown_)
        return;
    const int seconds = static_cast<int>((remaining + 1000) / 1000);
    if (seconds != shownSeconds_) {
        target_->setWindowTitle(
            QStringLiteral("(%1)%2%3").arg(seconds).arg(QStringLiteral(" "), 2).arg(savedTitle_));
        shownSeconds_ = seconds;
    }
}

void AutoCloser::Disarm() {
    if (target_)
        target_->setWindowTitle(savedTitle_);
    if (timer_) { // the tick that disarms runs inside the timer's own signal
        timer_->stop();
        timer_->deleteLater();
        timer_ = nullptr;
    }
    target_.clear();
    hasTarget_ = false;
    snapshot_.clear();
    timeoutMs_ = 0;
}

} // namespace varnelo
