#include "desktop/PowerOffCountdown.h"

#include "common/Seams.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace varnelo {

PowerOffCountdown::PowerOffCountdown(Clock &clock, QWidget *parent)
    : QDialog(parent), clock_(clock), timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("fm_poweroff"));
    setWindowTitle(dialogCaption());
    message = new QLabel(this);
    message->setObjectName(QStringLiteral("lab_poweroff"));
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("btn_cancel"));
    nowButton = new QPushButton(QStringLiteral("Power off now"), this);
    nowButton->setObjectName(QStringLiteral("btn_now"));
    cancelButton->setDefault(true); // Enter keeps the computer on
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    buttons->addWidget(nowButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(message);
    layout->addLayout(buttons);
    connect(cancelButton, &QPushButton::clicked, this, [this] { finish(false); });
    connect(nowButton, &QPushButton::clicked, this, [this] { finish(true); });
    connect(this, &QDialog::rejected, timer_, &QTimer::stop); // Escape or the close button
    // Ticks often enough that the count never skips a second it shows.
    timer_->setInterval(250);
    connect(timer_, &QTimer::timeout, this, &PowerOffCountdown::tick);
}

void PowerOffCountdown::start() {
    deadline_ = clock_.now().addSecs(Seconds);
    timer_->start();
    tick();
    show();
    raise();
    activateWindow();
}

bool PowerOffCountdown::counting() const {
    return timer_->isActive();
}

void PowerOffCountdown::tick() {
    if (!counting())
        return; // cancelled
    const qint64 left = (clock_.now().msecsTo(deadline_) + 999) / 1000;
    if (left <= 0) {
        finish(true);
        return;
    }
    message->setText(QStringLiteral("The computer will power off in %1 s, as set in the options.").arg(left));
}

void PowerOffCountdown::finish(bool powerOff) {
    timer_->stop();
    hide();
    if (powerOff)
        Q_EMIT powerOffNow();
}

} // namespace varnelo
