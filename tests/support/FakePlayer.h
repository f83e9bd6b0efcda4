#pragma once
#include "common/PlaybackCoordinator.h"

#include <QStringList>

namespace varnelo::test {

// A player that only keeps its state and counts what it was asked; play()
// starts as a real player does (starting(), then playing).
class FakePlayer : public Player {
public:
    explicit FakePlayer(MediaKind kind, QObject *parent = nullptr) : Player(kind, parent) {}

    NowPlaying now;
    qint64 position = 0;
    QStringList calls;

    // As if the player had got there by itself.
    void force(PlayState state) { setState(state); }

    NowPlaying nowPlaying() const override { return state() == PlayState::Stopped ? NowPlaying{} : now; }
    qint64 positionMs() const override { return position; }
    void play() override {
        calls << QStringLiteral("play");
        if (state() == PlayState::Stopped)
            Q_EMIT starting();
        setState(PlayState::Playing);
    }
    void pause() override {
        calls << QStringLiteral("pause");
        setState(PlayState::Paused);
    }
    void playPause() override { state() == PlayState::Playing ? pause() : play(); }
    void stop() override {
        calls << QStringLiteral("stop");
        setState(PlayState::Stopped);
    }
    void next() override { calls << QStringLiteral("next"); }
    void previous() override { calls << QStringLiteral("previous"); }
    void seek(qint64 ms) override { calls << QStringLiteral("seek %1").arg(ms); }
    void setVolume(int percent) override { calls << QStringLiteral("volume %1").arg(percent); }
};

// A coordinator with a fake player of each kind, as the components see the window's.
struct FakePlayback {
    PlaybackCoordinator coordinator;
    FakePlayer station{MediaKind::Station};
    FakePlayer file{MediaKind::File};
    FakePlayer cd{MediaKind::CdTrack};
    FakePlayback() {
        for (Player *p :
             {static_cast<Player *>(&station), static_cast<Player *>(&file), static_cast<Player *>(&cd)})
            coordinator.add(*p);
    }
};

} // namespace varnelo::test
