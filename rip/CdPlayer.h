#pragma once
#include <QObject>
#include <QString>
#include <functional>

class QAction;

namespace varnelo {

struct AppState;
class AudioPlayer;
class CdRipper;

namespace cd {
class AudioCDGrabber;
}

// Plays single tracks of the CD list through the CD player component
// (AudioPlayercd): the grabber reads the track a little ahead on a thread of
// its own, the player asks for more as it plays, and the skin's seek bar and
// time follow. The playing row is drawn highlighted.
class CdPlayer : public QObject {
    Q_OBJECT
public:
    static constexpr int BarMax = 7500;
    static constexpr int BarPixels = 160; // the bar's width in the skin's coordinates

    CdPlayer(AppState &state, cd::AudioCDGrabber &grabber, AudioPlayer &player, CdRipper &ripper,
             QObject *parent = nullptr);

    // Play3 "Play" and Stop3 "Stop" of p_lvcd.
    QAction *Play3;
    QAction *Stop3;

    // Skin views and the other subsystems; unset hooks do nothing.
    std::function<void(const QString &)> setLabtime;
    std::function<void(int)> setBar;
    std::function<void()> stopStation; // StopRadioOrRecording of the stream player
    std::function<void(const QString &)> reportError;

    void PlayCdTrack();
    void NextCdTrack();
    void PreviousCdTrack();
    void StopCdPlayback();
    void FeedCdPlayer();
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

    AppState &state_;
    cd::AudioCDGrabber &grabber_;
    AudioPlayer &player_;
    CdRipper &ripper_;
    int bar_ = 0;
    qint64 trackLength_ = 0;
};

} // namespace varnelo
