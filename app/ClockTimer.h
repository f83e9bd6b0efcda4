#pragma once
#include <QDate>
#include <QTime>
#include <cstdint>
#include <optional>

namespace varnelo {

class Clock;
class PlaybackCoordinator;

// One slot of the recording schedule.
struct ScheduleSlotTimes {
    bool on = false;
    QTime begin;
    QTime end;
};

// What the clock reads (live: the controls, and the shutdown switch from the
// settings file) and what it sets off.
class ClockHost {
public:
    virtual ~ClockHost() = default;
    virtual bool shutdownOn() = 0;                        // ("timeclose", "bclose") as saved
    virtual QTime shutdownTime() = 0;                     // dtpTime
    virtual int scheduleMode() = 0;                       // 0 none, 1 every day, 2 the special day
    virtual ScheduleSlotTimes scheduleSlot(int slot) = 0; // 0..2
    virtual QDate scheduleDay() = 0;                      // date_time
    virtual bool recording() = 0;
    virtual bool convertingOrRipping() = 0;
    virtual void showStationTime() = 0;
    virtual void startRecording() = 0;
    virtual void stopRadioOrRecording() = 0;
    virtual void stopPlayback() = 0;
    // Ends what runs, saves, and switches the computer off.
    virtual void powerOff() = 0;
};

// The one-second clock `Timer1`: the station's time, the automatic power-off
// and the daily recording schedule. Each tick acts on every second since the
// last tick exactly once, in order, so a late tick (a busy window, a suspended
// machine) loses nothing; a clock set back (daylight saving, time sync) acts
// on no second twice.
class ClockTimer {
public:
    // A step back of up to this long repeats seconds already acted on; a longer
    // one is a new setting of the clock, from which the clock goes on.
    static constexpr std::int64_t MaxStepBackSeconds = 2 * 3600;
    // After a longer gap only its last day is acted on.
    static constexpr std::int64_t MaxCatchUpSeconds = 24 * 3600;

    ClockTimer(const PlaybackCoordinator &playback, Clock &clock, ClockHost &host);

    void Timer1Timer();

private:
    // False once the computer is being switched off.
    bool actOn(std::int64_t second, std::int64_t now, bool shutdownOn, const QTime &shutdownAt);

    const PlaybackCoordinator &playback_;
    Clock &clock_;
    ClockHost &host_;
    std::optional<std::int64_t> done_; // the last wall-clock second acted on
    bool ticking_ = false;
};

} // namespace varnelo
