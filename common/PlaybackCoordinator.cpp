#include "common/PlaybackCoordinator.h"

#include <algorithm>

namespace varnelo {

void PlaybackCoordinator::add(Player &player) {
    players_.push_back(&player);
    Player *p = &player;
    // Direct: the others stop before the new one opens the output.
    connect(
        p, &Player::starting, this, [this, p] { starting(*p); }, Qt::DirectConnection);
    connect(
        p, &Player::stateChanged, this, [this, p] { changed(*p); }, Qt::DirectConnection);
    connect(p, &Player::nowPlayingChanged, this, [this, p] {
        if (p == current_)
            Q_EMIT nowPlayingChanged();
    });
    connect(p, &Player::positionChanged, this, [this, p](qint64 ms) {
        if (p == current_)
            Q_EMIT positionChanged(ms);
    });
    connect(p, &QObject::destroyed, this, [this, p] {
        players_.erase(std::remove(players_.begin(), players_.end(), p), players_.end());
        if (current_ == p)
            current_ = nullptr;
    });
    if (player.state() != PlayState::Stopped && !current_) {
        current_ = p;
        reported_ = p->state();
    }
}

Player *PlaybackCoordinator::player(MediaKind kind) const {
    for (Player *p : players_)
        if (p->kind() == kind)
            return p;
    return nullptr;
}

Player *PlaybackCoordinator::shown() const {
    return shown_ ? shown_() : nullptr;
}

PlayState PlaybackCoordinator::state(MediaKind kind) const {
    const Player *p = player(kind);
    return p ? p->state() : PlayState::Stopped;
}

bool PlaybackCoordinator::loaded(MediaKind kind) const {
    const Player *p = player(kind);
    return p && p->loaded();
}

void PlaybackCoordinator::starting(Player &player) {
    for (Player *other : std::vector<Player *>(players_))
        if (other != &player && other->state() != PlayState::Stopped)
            other->stop();
}

void PlaybackCoordinator::changed(Player &player) {
    // The player's state has already moved: compare with what was last told.
    const PlayState before = reported_;
    const Player *was = current_;
    if (player.state() != PlayState::Stopped) {
        current_ = &player;
    } else if (current_ == &player) {
        // Another that still holds the output (a stop that did not take) stays current.
        current_ = nullptr;
        for (Player *p : players_)
            if (p->state() != PlayState::Stopped)
                current_ = p;
    }
    reported_ = state();
    if (reported_ != before || current_ != was)
        Q_EMIT stateChanged(reported_);
    if (current_ != was)
        Q_EMIT nowPlayingChanged();
}

Player *PlaybackCoordinator::target() const {
    // A station that still connects holds nothing yet: the shown player takes the command.
    return current_ && current_->loaded() ? current_ : shown();
}

void PlaybackCoordinator::play() {
    Player *p = target();
    if (p && (p->state() == PlayState::Stopped || p->state() == PlayState::Paused))
        p->play();
}

void PlaybackCoordinator::pause() {
    Player *p = target();
    if (p && p->state() == PlayState::Playing && p->canPause())
        p->pause();
}

void PlaybackCoordinator::playPause() {
    Player *p = target();
    if (!p)
        return;
    if (p != current_)
        p->playPause();
    else if (p->state() == PlayState::Playing)
        pause();
    else
        p->play();
}

void PlaybackCoordinator::stop() {
    if (current_)
        current_->stop();
}

void PlaybackCoordinator::next() {
    if (Player *p = target())
        p->next();
}

void PlaybackCoordinator::previous() {
    if (Player *p = target())
        p->previous();
}

void PlaybackCoordinator::setVolume(int percent) {
    if (Player *p = target())
        p->setVolume(std::clamp(percent, 0, 100));
}

} // namespace varnelo
