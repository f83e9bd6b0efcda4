#pragma once
#include "common/Player.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;
class QWidget;

namespace varnelo {

class Clock;
class DesktopShell;
class Prompts;
class StationCatalogue;
class StationConnector;
class StationPanel;
class StreamLibrary;

// What the player writes on the window.
struct StreamPlayerViews {
    StationPanel *panel = nullptr; // ename, egenre, eurl, url, Lstatus
    QWidget *panel_state = nullptr;
    QLabel *lab_state = nullptr;
    QPushButton *BitBtn1 = nullptr;                  // mute
    QPushButton *BitBtn2 = nullptr;                  // unmute
    std::function<void(const QString &)> setLabtime; // the skin's time text, redrawn
    std::function<int()> barv;                       // the volume bar's position
    std::function<void(int)> setBarv;
    std::function<void()> redrawList;
    // The radio page's state strip, when the window keeps one per page: the
    // text and whether it shows (unbound: lab_state and panel_state directly).
    std::function<void(const QString &)> setStripText;
    std::function<void(bool)> showStrip;
};

// The stream player: starts, pauses, resumes, stops and steps stations of the
// station list, shows their headers and titles, and sets the output volume.
// Its player state: connecting while a connect worker runs, then playing or
// paused until stopped.
class StreamPlayer : public Player {
    Q_OBJECT
public:
    StreamPlayer(StationCatalogue &catalogue, StreamLibrary &library, Prompts &prompts, DesktopShell &shell,
                 Clock &clock, StreamPlayerViews views, QObject *parent = nullptr);
    ~StreamPlayer() override;

    void StartStation();
    // Plays an address that need not be in the list shown (the schedule's last station).
    void PlayAddress(const QString &address);
    // The address of the station started last.
    QString address() const { return address_; }
    void LVDblClick();
    void PlayPauseStation();
    void StopRadioOrRecording();
    void NextStation();
    void PreviousStation();
    void AuditionStation();

    void MuteVolume();
    void UnmuteVolume();
    void VolumeTrack(int newPos);
    void VolumeStep(int delta);

    // The time text of the playing station (the clock tick writes it).
    QString ElapsedText() const;
    void ClockTick();

    StationConnector &connector() { return *connector_; }
    // The stream title of the playing station (empty before the first one).
    QString CurrentTitle() const;
    // The state strip shows what plays (the title, else the station's name).
    void showNowPlaying();

    // A station is connected (playing or paused), and the stream it plays.
    bool stationPlaying() const { return playing_; }
    bool stationPaused() const { return playing_ && paused_; }
    bool connecting() const { return connectWorker_; }
    std::uint32_t streamHandle() const { return handle_; }

    // Player: stop() is StopRadioOrRecording (a running recording ends first).
    NowPlaying nowPlaying() const override;
    qint64 positionMs() const override;
    void play() override;
    void pause() override;
    void playPause() override { PlayPauseStation(); }
    void stop() override { StopRadioOrRecording(); }
    void next() override { NextStation(); }
    void previous() override { PreviousStation(); }
    void seek(qint64) override {}
    void setVolume(int percent) override;

    // Hooks of the subsystems that share the transport.
    std::function<bool()> stopRecordingIfRunning; // true when a recording was stopped
    std::function<bool()> recordingRuns;
    // A connect worker started for this address (the directory counts plays).
    std::function<void(const QString &address)> connectStarted;

Q_SIGNALS:
    // The connection attempt ended (connected or failed).
    void connectFinished();
    // The output volume changed (the bar, the mute buttons).
    void volumeChanged();

private:
    void StepStation(int step);
    void startWorker(const QString &address);
    void stripText(const QString &text);
    void stripShown(bool shown);
    QString address_;
    void setStatus(const QString &text);
    void setPlaying(bool playing, bool paused);
    void setConnecting(bool on);

    StationCatalogue &catalogue_;
    StreamLibrary &library_;
    Prompts &prompts_;
    DesktopShell &shell_;
    Clock &clock_;
    StreamPlayerViews views_;
    StationConnector *connector_;
    QString title_;
    QString stationName_; // from the headers of the station that plays
    bool playing_ = false;
    bool paused_ = false;
    bool connectWorker_ = false;
    std::uint32_t handle_ = 0;
    QDateTime playStart_;
    std::int64_t playedBeforeMs_ = 0; // playing time before the last pause
};

} // namespace varnelo
