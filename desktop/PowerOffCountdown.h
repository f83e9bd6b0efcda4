#pragma once
#include <QDateTime>
#include <QDialog>

class QLabel;
class QPushButton;
class QTimer;

namespace varnelo {

class Clock;

// The warning before the set power-off time switches the computer off: the
// seconds left, counted down, with "Cancel" and "Power off now". When the time
// is up (or on "Power off now") powerOffNow() is sent; "Cancel" or closing the
// window sends nothing.
class PowerOffCountdown : public QDialog {
    Q_OBJECT
public:
    static constexpr int Seconds = 60;

    explicit PowerOffCountdown(Clock &clock, QWidget *parent = nullptr);

    // Shows the window and counts from Seconds (again, when it already runs).
    void start();
    // One look at the clock: the text, and the end when the time is up (public so tests can step it).
    void tick();
    bool counting() const;

    QLabel *message;
    QPushButton *cancelButton;
    QPushButton *nowButton;

Q_SIGNALS:
    void powerOffNow();

private:
    void finish(bool powerOff);

    Clock &clock_;
    QDateTime deadline_;
    QTimer *timer_;
};

} // namespace varnelo
