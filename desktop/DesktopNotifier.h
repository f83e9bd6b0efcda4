#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

namespace varnelo {

// What ended, for a notice.
enum class FinishedKind { Recording, Conversion, Rip };

// Notices on the desktop (org.freedesktop.Notifications on the session bus):
// the stream's new title, and the end of a recording, conversion or rip.
// Sent without waiting for an answer; without a bus or a notification server
// nothing happens.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);

    // The user's option; unset means on.
    std::function<bool()> enabled;

    // A station's new title; it replaces the notice of the title before.
    void notifyTitle(const QString &title, const QString &station);
    // `text` says what ended (usually the file written); `ok` false when it failed.
    void notifyFinished(FinishedKind kind, const QString &text, bool ok = true);

    // Any other notice.
    void notify(const QString &summary, const QString &body) { send(summary, body, false); }

    static QString summaryFor(FinishedKind kind, bool ok);

private:
    void send(const QString &summary, const QString &body, bool replaceTitle);

    QDBusConnection bus_;
    uint titleNotice_ = 0; // the id the server gave the last title notice
    // A title waits while the last one's id is not back, so that it replaces
    // it; only the newest waiting title is kept.
    bool titleInFlight_ = false;
    std::optional<std::pair<QString, QString>> waitingTitle_;
};

} // namespace varnelo
