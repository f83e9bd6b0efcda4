#include "app/DesktopBinding.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SkinSurface.h"
#include "common/Error.h"
#include "common/Seams.h"
#include "convert/Converter.h"
#include "library/LocalPlayer.h"
#include "options/OptionsDialog.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/skin/Skin.h"
#include "platform/sound/AudioPlayer.h"
#include "platform/tags/TrackTagReaders.h"
#include "radio/StationCatalogue.h"
#include "radio/StationConnector.h"
#include "radio/StationPanel.h"
#include "radio/StreamPlayer.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QUrl>
#include <cmath>

namespace varnelo {

namespace {

// Stream titles are mostly "Artist - Title".
void splitStreamTitle(const QString &text, QString &title, QStringList &artists) {
    const qsizetype dash = text.indexOf(QLatin1String(" - "));
    if (dash > 0) {
        artists = {text.left(dash).trimmed()};
        title = text.mid(dash + 3).trimmed();
    } else {
        artists.clear();
        title = text.trimmed();
    }
}

} // namespace

DesktopBinding::DesktopBinding(MainWindow &window, Clock &clock, QDBusConnection bus, QObject *parent)
    : QObject(parent), w_(window), clock_(clock), notifier_(std::make_unique<DesktopNotifier>(bus)) {
    notifier_->enabled = [this] { return !w_.options() || w_.options()->desktopNotifications(); };
    w_.notifyFinished = [this](FinishedKind kind, const QString &text, bool ok) {
        notifier_->notifyFinished(kind, text, ok);
    };
    if (Converter *converter = w_.converter())
        connect(converter, &Converter::conversionFinished, this,
                [this](const QString &output, bool ok, const QString &error) {
                    notifier_->notifyFinished(FinishedKind::Conversion, ok ? output : error, ok);
                });

    StationConnector &connector = w_.player().connector();
    connect(&connector, &StationConnector::connecting, this, [this] {
        stationName_.clear();
        streamTitle_.clear();
    });
    connect(&connector, &StationConnector::headers, this,
            [this](const QString &name, const QString &, const QString &) { stationName_ = name; });
    connect(&connector, &StationConnector::title, this, &DesktopBinding::stationTitle);
    connect(&w_.audioPlayer(), &AudioPlayer::OnTimer, this,
            [this](qint64 current, int, int) { localFrames_ = current; });

    mpris_ = std::make_unique<MprisService>([this] { return currentStatus(); }, commands(), bus);
    // The players change through many paths (skin, menus, keys, the schedule):
    // their state is looked at a few times a second and changes announced.
    refresh_.setInterval(RefreshMs);
    connect(&refresh_, &QTimer::timeout, this, [this] { mpris_->refresh(); });
    refresh_.start();
}

DesktopBinding::~DesktopBinding() {
    w_.notifyFinished = nullptr;
}

void DesktopBinding::stationTitle(std::uint32_t handle, const QString &title) {
    // A title of a stream that was replaced is dropped, as the player drops it.
    if (handle != w_.state.StreamHandle || title == streamTitle_)
        return;
    streamTitle_ = title;
    const QString station = stationName_.isEmpty() ? w_.panel_radio->ename->text() : stationName_;
    notifier_->notifyTitle(title, station);
    mpris_->refresh();
}

MediaStatus DesktopBinding::currentStatus() {
    const AppState &s = w_.state;
    MediaStatus status;
    status.volume = w_.soundOutput().volume() / 100.0;
    QString key;
    if (s.StationPlaying) {
        status.playback = s.StationPaused ? MediaStatus::Playback::Paused : MediaStatus::Playback::Playing;
        splitStreamTitle(streamTitle_, status.title, status.artists);
        status.album = stationName_;
        status.url = w_.panel_radio->url->text();
        if (status.title.isEmpty())
            status.title = stationName_;
        const qint64 ms = s.PlayStart.isValid() && !s.StationPaused
                              ? s.PlayStart.msecsTo(clock_.now()) + s.PlayedBeforeMs
                              : s.PlayedBeforeMs;
        status.positionUs = std::max<qint64>(0, ms) * 1000;
        const int rows = w_.catalogue().LV.rowCount();
        status.canGoNext = rows > 1;
        status.canGoPrevious = rows > 1;
        key = QStringLiteral("radio\n") + status.url + QLatin1Char('\n') + streamTitle_;
    } else if (s.LocalPlaying) {
        status.playback = s.Paused ? MediaStatus::Playback::Paused : MediaStatus::Playback::Playing;
        const QString file = w_.localPlayer().CurrentFile;
        if (file != taggedFile_) {
            // Read once per file; what the list shows may change while it plays.
            taggedFile_ = file;
            fileTitle_.clear();
            fileArtist_.clear();
            fileAlbum_.clear();
            try {
                const TrackFields f =
                    ReadTrackFields(file, QLatin1Char('.') + QFileInfo(file).suffix().toLower());
                fileTitle_ = f.title;
                fileArtist_ = f.artist;
                fileAlbum_ = f.album;
            } catch (const Error &) {
            }
            if (fileTitle_.isEmpty() || fileTitle_ == QLatin1String("Unknown"))
                fileTitle_ = QFileInfo(file).completeBaseName();
        }
        status.title = fileTitle_;
        if (!fileArtist_.isEmpty() && fileArtist_ != QLatin1String("Unknown"))
            status.artists = {fileArtist_};
        if (fileAlbum_ != QLatin1String("Unknown"))
            status.album = fileAlbum_;
        status.url = QUrl::fromLocalFile(file).toString();
        const AudioFile &audio = w_.audioFile();
        if (audio.GetFileOpen() && audio.SampleRate() > 0) {
            status.lengthUs = audio.Length() * 1'000'000 / audio.SampleRate();
            status.positionUs = (s.StartOffset + localFrames_) * 1'000'000 / audio.SampleRate();
        }
        status.canGoNext = true;
        status.canGoPrevious = true;
        key = QStringLiteral("file\n") + file;
    } else {
        status.canGoNext = status.canGoPrevious = false;
    }
    status.canPlay = true;
    status.canPause = status.playback == MediaStatus::Playback::Playing;
    if (key != trackKey_) {
        trackKey_ = key;
        ++track_;
    }
    status.track = track_;
    return status;
}

void DesktopBinding::skinClick(const char *name) {
    Application::guarded([this, name] {
        if (const SkinObject o = w_.skin->GetObject(QLatin1String(name)))
            w_.surface().SkinClick(o);
    });
}

MediaCommands DesktopBinding::commands() {
    MediaCommands c;
    // Play/pause acts on what plays; with nothing playing it is the skin's play button.
    c.playPause = [this] {
        Application::guarded([this] {
            if (w_.state.StationPlaying)
                w_.player().PlayPauseStation();
            else if (!w_.localPlayer().TogglePause())
                skinClick("btnplay");
        });
    };
    c.play = [this, playPause = c.playPause] {
        const AppState &s = w_.state;
        const bool playing = (s.StationPlaying && !s.StationPaused) || (s.LocalPlaying && !s.Paused);
        if (!playing)
            playPause();
    };
    c.pause = [this, playPause = c.playPause] {
        const AppState &s = w_.state;
        if ((s.StationPlaying && !s.StationPaused) || (s.LocalPlaying && !s.Paused))
            playPause();
    };
    c.stop = [this] { skinClick("btnstop"); };
    const auto step = [this](bool next) {
        Application::guarded([this, next] {
            if (w_.state.StationPlaying)
                next ? w_.player().NextStation() : w_.player().PreviousStation();
            else if (w_.state.LocalPlaying)
                next ? w_.localPlayer().NextTrack() : w_.localPlayer().PreviousTrack();
            else
                skinClick(next ? "btnnext" : "btnpre");
        });
    };
    c.next = [step] { step(true); };
    c.previous = [step] { step(false); };
    // As a drag of the volume bar.
    c.setVolume = [this](double volume) {
        const int value = int(std::lround(volume * 100));
        w_.surface().SetBarv(value);
        w_.player().VolumeTrack(value);
    };
    c.raise = [this] {
        if (!w_.state.WindowShown)
            w_.ApplicationRestore();
        w_.show();
        w_.raise();
        w_.activateWindow();
    };
    return c;
}

} // namespace varnelo
