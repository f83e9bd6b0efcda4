#include "app/ClockTimer.h"

#include "common/PlaybackCoordinator.h"
#include "common/Seams.h"

#include <algorithm>

namespace varnelo {

namespace {

constexpr std::int64_t Day = 86400;

// Seconds of the wall clock (local date and time, whatever the zone's offset):
// the schedule's times are times of the wall clock.
std::int64_t wallSecond(const QDateTime &moment) {
    return moment.date().toJulianDay() * Day + moment.time().msecsSinceStartOfDay() / 1000;
}
QDate dateOf(std::int64_t second) {
    return QDate::fromJulianDay(second / Day);
}
int secondOfDay(std::int64_t second) {
    return int(second % Day);
}
int secondOfDay(const QTime &time) {
    return time.isValid() ? time.msecsSinceStartOfDay() / 1000 : -1;
}

} // namespace

ClockTimer::ClockTimer(const PlaybackCoordinator &playback, Clock &clock, ClockHost &host)
    : playback_(playback), clock_(clock), host_(host) {}

void ClockTimer::Timer1Timer() {
    // A dialog opened by an action runs its own loop, in which ticks go on:
    // they wait, and the tick after it catches up.
    if (ticking_)
        return;
    ticking_ = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{ticking_};

    // A paused station only stops its time display.
    if (playback_.state(MediaKind::Station) == PlayState::Playing)
        host_.showStationTime();

    const std::int64_t now = wallSecond(clock_.now());
    std::int64_t from = now;
    if (done_) {
        if (now <= *done_ && *done_ - now <= MaxStepBackSeconds)
            return; // these seconds were acted on already
        if (now > *done_)
            from = std::max(*done_ + 1, now - MaxCatchUpSeconds + 1);
    }
    done_ = now;
    const bool shutdownOn = host_.shutdownOn();
    const QTime shutdownAt = host_.shutdownTime();
    for (std::int64_t second = from; second <= now; ++second)
        if (!actOn(second, now, shutdownOn, shutdownAt))
            break;
}

bool ClockTimer::actOn(std::int64_t second, std::int64_t now, bool shutdownOn, const QTime &shutdownAt) {
    const int time = secondOfDay(second);
    if (shutdownOn && time == secondOfDay(shutdownAt)) {
        host_.powerOff();
        return false;
    }
    if (host_.convertingOrRipping() || playback_.loaded(MediaKind::CdTrack))
        return true;
    const int mode = host_.scheduleMode();
    if (mode != 1 && mode != 2)
        return true;
    for (int slot = 0; slot < 3; ++slot) {
        const ScheduleSlotTimes times = host_.scheduleSlot(slot);
        if (!times.on)
            continue;
        if (mode == 2 && dateOf(second) != host_.scheduleDay())
            continue;
        const int begin = secondOfDay(times.begin);
        const int end = secondOfDay(times.end);
        if (time == begin) {
            // Caught up after a gap: a slot that has also ended by now is not started.
            const std::int64_t untilEnd = ((end - begin) % Day + Day) % Day;
            const bool endedAlready = end >= 0 && untilEnd > 0 && second + untilEnd <= now &&
                                      (mode != 2 || dateOf(second + untilEnd) == host_.scheduleDay());
            if (!endedAlready) {
                if (host_.recording())
                    host_.stopRadioOrRecording();
                if (playback_.loaded(MediaKind::File))
                    host_.stopPlayback();
                host_.startRecording();
            }
        }
        if (time == end && host_.recording())
            host_.stopRadioOrRecording();
    }
    return true;
}

} // namespace varnelo
