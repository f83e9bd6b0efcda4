#include "desktop/MprisService.h"

#include "common/PlaybackCoordinator.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QUrl>
#include <QVariantMap>
#include <cmath>

namespace varnelo {

namespace {
const QString RootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

void call(const std::function<void()> &f) {
    if (f)
        f();
}
} // namespace

// org.mpris.MediaPlayer2: who we are.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    MprisRootAdaptor(QObject *root, MprisService &service) : QDBusAbstractAdaptor(root), service_(service) {}
    // Quitting asks "Close it now?" in the window: not for a remote control.
    bool canQuit() const { return false; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Varnelo"); }
    QString desktopEntry() const { return QStringLiteral("varnelo"); }
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList supportedMimeTypes() const {
        return {QStringLiteral("audio/mpeg"),         QStringLiteral("audio/x-wav"),
                QStringLiteral("audio/wav"),          QStringLiteral("audio/ogg"),
                QStringLiteral("audio/x-vorbis+ogg"), QStringLiteral("audio/x-ms-wma")};
    }
public Q_SLOTS:
    void Raise() { call(service_.commands().raise); }
    void Quit() {}

private:
    MprisService &service_;
};

// org.mpris.MediaPlayer2.Player: the transport, the volume and what plays.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)
public:
    MprisPlayerAdaptor(QObject *root, MprisService &service)
        : QDBusAbstractAdaptor(root), service_(service) {}
    QString playbackStatus() const { return service_.playbackStatus(); }
    double rate() const { return 1.0; }
    void setRate(double) {}
    QVariantMap metadata() const { return service_.metadata(); }
    double volume() const { return service_.status().volume; }
    void setVolume(double volume) {
        if (service_.commands().setVolume)
            service_.commands().setVolume(qBound(0.0, volume, 1.0));
        service_.refresh();
    }
    qlonglong position() const {
        service_.refresh();
        return service_.status().positionUs;
    }
    bool canGoNext() const { return service_.status().canGoNext; }
    bool canGoPrevious() const { return service_.status().canGoPrevious; }
    bool canPlay() const { return service_.status().canPlay; }
    bool canPause() const { return service_.status().canPause; }
    bool canSeek() const { return false; }
    bool canControl() const { return true; }

public Q_SLOTS:
    void Next() { act(service_.commands().next); }
    void Previous() { act(service_.commands().previous); }
    void Pause() { act(service_.commands().pause); }
    void PlayPause() { act(service_.commands().playPause); }
    void Stop() { act(service_.commands().stop); }
    void Play() { act(service_.commands().play); }
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath &, qlonglong) {}
    void OpenUri(const QString &) {}

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    void act(const std::function<void()> &f) {
        call(f);
        service_.refresh();
    }
    MprisService &service_;
};

MediaStatus MediaStatusOf(const PlaybackCoordinator &playback, int track) {
    MediaStatus status;
    status.track = track;
    status.canPlay = true;
    const Player *p = playback.current();
    if (!p || !p->loaded()) // a station that still connects plays nothing yet
        return status;
    status.playback =
        p->state() == PlayState::Paused ? MediaStatus::Playback::Paused : MediaStatus::Playback::Playing;
    const NowPlaying now = p->nowPlaying();
    status.title = now.title;
    if (!now.artist.isEmpty())
        status.artists = {now.artist};
    status.album = now.album;
    status.url = now.kind == MediaKind::Station ? now.source : QUrl::fromLocalFile(now.source).toString();
    status.lengthUs = now.lengthMs * 1000;
    status.positionUs = p->positionMs() * 1000;
    status.canGoNext = status.canGoPrevious = true;
    status.canPause = p->state() == PlayState::Playing && p->canPause();
    return status;
}

MediaCommands MediaCommandsFor(PlaybackCoordinator &playback) {
    MediaCommands c;
    PlaybackCoordinator *p = &playback;
    c.play = [p] { p->play(); };
    c.pause = [p] { p->pause(); };
    c.playPause = [p] { p->playPause(); };
    c.stop = [p] { p->stop(); };
    c.next = [p] { p->next(); };
    c.previous = [p] { p->previous(); };
    c.setVolume = [p](double volume) { p->setVolume(int(std::lround(volume * 100))); };
    return c;
}

