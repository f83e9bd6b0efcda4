#include "support/SessionBus.h"

#include <QUuid>

namespace varnelo::test {

SessionBus::SessionBus() : id_(QUuid::createUuid().toString(QUuid::WithoutBraces)) {
    if (!daemon_.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")}))
        return;
    for (int i = 0; i < 100 && !daemon_.standardOutput().contains('\n'); ++i)
        if (!daemon_.poll(100) && daemon_.finished())
            return;
    address_ = QString::fromUtf8(daemon_.standardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

SessionBus::~SessionBus() {
    for (const QString &name : names_)
        QDBusConnection::disconnectFromBus(name);
}

QDBusConnection SessionBus::connect(const QString &name) const {
    const QString unique = name + QLatin1Char('-') + id_;
    if (!names_.contains(unique))
        names_ << unique;
    return QDBusConnection::connectToBus(address_, unique);
}

bool FakeNotificationServer::serve(QDBusConnection connection) {
    return connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                     QDBusConnection::ExportAllSlots) &&
           connection.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

uint FakeNotificationServer::Notify(const QString &app, uint replaces, const QString &icon,
                                    const QString &summary, const QString &body, const QStringList &,
                                    const QVariantMap &hints, int) {
    const uint id = replaces != 0 ? replaces : ++last_;
    notices.push_back({app, replaces, icon, summary, body, hints, id});
    return id;
}

} // namespace varnelo::test
