#include "app/ClockTimer.h"
#include "support/FakePlayer.h"
#include "support/Fakes.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

// The live settings and the actions, with the recording flag kept as the program keeps it.
class Host : public ClockHost {
public:
    explicit Host(test::FakePlayback &playback) : playback_(playback) {}
    bool shutdown = false;
    QTime shutdownAt;
    int mode = 1;
    ScheduleSlotTimes slots[3];
    QDate day;
    QStringList actions;

    bool shutdownOn() override { return shutdown; }
    QTime shutdownTime() override { return shutdownAt; }
    int scheduleMode() override { return mode; }
    ScheduleSlotTimes scheduleSlot(int slot) override { return slots[slot]; }
    QDate scheduleDay() override { return day; }
    bool recordingNow = false;
    bool recording() override { return recordingNow; }
    bool convertingOrRipping() override { return busy; }
    bool busy = false;
    void showStationTime() override { actions << QStringLiteral("time"); }
    void startRecording() override {
        actions << QStringLiteral("start");
        recordingNow = true;
    }
    void stopRadioOrRecording() override {
        actions << QStringLiteral("stop");
        recordingNow = false;
    }
    void stopPlayback() override {
        actions << QStringLiteral("stopPlayback");
        playback_.file.force(PlayState::Stopped);
    }
    void powerOff() override { actions << QStringLiteral("powerOff"); }

private:
    test::FakePlayback &playback_;
};

class ClockTimerTest : public ::testing::Test {
protected:
    // Ticks at these times of 2 January 2026 ("hh:mm:ss"), in order.
    QStringList tickAt(std::initializer_list<const char *> times) {
        host.actions.clear();
        for (const char *t : times) {
            clock.current =
                QDateTime(QDate(2026, 1, 2), QTime::fromString(QLatin1String(t), QStringLiteral("HH:mm:ss")));
            timer.Timer1Timer();
        }
        return host.actions;
    }
    void slot(int i, const char *begin, const char *end) {
        host.slots[i] = {true, QTime::fromString(QLatin1String(begin), QStringLiteral("HH:mm:ss")),
                         QTime::fromString(QLatin1String(end), QStringLiteral("HH:mm:ss"))};
    }

    test::FakePlayback playback;
    test::FakeClock clock;
    Host host{playback};
    ClockTimer timer{playback.coordinator, clock, host};
};

const QStringList none;
QStringList list(std::initializer_list<const char *> items) {
    QStringList out;
    for (const char *i : items)
        out << QLatin1String(i);
    return out;
}

TEST_F(ClockTimerTest, SlotsStartAndStopAtTheirSecondsEveryDay) {
    slot(0, "10:00:02", "10:00:04");
    EXPECT_EQ(tickAt({"10:00:00", "10:00:01"}), none);
    EXPECT_EQ(tickAt({"10:00:02"}), list({"start"}));
    EXPECT_EQ(tickAt({"10:00:02", "10:00:03"}), none); // a second acts once, however many ticks fall in it
    EXPECT_EQ(tickAt({"10:00:04"}), list({"stop"}));
    // The end of a slot stops whatever records; with nothing recording it does nothing.
    slot(1, "10:00:06", "10:00:06");
    slot(2, "10:00:08", "10:00:09");
    EXPECT_EQ(tickAt({"10:00:05", "10:00:06"}), list({"start", "stop"})); // equal times: both in one tick
    EXPECT_EQ(tickAt({"10:00:07", "10:00:08"}), list({"start"}));
    host.recordingNow = false; // stopped by hand
    EXPECT_EQ(tickAt({"10:00:09"}), none);
}

TEST_F(ClockTimerTest, ABeginWhileRecordingOrPlayingStopsThatFirst) {
    slot(0, "10:00:02", "11:00:00");
    host.recordingNow = true;
    playback.file.force(PlayState::Playing);
    EXPECT_EQ(tickAt({"10:00:01", "10:00:02"}), list({"stop", "stopPlayback", "start"}));
}

TEST_F(ClockTimerTest, TheModeAndTheDayDecideWhetherSlotsAct) {
    host.mode = 0;
    slot(0, "10:00:01", "10:00:02");
    EXPECT_EQ(tickAt({"10:00:00", "10:00:01", "10:00:02"}), none);
    host.mode = 2;
    host.day = QDate(2026, 1, 3);
    slot(0, "10:00:04", "10:00:05");
    EXPECT_EQ(tickAt({"10:00:03", "10:00:04", "10:00:05"}), none);
    host.day = QDate(2026, 1, 2);
    slot(0, "10:00:07", "10:00:08");
    EXPECT_EQ(tickAt({"10:00:06", "10:00:07", "10:00:08"}), list({"start", "stop"}));
}

