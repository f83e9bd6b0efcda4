#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace varnelo {

class MixSource;
class SoundBackend;

struct SoundFormat {
    int sampleRate = 44100;
    int channels = 2;
    friend bool operator==(const SoundFormat &, const SoundFormat &) = default;
};

// Peak magnitudes (0..1) of the left and right side.
struct SoundLevels {
    float left = 0.0f;
    float right = 0.0f;
};

// One source of sound in the program's mixer (the stream, the local player,
// the CD player). Every member is safe to call from any thread.
class SoundChannel {
public:
    virtual ~SoundChannel() = default;
    virtual SoundFormat format() const = 0;
    // Queues interleaved float frames (-1..1) in the channel's format. Never
    // blocks: returns how many frames were taken (fewer when the queue is full).
    virtual std::size_t write(const float *frames, std::size_t count) = 0;
    // Frames queued and not yet mixed.
    virtual std::size_t queuedFrames() const = 0;
    // Frames of this channel mixed into the output since it was opened or cleared.
    virtual std::uint64_t playedFrames() const = 0;
    // A paused channel keeps its queue and contributes silence.
    virtual void setPaused(bool paused) = 0;
    virtual bool paused() const = 0;
    // Drops what is queued and resets playedFrames.
    virtual void clear() = 0;
    // Peaks of what was mixed since the last call (mono shows on both sides).
    virtual SoundLevels takePeaks() = 0;
};

// The program's one sound output: mixes every open channel at MixRate stereo,
// applies the master volume (0..100, the volume bar) and hands the result to a
// device backend. Taps receive every mixed block ("Program output" capture).
class SoundOutput {
public:
    static constexpr int MixRate = 44100;
    static constexpr int MixChannels = 2;

    enum class Backend { System, Null };

    virtual ~SoundOutput() = default;
    // capacityFrames: how much the channel may hold before write() refuses. The
    // channel is mixed for as long as its owner holds it; formats other than
    // MixRate stereo are converted as they are written.
    virtual std::shared_ptr<SoundChannel> openChannel(SoundFormat format, std::size_t capacityFrames) = 0;
    // Clamped to 0..100; the bar's position is taken as a loudness (Qt's
    // logarithmic volume scale), so 100 is unity and 0 silence.
    virtual void setVolume(int volume) = 0;
    virtual int volume() const = 0;
    // Peaks of what went to the device (after the master volume) since the last
    // call: the program's output level.
    virtual SoundLevels takeOutputPeaks() = 0;
    // Human-readable name of the backend in use ("Null output" when no device could be opened).
    virtual QString backendName() const = 0;
    // A tap is called on the mixer's thread with each mixed block (interleaved
    // stereo float at MixRate, before the master volume). Returns an id for removeTap.
    // Once removeTap returns the tap is not running and is never called again.
    // A tap must not add or remove taps.
    using Tap = std::function<void(const float *frames, std::size_t count)>;
    virtual int addTap(Tap tap) = 0;
    virtual void removeTap(int id) = 0;

    // System: the user's default device through Qt Multimedia, falling back to
    // Null (paced by the clock) when none can be opened; fellBack() then says so.
    static std::unique_ptr<SoundOutput> create(Backend backend);
    virtual bool fellBack() const = 0;
    // How long the device takes to play out what it was given: the sound
    // server's buffer (about 300 ms), 0 for the silent output. A program that
    // ends after its last sound waits this long first.
    virtual int deviceLatencyMs() const { return 0; }

    // As create(System), with the device backend made by `makeDevice` (nullptr:
    // no device), which is given the source to pull from and the call to make
    // when the device is lost. Tests give a fake device this way.
    using DeviceFactory =
        std::function<std::unique_ptr<SoundBackend>(MixSource &source, std::function<void()> onLost)>;
    static std::unique_ptr<SoundOutput> createWithDevice(const DeviceFactory &makeDevice);
};

} // namespace varnelo
