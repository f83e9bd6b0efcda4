#pragma once
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <functional>

namespace varnelo::test {

// Processes events until `done` holds or the time runs out; gives the final answer.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

} // namespace varnelo::test
