#include "desktop/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace varnelo {

namespace {
const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
constexpr int TimeoutMs = 5000;
} // namespace

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QObject *parent)
    : QObject(parent), bus_(std::move(bus)) {}

QString DesktopNotifier::summaryFor(FinishedKind kind, bool ok) {
    switch (kind) {
    case FinishedKind::Recording:
        return ok ? QStringLiteral("Recording finished") : QStringLiteral("Recording failed");
    case FinishedKind::Conversion:
        return ok ? QStringLiteral("Conversion finished") : QStringLiteral("Conversion failed");
    case FinishedKind::Rip:
        return ok ? QStringLiteral("Rip finished") : QStringLiteral("Rip failed");
    }
    return {};
}

void DesktopNotifier::notifyTitle(const QString &title, const QString &station) {
    if (title.isEmpty())
        return;
    if (titleInFlight_) {
        waitingTitle_.emplace(title, station);
        return;
    }
    send(title, station, true);
}

void DesktopNotifier::notifyFinished(FinishedKind kind, const QString &text, bool ok) {
    send(summaryFor(kind, ok), text, false);
}

void DesktopNotifier::send(const QString &summary, const QString &body, bool replaceTitle) {
    if ((enabled && !enabled()) || !bus_.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("varnelo"));
    // The body is markup to some servers: the texts are the user's files and
    // the stations' titles, not markup.
    QString plain = body.toHtmlEscaped();
    call << QStringLiteral("Varnelo") << uint(replaceTitle ? titleNotice_ : 0) << QStringLiteral("varnelo")
         << summary << plain << QStringList() << hints << int(TimeoutMs);
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    titleInFlight_ = titleInFlight_ || replaceTitle;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, replaceTitle] {
        watcher->deleteLater();
        if (!replaceTitle)
            return;
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            titleNotice_ = reply.value();
        titleInFlight_ = false;
        if (auto next = std::exchange(waitingTitle_, std::nullopt))
            send(next->first, next->second, true);
    });
}

} // namespace varnelo
