#include "app/DesktopBinding.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "common/PlaybackCoordinator.h"
#include "convert/Converter.h"
#include "library/TrackCover.h"
#include "options/OptionsDialog.h"
#include "radio/StationCatalogue.h"
#include "radio/StreamPlayer.h"

#include <QFile>
#include <QStandardPaths>
#include <QUrl>

namespace varnelo {

DesktopBinding::DesktopBinding(MainWindow &window, QDBusConnection bus, QObject *parent)
    : QObject(parent), w_(window), notifier_(std::make_unique<DesktopNotifier>(bus)) {
    notifier_->enabled = [this] { return !w_.options() || w_.options()->desktopNotifications(); };
    w_.notifyFinished = [this](FinishedKind kind, const QString &text, bool ok) {
        notifier_->notifyFinished(kind, text, ok);
    };
    w_.notifyNotice = [this](const QString &summary, const QString &body) {
        notifier_->notify(summary, body);
    };
    if (Converter *converter = w_.converter())
        connect(converter, &Converter::conversionFinished, this,
                [this](const QString &output, bool ok, const QString &error) {
                    notifier_->notifyFinished(FinishedKind::Conversion, ok ? output : error, ok);
                });

    mpris_ = std::make_unique<MprisService>([this] { return currentStatus(); }, commands(), bus);
    PlaybackCoordinator &playback = w_.playback();
    // The notice first: the media controls' refresh reads what it leaves.
    connect(&playback, &PlaybackCoordinator::stateChanged, this, &DesktopBinding::playbackChanged);
    connect(&playback, &PlaybackCoordinator::nowPlayingChanged, this, &DesktopBinding::playbackChanged);
    mpris_->follow(playback);
    connect(&w_.player(), &StreamPlayer::volumeChanged, mpris_.get(), &MprisService::refresh);
}

DesktopBinding::~DesktopBinding() {
    if (!coverFile_.isEmpty())
        QFile::remove(coverFile_);
    w_.notifyFinished = nullptr;
    w_.notifyNotice = nullptr;
}

void DesktopBinding::playbackChanged() {
    const Player *current = w_.playback().current();
    if (!current || current->kind() != MediaKind::Station || current->state() == PlayState::Connecting) {
        streamTitle_.clear(); // the same title on the next station is news again
        return;
    }
    // Each new stream title of the station that plays, once.
    const QString title = w_.player().CurrentTitle();
    if (title.isEmpty() || title == streamTitle_)
        return;
    streamTitle_ = title;
    notifier_->notifyTitle(title, current->nowPlaying().station);
}

QString DesktopBinding::coverUrlOf(const QString &file) {
    const TrackCover cover = findTrackCover(file);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    // A name per track (the desktop caches pictures by address); the last track's picture goes.
    const QString path = coverFileOf(cover, QStringLiteral("%1/varnelo-cover-%2").arg(folder).arg(track_));
    if (path.isEmpty())
        return {};
    if (cover.besideFile.isEmpty()) {
        if (!coverFile_.isEmpty() && coverFile_ != path)
            QFile::remove(coverFile_);
        coverFile_ = path;
    }
    return QUrl::fromLocalFile(path).toString();
}

MediaStatus DesktopBinding::currentStatus() {
    const Player *current = w_.playback().current();
    const NowPlaying now = current && current->loaded() ? current->nowPlaying() : NowPlaying{};
    const QString key = now.kind == MediaKind::None      ? QString()
                        : now.kind == MediaKind::Station ? QStringLiteral("radio\n") + now.source +
                                                               QLatin1Char('\n') + w_.player().CurrentTitle()
                                                         : QStringLiteral("file\n") + now.source;
    if (key != trackKey_) {
        trackKey_ = key;
        ++track_;
        artUrl_ = now.kind == MediaKind::File ? coverUrlOf(now.source) : QString();
    }
    MediaStatus status = MediaStatusOf(w_.playback(), track_);
    status.artUrl = artUrl_;
    status.volume = w_.soundOutput().volume() / 100.0;
    if (now.kind == MediaKind::Station)
        status.canGoNext = status.canGoPrevious = w_.catalogue().LV.rowCount() > 1;
    return status;
}

MediaCommands DesktopBinding::commands() {
    MediaCommands c = MediaCommandsFor(w_.playback());
    // Errors reach the user as from the window's own controls.
    for (std::function<void()> *f : {&c.play, &c.pause, &c.playPause, &c.stop, &c.next, &c.previous})
        *f = [g = *f] { Application::guarded(g); };
    c.raise = [this] {
        if (!w_.windowShown())
            w_.ApplicationRestore();
        w_.show();
        w_.raise();
        w_.activateWindow();
    };
    return c;
}

} // namespace varnelo
