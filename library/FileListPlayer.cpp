#include "library/FileListPlayer.h"

#include "platform/audiofile/AudioFile.h"
#include "platform/sound/AudioPlayer.h"
#include "platform/sound/SoundOutput.h"

#include <QFileInfo>
#include <algorithm>

namespace varnelo {

FileListPlayer::FileListPlayer(SoundOutput &output, QStringList files, QObject *parent)
    : Player(MediaKind::File, parent), output_(output), files_(std::move(files)),
      file_(std::make_unique<AudioFile>()), ahead_(std::make_unique<AudioFile>()),
      player_(std::make_unique<AudioPlayer>(output)) {
    // Two blocks stay queued: one sounding, one waiting.
    connect(player_.get(), &AudioPlayer::OnEndArrayPlay, this, &FileListPlayer::feed);
    connect(player_.get(), &AudioPlayer::OnRequestOnLoadArray, this, &FileListPlayer::feed);
    connect(player_.get(), &AudioPlayer::OnEndPlay, this, &FileListPlayer::fileEnded);
    connect(player_.get(), &AudioPlayer::OnTrackBoundary, this, &FileListPlayer::nextHeard);
}

FileListPlayer::~FileListPlayer() {
    player_->Stop();
    file_->CloseFile();
}

qint64 FileListPlayer::positionMs() const {
    if (!file_->GetFileOpen() || file_->SampleRate() <= 0)
        return 0;
    const qint64 queued = player_->QueuedSamples();
    return std::max<qint64>(0, file_->Position() - queued) * 1000 / file_->SampleRate();
}

void FileListPlayer::play() {
    if (state() == PlayState::Paused) {
        Q_EMIT starting();
        player_->Start();
        setState(PlayState::Playing);
        return;
    }
    if (state() == PlayState::Stopped)
        startAt(0);
}

void FileListPlayer::pause() {
    if (state() != PlayState::Playing)
        return;
    player_->Stop();
    setState(PlayState::Paused);
}

void FileListPlayer::playPause() {
    state() == PlayState::Playing ? pause() : play();
}

void FileListPlayer::stop() {
    player_->Stop();
    file_->CloseFile();
    ahead_->CloseFile();
    aheadQueued_ = aheadRefused_ = false;
    current_ = -1;
    now_ = {};
    setState(PlayState::Stopped);
    Q_EMIT nowPlayingChanged();
}

void FileListPlayer::next() {
    if (current_ >= 0)
        startAt(current_ + 1);
}

void FileListPlayer::previous() {
    if (current_ >= 0)
        startAt(std::max<qsizetype>(0, current_ - 1));
}

void FileListPlayer::seek(qint64 ms) {
    if (!file_->GetFileOpen())
        return;
    const qint64 frame = std::clamp<qint64>(ms * file_->SampleRate() / 1000, 0, file_->Length());
    // A new format set-up drops what was queued from the old place.
    player_->Stop();
    player_->SetPlayFormat(file_->SampleRate(), file_->Channels());
    ahead_->CloseFile();
    aheadQueued_ = aheadRefused_ = false;
    file_->Seek(frame);
    if (state() == PlayState::Playing) {
        player_->Start();
        feed();
        feed();
    }
    Q_EMIT positionChanged(positionMs());
}

void FileListPlayer::setVolume(int percent) {
    output_.setVolume(std::clamp(percent, 0, 100));
}

void FileListPlayer::startAt(qsizetype index) {
    player_->Stop();
    file_->CloseFile();
    ahead_->CloseFile();
    aheadQueued_ = aheadRefused_ = false;
    for (current_ = index; current_ < files_.size(); ++current_) {
        const QString &path = files_.at(current_);
        if (!file_->OpenSource(path)) {
            ++failures_;
            Q_EMIT fileFailed(path, file_->ErrorText());
            continue;
        }
        Q_EMIT starting();
        describeCurrent();
        player_->SetPlayFormat(file_->SampleRate(), file_->Channels());
        blockFrames_ = player_->MillisecondsToSamples(200);
        player_->Start();
        // Told before the state: the coordinator passes on one change either way.
        Q_EMIT nowPlayingChanged();
        setState(PlayState::Playing);
        feed();
        feed();
        return;
    }
    stop();
    Q_EMIT listEnded();
}

void FileListPlayer::feed() {
    if (!file_->GetFileOpen() || state() != PlayState::Playing)
        return;
    AudioFile &source = aheadQueued_ ? *ahead_ : *file_;
    const SampleBlock block = source.ReadSamples(blockFrames_);
    player_->QueueSamples(block);
    if (qint64(block.size()) == blockFrames_ * source.Channels() || aheadQueued_ || aheadRefused_)
        return;
    // The source ran out: the next file goes right behind when it has the same format.
    const SoundFormat format = player_->PlayFormat();
    if (current_ + 1 < files_.size() && ahead_->OpenSource(files_.at(current_ + 1)) &&
        ahead_->SampleRate() == format.sampleRate && ahead_->Channels() == format.channels) {
        player_->MarkTrackBoundary();
        aheadQueued_ = true;
        feed();
        return;
    }
    // A new start plays it (or reports why it cannot).
    ahead_->CloseFile();
    aheadRefused_ = true;
}

void FileListPlayer::nextHeard() {
    if (!aheadQueued_)
        return;
    file_->TakeSource(*ahead_);
    aheadQueued_ = aheadRefused_ = false;
    ++current_;
    describeCurrent();
    Q_EMIT nowPlayingChanged();
}

void FileListPlayer::describeCurrent() {
    const QString &path = files_.at(current_);
    now_ = NowPlaying{MediaKind::File,
                      QFileInfo(path).completeBaseName(),
                      {},
                      {},
                      {},
                      path,
                      file_->SampleRate() > 0 ? file_->Length() * 1000 / file_->SampleRate() : 0};
}

void FileListPlayer::fileEnded() {
    if (state() == PlayState::Playing)
        startAt(current_ + 1);
}

} // namespace varnelo
