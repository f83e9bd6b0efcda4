#pragma once
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QTimer;
class QWidget;

namespace varnelo {

class Clock;

// Closes the next window the program opens after a given time, counting the
// seconds down in that window's title ("(5)  About" … "(1)  About"). Armed
// immediately before the window is shown modally; a 100 ms timer then looks
// for the new window among those that did not exist when it was armed.
class AutoCloser : public QObject {
    Q_OBJECT
public:
    static constexpr int TickMs = 100;
    static constexpr int TitleLimit = 499;

    explicit AutoCloser(Clock &clock, QObject *parent = nullptr);
    ~AutoCloser() override;

    void Arm(int timeoutMs, bool countdown);
    void Disarm();
    // One tick of the timer (public so that tests can step it).
    void Tick();

    bool armed() const { return timer_ != nullptr; }
    QWidget *target() const { return target_; }

private:
    qint64 nowMs() const;
    QWidget *findNewWindow() const;

    Clock &clock_;
    int timeoutMs_ = 0;
    bool countdown_ = false;
    QList<QPointer<QWidget>> snapshot_; // the windows that existed when armed
    QPointer<QWidget> target_;
    bool hasTarget_ = false; // a target was found (it may since have gone)
    QString savedTitle_;
    qint64 startMs_ = 0;
    int shownSeconds_ = 0;
    QTimer *timer_ = nullptr;
};

} // namespace varnelo
