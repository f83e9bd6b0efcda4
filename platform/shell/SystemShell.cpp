#include "platform/shell/SystemShell.h"

#include <QApplication>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QNetworkInformation>
#include <QProcess>
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
    // The system's own view (NetworkManager and the like); without a backend
    // that can tell, nothing is claimed to be down.
    if (!QNetworkInformation::instance() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return true;
    return QNetworkInformation::instance()->reachability() != QNetworkInformation::Reachability::Disconnected;
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
