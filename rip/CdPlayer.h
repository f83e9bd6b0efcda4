#pragma once
#include "common/Player.h"

#include <QString>
#include <functional>

class QAction;

namespace varnelo {

class AudioPlayer;
class CdRipper;

namespace cd {
class AudioCDGrabber;
}

// Plays single tracks of the CD list through the CD player component
// (AudioPlayercd): the grabber reads the track a little ahead on a thread of
// its own, the player asks for more as it plays, and the skin's seek bar and
// time follow. The playing row is drawn highlighted. A CD track plays or is
// stopped: it has no pause.
class CdPlayer : public Player {
    Q_OBJECT
public:
    static constexpr int BarMax = 7500;
    static constexpr int BarPixels = 160; // the bar's width in the skin's coordinates

    CdPlayer(cd::AudioCDGrabber &grabber, AudioPlayer &player, CdRipper &ripper, QObject *parent = nullptr);

    // Play3 "Play" and Stop3 "Stop" of p_lvcd.
    QAction *Play3;
    QAction *Stop3;

    // Skin views and the other subsystems; unset hooks do nothing.
    std::function<void(const QString &)> setLabtime;
    std::function<void(int)> setBar;
    std::function<void(const QString &)> reportError;
    std::function<bool()> recordingRuns; // the recording's time shows instead
    std::function<void(int)> setOutputVolume;

    // Player.
    NowPlaying nowPlaying() const override;
    qint64 positionMs() const override { return mulDiv(CdTrackSeconds * 1000, bar_, BarMax); }
    bool canPause() const override { return false; }
    void play() override { PlayCdTrack(); }
    void pause() override {}
    void playPause() override { PlayCdTrack(); }
    void stop() override { StopCdPlayback(); }
    void next() override { NextCdTrack(); }
    void previous() override { PreviousCdTrack(); }
    void seek(qint64 ms) override;
    void setVolume(int percent) override {
        if (setOutputVolume)
            setOutputVolume(percent);
    }

    void PlayCdTrack();
    void NextCdTrack();
    void PreviousCdTrack();
    void StopCdPlayback();
    void FeedCdPlayer();
    // A press on the seek bar: feeding waits for the release (SeekCdTrack).
    void BeginSeek() { seeking_ = true; }
    bool seeking() const { return seeking_; }
    void SeekCdTrack(int x);

    // The row drawn in the highlight colour, -1 while nothing plays.
    int highlightedRow() const;

    int CdRow = 0;
    qint64 CdReadPosition = 0;
    qint64 CdTrackSeconds = 0; // CdTrackTime: the track's minutes and seconds
    int barValue() const { return bar_; }

Q_SIGNALS:
    void highlightChanged();

private:
    void startRow(int row);
    void step(int delta);
    static qint64 mulDiv(qint64 a, qint64 b, qint64 c) { return c == 0 ? 0 : a * b / c; }

    cd::AudioCDGrabber &grabber_;
    AudioPlayer &player_;
    CdRipper &ripper_;
    int bar_ = 0;
    qint64 trackLength_ = 0;
    bool seeking_ = false;
};

} // namespace varnelo
