// One thing plays at a time, and the transport reaches the player it is meant for.
#include "support/FakePlayer.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace varnelo::test {
namespace {

TEST(PlaybackCoordinator, StartingOnePlayerStopsWhatPlayedBeforeAndTheSignalsFollow) {
    FakePlayback p;
    QSignalSpy states(&p.coordinator, &PlaybackCoordinator::stateChanged);
    QSignalSpy nowPlaying(&p.coordinator, &PlaybackCoordinator::nowPlayingChanged);
    p.station.play();
    EXPECT_EQ(p.coordinator.current(), &p.station);
    p.file.play();
    EXPECT_EQ(p.station.state(), PlayState::Stopped);
    EXPECT_EQ(p.coordinator.current(), &p.file);
    p.file.pause();
    EXPECT_EQ(p.coordinator.state(), PlayState::Paused);
    p.cd.play(); // a paused file holds the output too
    EXPECT_EQ(p.file.state(), PlayState::Stopped);
    EXPECT_TRUE(p.coordinator.loaded(MediaKind::CdTrack));
    p.cd.stop();
    EXPECT_EQ(p.coordinator.current(), nullptr);
    EXPECT_EQ(p.coordinator.state(), PlayState::Stopped);
    // Each start passes through "stopped" as the one before ends; a pause changes only the state.
    EXPECT_EQ(states.count(), 7);
    EXPECT_EQ(nowPlaying.count(), 6);
}

TEST(PlaybackCoordinator, TheTransportActsOnWhatIsLoadedElseOnTheShownPlayer) {
    FakePlayback p;
    Player *shown = &p.file;
    p.coordinator.setShown([&shown] { return shown; });
    p.coordinator.playPause(); // nothing loaded: the shown player starts
    EXPECT_EQ(p.file.state(), PlayState::Playing);
    shown = &p.station;
    p.coordinator.playPause(); // the file pauses, whatever the window shows
    EXPECT_EQ(p.file.state(), PlayState::Paused);
    p.coordinator.next();
    p.coordinator.play();
    p.coordinator.setVolume(150);
    EXPECT_EQ(p.file.calls,
              (QStringList{QStringLiteral("play"), QStringLiteral("pause"), QStringLiteral("next"),
                           QStringLiteral("play"), QStringLiteral("volume 100")}));
    EXPECT_TRUE(p.station.calls.isEmpty());

    p.coordinator.stop();
    EXPECT_EQ(p.file.state(), PlayState::Stopped);
    // A station that still connects holds nothing yet: play starts the shown file and ends the connect.
    p.station.force(PlayState::Connecting);
    EXPECT_EQ(p.coordinator.current(), &p.station);
    shown = &p.file;
    p.coordinator.play();
    EXPECT_EQ(p.file.state(), PlayState::Playing);
    EXPECT_EQ(p.station.state(), PlayState::Stopped);
    p.coordinator.stop();
    EXPECT_EQ(p.coordinator.current(), nullptr);
}

} // namespace
} // namespace varnelo::test
