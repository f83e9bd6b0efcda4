#pragma once
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;
class QWidget;

namespace varnelo {

struct AppState;
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
};

// The stream player: starts, pauses, resumes, stops and steps stations of the
// station list, shows their headers and titles, and sets the output volume.
class StreamPlayer : public QObject {
    Q_OBJECT
public:
    static QString failureText() {
        return QStringLiteral("Cann't find server or the address is wrong. Please try again later");
    }

    StreamPlayer(AppState &state, StationCatalogue &catalogue, StreamLibrary &library, Prompts &prompts,
                 DesktopShell &shell, Clock &clock, StreamPlayerViews views, QObject *parent = nullptr);
    ~StreamPlayer() override;

    void StartStation();
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

    // Hooks of the subsystems that share the transport.
    std::function<void()> stopLocalPlayback;
    std::function<bool()> stopRecordingIfRunning; // true when a recording was stopped
    std::function<bool()> recordingRuns;

Q_SIGNALS:
    // The connection attempt ended (connected or failed).
    void connectFinished();
    // What plays changed: a new stream title, a station started or stopped.
    void nowPlayingChanged();

private:
    void StepStation(int step);
    void startWorker(const QString &address);
    void setStatus(const QString &text);
    void showNowPlaying();

    AppState &state_;
    StationCatalogue &catalogue_;
    StreamLibrary &library_;
    Prompts &prompts_;
    DesktopShell &shell_;
    Clock &clock_;
    StreamPlayerViews views_;
    StationConnector *connector_;
    QString title_;
};

} // namespace varnelo
