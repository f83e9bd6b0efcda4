#pragma once
#include "common/Player.h"

#include <QStringList>
#include <memory>

namespace varnelo {

class AudioFile;
class AudioPlayer;
class SoundOutput;

// Plays files one after the other through the program's sound output, fed
// as the local player feeds it, without the library's lists: the command
// line's player. A file that cannot be opened is reported and skipped; the
// next file of the same format follows without a break.
class FileListPlayer : public Player {
    Q_OBJECT
public:
    FileListPlayer(SoundOutput &output, QStringList files, QObject *parent = nullptr);
    ~FileListPlayer() override;

    NowPlaying nowPlaying() const override { return now_; }
    qint64 positionMs() const override;

    // From the first file (or the current one when paused).
    void play() override;
    void pause() override;
    void playPause() override;
    void stop() override;
    void next() override;
    void previous() override;
    void seek(qint64 ms) override;
    void setVolume(int percent) override;

    int failures() const { return failures_; }

Q_SIGNALS:
    void fileFailed(const QString &path, const QString &reason);
    // The last file has gone to the device (or none could be opened).
    void listEnded();

private:
    void startAt(qsizetype index);
    void feed();
    void fileEnded();
    void nextHeard();
    void describeCurrent();

    SoundOutput &output_;
    QStringList files_;
    std::unique_ptr<AudioFile> file_;
    // The next file, opened as the current one runs out; queued right behind
    // it when the format matches.
    std::unique_ptr<AudioFile> ahead_;
    bool aheadQueued_ = false;
    bool aheadRefused_ = false;
    std::unique_ptr<AudioPlayer> player_;
    qsizetype current_ = -1;
    qint64 blockFrames_ = 0;
    int failures_ = 0;
    NowPlaying now_;
};

} // namespace varnelo
