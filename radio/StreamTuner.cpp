#include "radio/StreamTuner.h"

#include <algorithm>

namespace varnelo {

StreamTuner::StreamTuner(StreamLibrary &library, QString url, StreamLibrary::CancelCheck cancel,
                         QObject *parent)
    : Player(MediaKind::Station, parent), library_(library), url_(std::move(url)),
      cancel_(std::move(cancel)) {}

StreamTuner::~StreamTuner() {
    release();
}

void StreamTuner::play() {
    if (state() == PlayState::Paused) {
        Q_EMIT starting();
        library_.ChannelPlay(handle_);
        setState(PlayState::Playing);
    } else if (state() == PlayState::Stopped) {
        connectAndPlay();
    }
}

void StreamTuner::pause() {
    if (state() != PlayState::Playing)
        return;
    library_.ChannelPause(handle_);
    setState(PlayState::Paused);
}

void StreamTuner::playPause() {
    state() == PlayState::Playing ? pause() : play();
}

void StreamTuner::stop() {
    release();
    setState(PlayState::Stopped);
}

void StreamTuner::setVolume(int percent) {
    library_.SetVolume(std::clamp(percent, 0, 100));
}

void StreamTuner::connectAndPlay() {
    Q_EMIT starting();
    setState(PlayState::Connecting);
    // The stream's thread calls these; the stream is freed before the tuner
    // goes, and calls queued to a deleted tuner are dropped.
    const auto onStatus = [this](StreamStatus status, const QString &text) {
        QMetaObject::invokeMethod(
            this,
            [this, status, text] {
                if (status != StreamStatus::Failed) {
                    Q_EMIT this->status(text);
                    return;
                }
                stop();
                Q_EMIT failed(text);
            },
            Qt::QueuedConnection);
    };
    handle_ = library_.StreamCreateURL(url_, onStatus, cancel_);
    if (!handle_) {
        connectError_ = StreamLibrary::ErrorGetCode();
        const int code = int(connectError_);
        setState(PlayState::Stopped);
        Q_EMIT failed(QStringLiteral("%1 (error code %2)")
                          .arg(StreamFailureText(code, StreamLibrary::ErrorText()))
                          .arg(code));
        return;
    }
    connectError_ = StreamError::Ok;
    station_ = MapIcyHeaders(library_.IcyTags(handle_).value_or(QStringList()));
    now_ = NowPlaying{MediaKind::Station,
                      ParseStreamTitle(library_.MetaTag(handle_)).value_or(QString()),
                      {},
                      {},
                      station_.name,
                      url_,
                      0};
    library_.ChannelSetSync(handle_, [this](const QString &metadata) {
        const auto title = ParseStreamTitle(metadata);
        if (!title)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, t = *title] {
                if (state() == PlayState::Stopped)
                    return;
                now_.title = t;
                Q_EMIT nowPlayingChanged();
            },
            Qt::QueuedConnection);
    });
    library_.ChannelPlay(handle_);
    setState(PlayState::Playing);
}

void StreamTuner::release() {
    if (!handle_)
        return;
    library_.ChannelStop(handle_);
    library_.StreamFree(handle_);
    handle_ = 0;
}

} // namespace varnelo
