#pragma once
#include "support/ChildProcess.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <vector>

namespace varnelo::test {

// A private D-Bus session bus (dbus-daemon of the test's own) and a named
// connection to it; the daemon ends with the object.
class SessionBus {
public:
    SessionBus();
    ~SessionBus();
    SessionBus(const SessionBus &) = delete;
    SessionBus &operator=(const SessionBus &) = delete;

    bool running() const { return !address_.isEmpty(); }
    QString address() const { return address_; }
    // A further connection, as another program on the bus would have.
    QDBusConnection connect(const QString &name) const;
    // The first connection.
    QDBusConnection bus() const { return connect(QStringLiteral("test-bus")); }

private:
    ChildProcess daemon_;
    QString address_;
    QString id_;
    mutable QStringList names_;
};

// A notification server (org.freedesktop.Notifications) on its own
// connection: records every notice and answers with increasing ids.
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice {
        QString app;
        uint replaces = 0;
        QString icon;
        QString summary;
        QString body;
        QVariantMap hints;
        uint id = 0;
    };
    // False when the service could not be registered.
    bool serve(QDBusConnection connection);
    std::vector<Notice> notices;

public Q_SLOTS:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout);
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    uint last_ = 0;
};

} // namespace varnelo::test
