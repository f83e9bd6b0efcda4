#include "platform/shell/SystemShell.h"

#include <QApplication>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QProcess>
#include <QTcpSocket>
#include <QUrl>

namespace varnelo {

void SystemShell::openFolder(const QString &path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void SystemShell::beep() {
    QApplication::beep();
}

bool SystemShell::powerOff() {
    QDBusInterface login(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                         QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
    if (!login.isValid())
        return false;
    // Non-interactive: fails instead of prompting when authorisation is needed.
    QDBusReply<void> reply = login.call(QStringLiteral("PowerOff"), false);
    return reply.isValid();
}

bool SystemShell::networkReachable() {
    // A well-known, always-on address; a connect within 3 s counts as reachable.
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("www.debian.org"), 80);
    const bool ok = socket.waitForConnected(3000);
    socket.abort();
    return ok;
}

void SystemShell::associationsChanged(const QString &applicationsFolder) {
    QProcess update;
    update.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    update.setStandardOutputFile(QProcess::nullDevice());
    update.start(QStringLiteral("update-desktop-database"), {QStringLiteral("-q"), applicationsFolder});
    if (update.waitForStarted(2000) && !update.waitForFinished(10000))
        update.kill();
}

} // namespace varnelo
