#include "app/Application.h"

#include "common/Error.h"

#include <QMessageBox>

namespace varnelo {
namespace {
std::function<void(const QString &)> &sink() {
    static std::function<void(const QString &)> s;
    return s;
}
} // namespace

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

void Application::setUnhandledSink(std::function<void(const QString &)> s) {
    sink() = std::move(s);
}

void Application::showUnhandled(const QString &message) {
    if (sink()) {
        sink()(message);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), message, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void Application::guarded(const std::function<void()> &f) {
    try {
        f();
    } catch (const Error &e) {
        showUnhandled(e.message());
    } catch (const std::exception &e) {
        showUnhandled(QString::fromLocal8Bit(e.what()));
    }
}

bool Application::notify(QObject *receiver, QEvent *event) {
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace varnelo
