#pragma once
#include <QObject>
#include <QString>

namespace varnelo {

enum class PlayState { Stopped, Connecting, Playing, Paused };
enum class MediaKind { None, Station, File, CdTrack };

// What a player has loaded, as the tray, the notices and the desktop's media
// controls show it.
struct NowPlaying {
    MediaKind kind = MediaKind::None;
    QString title;
    QString artist;
    QString album;
    QString station;     // the station's name (radio only)
    QString source;      // the file, the stream address or the CD row's name
    qint64 lengthMs = 0; // 0 when not known (a stream)

    friend bool operator==(const NowPlaying &, const NowPlaying &) = default;
};

// One of the program's players (a station, a local file, a CD track). The
// state lives here so every player reports its changes the same way; starting()
// goes out before a player makes a sound, so the coordinator can stop the others
// first (they share one output).
class Player : public QObject {
    Q_OBJECT
public:
    explicit Player(MediaKind kind, QObject *parent = nullptr) : QObject(parent), kind_(kind) {}

    MediaKind kind() const { return kind_; }
    PlayState state() const { return state_; }
    // Playing or paused: something is loaded and holds the output.
    bool loaded() const { return state_ == PlayState::Playing || state_ == PlayState::Paused; }

    virtual NowPlaying nowPlaying() const = 0;
    virtual qint64 positionMs() const = 0;
    virtual bool canPause() const { return true; }

    // Starts what the player's list has selected, or resumes.
    virtual void play() = 0;
    virtual void pause() = 0;
    // The transport's one button.
    virtual void playPause() = 0;
    virtual void stop() = 0;
    virtual void next() = 0;
    virtual void previous() = 0;
    virtual void seek(qint64 ms) = 0;
    virtual void setVolume(int percent) = 0; // 0..100, the program's one output

Q_SIGNALS:
    void starting();
    void stateChanged(varnelo::PlayState state);
    void nowPlayingChanged();
    void positionChanged(qint64 ms);

protected:
    void setState(PlayState state) {
        if (state == state_)
            return;
        state_ = state;
        Q_EMIT stateChanged(state);
    }

private:
    MediaKind kind_;
    PlayState state_ = PlayState::Stopped;
};

} // namespace varnelo