TEST_F(ClockTimerTest, NoSlotActsWhileACdPlaysOrAConversionOrRipRuns) {
    slot(0, "10:00:01", "10:00:02");
    host.shutdown = true;
    host.shutdownAt = QTime(10, 0, 3);
    for (int way = 0; way < 2; ++way) {
        test::FakePlayback playing;
        if (way == 0)
            playing.cd.force(PlayState::Playing);
        host.busy = way != 0;
        ClockTimer busy(playing.coordinator, clock, host);
        host.actions.clear();
        for (int s = 0; s <= 3; ++s) {
            clock.current = QDateTime(QDate(2026, 1, 2), QTime(10, 0, s));
            busy.Timer1Timer();
        }
        EXPECT_EQ(host.actions, list({"powerOff"})); // the power-off still comes
    }
}

TEST_F(ClockTimerTest, PowerOffAtTheSetTimeOnlyWhenSwitchedOnAndSaved) {
    host.shutdownAt = QTime(22, 30, 0);
    EXPECT_EQ(tickAt({"22:29:59", "22:30:00"}), none); // ticked in the dialog but not saved
    host.shutdown = true;
    EXPECT_EQ(tickAt({"22:30:01"}), none);
    host.shutdownAt = QTime(22, 30, 2); // the picker acts at once
    EXPECT_EQ(tickAt({"22:30:02"}), list({"powerOff"}));
}

TEST_F(ClockTimerTest, APausedStationNoLongerHoldsThePowerOffAndTheSchedule) {
    playback.station.force(PlayState::Paused);
    slot(0, "10:00:01", "10:00:02");
    host.shutdown = true;
    host.shutdownAt = QTime(10, 0, 3);
    EXPECT_EQ(tickAt({"10:00:00", "10:00:01", "10:00:02", "10:00:03"}), list({"start", "stop", "powerOff"}));
    playback.station.force(PlayState::Playing);
    EXPECT_EQ(tickAt({"10:00:04"}), list({"time"}));
}

TEST_F(ClockTimerTest, ABusyGapActsOnTheSecondsItSkippedOnce) {
    slot(0, "10:00:03", "11:00:00");
    EXPECT_EQ(tickAt({"10:00:00", "10:00:05", "10:00:06"}), list({"start"}));
    // A gap over a power-off second switches off, and nothing after it in the gap acts.
    host.shutdown = true;
    host.shutdownAt = QTime(10, 0, 8);
    slot(1, "10:00:09", "11:00:00");
    EXPECT_EQ(tickAt({"10:00:10"}), list({"powerOff"}));
}

TEST_F(ClockTimerTest, AfterALongGapASlotThatHasEndedTooIsNotStarted) {
    slot(0, "10:00:05", "10:00:20");
    slot(1, "10:00:30", "10:02:00");
    EXPECT_EQ(tickAt({"10:00:00", "10:01:00"}), list({"start"})); // only the slot still running
    // Over midnight: the end lies on the next day.
    slot(2, "23:59:50", "00:10:00");
    host.slots[0].on = host.slots[1].on = false;
    host.recordingNow = false;
    clock.current = QDateTime(QDate(2026, 1, 2), QTime(23, 59, 40));
    timer.Timer1Timer();
    host.actions.clear();
    clock.current = QDateTime(QDate(2026, 1, 3), QTime(0, 5, 0));
    timer.Timer1Timer();
    EXPECT_EQ(host.actions, list({"start"}));
    clock.current = QDateTime(QDate(2026, 1, 3), QTime(0, 20, 0));
    timer.Timer1Timer();
    EXPECT_EQ(host.actions, list({"start", "stop"}));
}

TEST_F(ClockTimerTest, AClockSetBackActsOnNoSecondTwice) {
    slot(0, "10:00:02", "10:00:08");
    EXPECT_EQ(tickAt({"10:00:00", "10:00:03"}), list({"start"}));
    // Time sync steps back over the begin second: it does not start again.
    EXPECT_EQ(tickAt({"10:00:01", "10:00:02", "10:00:03", "10:00:04"}), none);
    EXPECT_EQ(tickAt({"10:00:09"}), list({"stop"}));
    // Back over the end second while something records: it is not stopped again.
    host.recordingNow = true;
    EXPECT_EQ(tickAt({"10:00:07", "10:00:08", "10:00:09", "10:00:10"}), none);
    EXPECT_TRUE(host.recordingNow);

    // An hour back (daylight saving ends): the repeated hour acts on nothing.
    host.recordingNow = false;
    slot(1, "10:30:00", "12:00:00");
    EXPECT_EQ(tickAt({"10:30:00"}), list({"start"}));
    EXPECT_EQ(tickAt({"11:00:00", "10:00:00", "10:29:59", "10:30:00", "10:30:01", "11:00:00", "11:00:01"}),
              none);

    // A clock set back by more than that is a new setting: it goes on from there.
    host.recordingNow = false;
    clock.current = QDateTime(QDate(2026, 1, 1), QTime(10, 0, 1));
    timer.Timer1Timer();
    host.actions.clear();
    clock.current = QDateTime(QDate(2026, 1, 1), QTime(10, 0, 2));
    timer.Timer1Timer();
    EXPECT_EQ(host.actions, list({"start"}));
}

} // namespace