void MprisService::follow(PlaybackCoordinator &playback) {
    connect(&playback, &PlaybackCoordinator::stateChanged, this, &MprisService::refresh);
    connect(&playback, &PlaybackCoordinator::nowPlayingChanged, this, &MprisService::refresh);
}

MprisService::MprisService(std::function<MediaStatus()> status, MediaCommands commands, QDBusConnection bus,
                           QObject *parent)
    : QObject(parent), read_(std::move(status)), commands_(std::move(commands)), bus_(std::move(bus)),
      root_(new QObject(this)) {
    new MprisRootAdaptor(root_, *this);
    new MprisPlayerAdaptor(root_, *this);
    if (read_)
        status_ = read_();
    if (!bus_.isConnected())
        return;
    registered_ = bus_.registerObject(QString::fromLatin1(ObjectPath), root_) &&
                  bus_.registerService(QString::fromLatin1(ServiceName));
}

MprisService::~MprisService() {
    if (registered_) {
        bus_.unregisterService(QString::fromLatin1(ServiceName));
        bus_.unregisterObject(QString::fromLatin1(ObjectPath));
    }
}

QString MprisService::playbackStatus() const {
    switch (status_.playback) {
    case MediaStatus::Playback::Playing:
        return QStringLiteral("Playing");
    case MediaStatus::Playback::Paused:
        return QStringLiteral("Paused");
    case MediaStatus::Playback::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisService::metadata() const {
    QVariantMap m;
    // A track id is an object path; "NoTrack" says nothing is loaded.
    m.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(
                 QDBusObjectPath(status_.playback == MediaStatus::Playback::Stopped
                                     ? QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")
                                     : QStringLiteral("/org/varnelo/track/%1").arg(status_.track))));
    if (status_.playback == MediaStatus::Playback::Stopped)
        return m;
    if (!status_.title.isEmpty())
        m.insert(QStringLiteral("xesam:title"), status_.title);
    if (!status_.artists.isEmpty())
        m.insert(QStringLiteral("xesam:artist"), status_.artists);
    if (!status_.album.isEmpty())
        m.insert(QStringLiteral("xesam:album"), status_.album);
    if (!status_.url.isEmpty())
        m.insert(QStringLiteral("xesam:url"), status_.url);
    if (status_.lengthUs > 0)
        m.insert(QStringLiteral("mpris:length"), qlonglong(status_.lengthUs));
    if (!status_.artUrl.isEmpty())
        m.insert(QStringLiteral("mpris:artUrl"), status_.artUrl);
    return m;
}

void MprisService::refresh() {
    if (!read_)
        return;
    const MediaStatus before = status_;
    status_ = read_();
    QVariantMap changed;
    if (before.playback != status_.playback)
        changed.insert(QStringLiteral("PlaybackStatus"), playbackStatus());
    // The metadata depends on the playback (nothing while stopped).
    MediaStatus a = before, b = status_;
    a.positionUs = b.positionUs = 0;
    a.volume = b.volume = 0;
    a.canGoNext = b.canGoNext = a.canGoPrevious = b.canGoPrevious = a.canPlay = b.canPlay = a.canPause =
        b.canPause = false;
    if (!(a == b))
        changed.insert(QStringLiteral("Metadata"), metadata());
    if (before.volume != status_.volume)
        changed.insert(QStringLiteral("Volume"), status_.volume);
    if (before.canGoNext != status_.canGoNext)
        changed.insert(QStringLiteral("CanGoNext"), status_.canGoNext);
    if (before.canGoPrevious != status_.canGoPrevious)
        changed.insert(QStringLiteral("CanGoPrevious"), status_.canGoPrevious);
    if (before.canPlay != status_.canPlay)
        changed.insert(QStringLiteral("CanPlay"), status_.canPlay);
    if (before.canPause != status_.canPause)
        changed.insert(QStringLiteral("CanPause"), status_.canPause);
    if (!changed.isEmpty())
        announce(PlayerInterface, changed);
}

void MprisService::announce(const QString &interface, const QVariantMap &changed) {
    if (!registered_)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(ObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    bus_.send(signal);
}

} // namespace varnelo

#include "MprisService.moc"
