#pragma once
#include "common/Player.h"

#include <QObject>
#include <functional>
#include <vector>

namespace varnelo {

// One thing plays at a time: a player that starts stops the others. Everything
// that starts, stops or shows playback (the skin, the desktop's media controls,
// the tray, the notices, the clock, the command line) goes through here and
// follows its signals.
class PlaybackCoordinator : public QObject {
    Q_OBJECT
public:
    explicit PlaybackCoordinator(QObject *parent = nullptr) : QObject(parent) {}

    // The players outlive the coordinator's use of them.
    void add(Player &player);
    Player *player(MediaKind kind) const;
    // The player the window shows (its page and list); the transport acts on
    // it when nothing is loaded.
    void setShown(std::function<Player *()> shown) { shown_ = std::move(shown); }
    Player *shown() const;

    // The player that is connecting, playing or paused; null when all are stopped.
    Player *current() const { return current_; }
    PlayState state() const { return current_ ? current_->state() : PlayState::Stopped; }
    PlayState state(MediaKind kind) const;
    // Playing or paused.
    bool loaded(MediaKind kind) const;
    bool sounding() const { return state() == PlayState::Playing; }
    NowPlaying nowPlaying() const { return current_ ? current_->nowPlaying() : NowPlaying{}; }
    qint64 positionMs() const { return current_ ? current_->positionMs() : 0; }

    // The desktop's transport: on what is loaded (playing or paused), else on
    // the shown player; stop on whatever is not stopped.
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void previous();
    void setVolume(int percent);
    // The same on one player.
    void playPause(Player &player) { player.playPause(); }
    void stop(Player &player) { player.stop(); }
    void next(Player &player) { player.next(); }
    void previous(Player &player) { player.previous(); }

Q_SIGNALS:
    void stateChanged(varnelo::PlayState state);
    void nowPlayingChanged();
    void positionChanged(qint64 ms);

private:
    void starting(Player &player);
    void changed(Player &player);
    Player *target() const;

    std::vector<Player *> players_;
    Player *current_ = nullptr;
    PlayState reported_ = PlayState::Stopped;
    std::function<Player *()> shown_;
};

// For the parts bound to a coordinator after they are made: false while unbound.
inline bool loaded(const PlaybackCoordinator *playback, MediaKind kind) {
    return playback && playback->loaded(kind);
}

} // namespace varnelo
