#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace varnelo {

class PlaybackCoordinator;

// What the desktop's media controls show of the players.
struct MediaStatus {
    enum class Playback { Stopped, Playing, Paused };
    Playback playback = Playback::Stopped;
    // Changes with each new track or station; the track's object path is made of it.
    int track = 0;
    QString title;
    QStringList artists;
    QString album;         // a file's album; the station's name for the radio
    QString url;           // the file or the stream address
    qint64 lengthUs = 0;   // 0 when not known (a stream)
    QString artUrl;        // the cover's picture as a file: URL; empty when there is none
    qint64 positionUs = 0; // not announced: clients ask for it
    double volume = 1.0;   // 0..1
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canPause = false;

    friend bool operator==(const MediaStatus &, const MediaStatus &) = default;
};

// What the media controls ask of the players; the main window binds them.
struct MediaCommands {
    std::function<void()> play;
    std::function<void()> pause;
    std::function<void()> playPause;
    std::function<void()> stop;
    std::function<void()> next;
    std::function<void()> previous;
    std::function<void(double)> setVolume; // 0..1
    std::function<void()> raise;
};

// What the coordinator plays, as the media controls show it (`track` numbers
// what plays; the volume is left at its default).
MediaStatus MediaStatusOf(const PlaybackCoordinator &playback, int track);
// The media controls' transport, on the coordinator.
MediaCommands MediaCommandsFor(PlaybackCoordinator &playback);

// MPRIS 2 on a D-Bus connection: the service org.mpris.MediaPlayer2.varnelo
// with the object /org/mpris/MediaPlayer2, so media keys, the desktop's sound
// menu and playerctl see and control the program. The status is read through
// `status` on every refresh(); what changed is announced with
// org.freedesktop.DBus.Properties.PropertiesChanged. follow() refreshes at
// each change the coordinator signals, as it happens.
class MprisService : public QObject {
    Q_OBJECT
public:
    static constexpr const char *ServiceName = "org.mpris.MediaPlayer2.varnelo";
    static constexpr const char *ObjectPath = "/org/mpris/MediaPlayer2";

    MprisService(std::function<MediaStatus()> status, MediaCommands commands,
                 QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);
    ~MprisService() override;

    // False without a session bus, or when the name is taken.
    bool registered() const { return registered_; }
    // Reads the status and announces the properties that changed.
    void refresh();
    void follow(PlaybackCoordinator &playback);
    const MediaStatus &status() const { return status_; }
    const MediaCommands &commands() const { return commands_; }

    // The Metadata property's map.
    QVariantMap metadata() const;
    QString playbackStatus() const;

private:
    void announce(const QString &interface, const QVariantMap &changed);

    std::function<MediaStatus()> read_;
    MediaCommands commands_;
    QDBusConnection bus_;
    QObject *root_; // the exported object; the two adaptors are its children
    MediaStatus status_;
    bool registered_ = false;
};

} // namespace varnelo
