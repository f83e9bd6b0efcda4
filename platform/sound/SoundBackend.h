#pragma once
#include <QString>
#include <cstddef>
#include <functional>
#include <memory>

// Internal to the sound output: where the mixed sound goes.
namespace varnelo {

// What a backend pulls from: the next `frames` frames of interleaved stereo
// float at SoundOutput::MixRate, master volume applied. Called on the
// backend's own thread only.
class MixSource {
public:
    virtual ~MixSource() = default;
    virtual void mix(float *out, std::size_t frames) = 0;
    // Nothing to mix until a channel plays or a tap comes (the backend is then
    // woken): a device that needs no steady stream of silence may idle.
    virtual bool idle() { return false; }
};

class SoundBackend {
public:
    virtual ~SoundBackend() = default;
    virtual QString name() const = 0;
    // Starts pulling from the source on the backend's thread; false when the
    // device cannot be opened.
    virtual bool start() = 0;
    // Returns once the source is no longer called.
    virtual void stop() = 0;

    // A device that keeps a long stretch of sound (to ride out a busy machine)
    // must still fall silent at once on pause and stop. hold() silences it at
    // once and keeps what it holds, which resume() plays on from where it
    // stopped; discard() silences it at once and drops what it holds. Callable
    // from any thread; a device without a queue of its own does nothing.
    // How long what the device was given takes to play out.
    virtual int latencyMs() const { return 0; }
    virtual void hold() {}
    virtual void resume() {}
    virtual void discard() {}
    // The source has something to mix again (see MixSource::idle).
    virtual void wake() {}
};

// Discards the sound, pulling blocks at the pace of the steady clock so
// positions advance as on a device.
std::unique_ptr<SoundBackend> createNullBackend(MixSource &source);
// The user's default output device through Qt Multimedia; nullptr when the
// system offers none. onLost is called on the backend's thread when the device
// fails while playing (the sound server went away): the source is no longer
// pulled from then on.
std::unique_ptr<SoundBackend> createSystemBackend(MixSource &source, std::function<void()> onLost);

} // namespace varnelo
