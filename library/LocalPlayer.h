#pragma once
#include "common/Player.h"

#include <QString>
#include <QtGlobal>
#include <deque>
#include <functional>
#include <memory>

class QItemSelectionModel;
class QStandardItemModel;

namespace varnelo {

class ShownPage;
class AudioFile;
class AudioPlayer;
class LibraryCatalogue;

// a × b ÷ c rounded to the nearest integer (halves away from zero), with the
// product kept exact. −1 for a zero divisor or a result beyond 64 bits. The
// operands are 64-bit because lengths of long recordings pass 2^31 frames.
qint64 MulDivRound(qint64 a, qint64 b, qint64 c);

// Elapsed time as H:MM:SS with every part at least two digits ("100:00:00").
QString ElapsedText(qint64 seconds);

// Plays one local file at a time from the track list `lv2` or, on the radio
// page, from the recordings list `LV_R`: pulls arrays from the file component
// into the player as it asks, shows the time on "labtime" and the position on
// the seek bar "bar" (0..7500), and goes on with the next row at the end of a
// track. Playing or paused from the opening of a file until it stops.
class LocalPlayer : public Player {
    Q_OBJECT
public:
    static constexpr int BarMax = 7500;
    // Columns of the path in the two lists (sub-item 3 of `lv2`, sub-item 2 of `LV_R`).
    static constexpr int LibraryPathColumn = 4;
    static constexpr int RecordingPathColumn = 3;

    enum class List { Library, Recordings };

    // Connects to the player's events; the components outlive this object.
    LocalPlayer(const ShownPage &page, LibraryCatalogue &library, AudioFile &file, AudioPlayer &player,
                QObject *parent = nullptr);
    ~LocalPlayer() override;

    // The recordings list (`LV_R`), when there is one.
    void setRecordingsList(QStandardItemModel *model, QItemSelectionModel *selection);

    // Skin views: "labtime" text, "bar" value. Without them the values are kept here.
    std::function<void(const QString &)> setLabtime;
    std::function<void(int)> setBar;
    std::function<int()> bar;

    // Other subsystems. deleteEntries is the library's DeleteEntries of the
    // selected row; reportError shows what an automatic advance could not do;
    // setOutputVolume sets the program's one output volume.
    std::function<void()> deleteEntries;
    std::function<void(const QString &)> reportError;
    std::function<void(int)> setOutputVolume;
    // True while a conversion holds the file component; playback then waits.
    std::function<bool()> conversionRunning;
    // ReplayGain applied to what plays: 0 off, 1 track, 2 album (track where a
    // file has no album gain); unbound: off.
    std::function<int()> replayGainMode;
    // The factor the file that plays is scaled by (1 without gain).
    double playbackGain() const { return gain_; }

    // Player.
    NowPlaying nowPlaying() const override;
    qint64 positionMs() const override;
    void play() override;
    void pause() override;
    void playPause() override { PlayPause(); }
    void stop() override { StopPlayback(); }
    void next() override { NextTrack(); }
    void previous() override { PreviousTrack(); }
    void seek(qint64 ms) override;
    void setVolume(int percent) override {
        if (setOutputVolume)
            setOutputVolume(percent);
    }
    bool paused() const { return state() == PlayState::Paused; }
    // The sample the playing started at (a seek, a resume).
    qint64 startOffset() const { return startOffset_; }

    void PlayPause();
    // Pauses or resumes the file that plays, whichever page is shown (the
    // desktop's media controls); false when no file plays.
    bool TogglePause();
    void StopPlayback();
    void NextTrack();
    void PreviousTrack();
    void BeginSeek();
    void EndSeek();
    void lv2DblClick();
    void LV_RDblClick();
    // Starts row `row` of `lv2` from its beginning (adding files, command line).
    // Throws varnelo::Error when the file cannot be opened; playback is then stopped.
    void PlayRow(int row);

    // The row to paint in the highlight colour in `list`, -1 for none.
    int highlightedRow(List list) const;

    bool EndedByPlayer = false;
    bool SeekDragging = false;
    qint64 ArraySize = 0;
    QString CurrentFile;

    // Player events.
    void AudioPlayerEndArrayPlay() { FeedPlayer(); }
    void AudioPlayerRequestOnLoadArray() { FeedPlayer(); }
    void AudioPlayerTimer(qint64 CurrentSamples);
    void AudioPlayerEndPlay();
    void AudioPlayerTrackBoundary(qint64 CurrentSamples);
    void FeedPlayer();

    int barValue() const;

Q_SIGNALS:
    // The highlighted row changed: the lists repaint.
    void highlightChanged();

private:
    void startSequence(int startValue);
    void step(int delta);
    bool openRow(List list, int row);
    QStandardItemModel *model(List list) const;
    int selectedRow(List list) const;
    void selectRow(List list, int row);
    QString rowPath(List list, int row) const;
    void showBar(int value);
    void showTime(const QString &text);
    qint64 barToPosition(int value) const;
    void setPlaying(bool playing, bool paused);
    NowPlaying readTags(const QString &path, const AudioFile &file) const;
    double replayGainFactor(const QString &path) const;
    bool queueFollowingRow();
    void dropFollowing();
    bool fileComponentBusy() const { return conversionRunning && conversionRunning(); }

    const ShownPage &page_;
    LibraryCatalogue &library_;
    AudioFile &file_;
    AudioPlayer &player_;
    QStandardItemModel *recordings_ = nullptr;
    QItemSelectionModel *recordingsSelection_ = nullptr;
    // The list PlayingIndex counts in.
    List playingList_ = List::Library;
    int barValue_ = 0;
    qint64 startOffset_ = 0;
    qint64 playedFrames_ = 0; // since the last start
    NowPlaying tags_;         // of CurrentFile, read when it opens
    double gain_ = 1.0;       // of CurrentFile, from its ReplayGain tags
    // CurrentSamples (of the player's OnTimer) at which CurrentFile began to
    // play, when it followed the one before without a break.
    qint64 trackBase_ = 0;

    // Rows whose sound is queued behind CurrentFile's, in order. They become
    // CurrentFile when the player reaches them.
    struct Following {
        std::unique_ptr<AudioFile> file;
        int row = -1;
        QString path;
        NowPlaying tags;
        double gain = 1.0;
    };
    std::deque<Following> following_;
    // The row after the last one queued cannot follow without a break (a
    // different format, or it does not open): the list goes on as a new start.
    bool followingRefused_ = false;
};

} // namespace varnelo
