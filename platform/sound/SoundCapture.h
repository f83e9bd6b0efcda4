#pragma once
#include "platform/sound/AudioTypes.h"
#include "platform/sound/SoundConverter.h"
#include "platform/sound/SoundOutput.h"

#include <QAudioDevice>
#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Internal to the recorder: where captured sound comes from, and how it is cut
// into blocks.
namespace varnelo {

// Turns captured sound of any layout into blocks of the record format. Sources
// push from their own thread (the mixer's, or the GUI thread); the recorder
// takes blocks on the GUI thread. onBlock is called, outside the lock, after
// each finished block.
class CaptureBuffer {
public:
    static constexpr std::size_t MaxKeptBlocks = 50;

    CaptureBuffer(SoundFormat format, std::size_t blockFrames, std::function<void()> onBlock);

    // The layout pushes will come in; false when it cannot be converted.
    bool setInput(int sampleRate, int channels, SampleType type);
    // Multiplies what is captured; 1 leaves it untouched.
    void setGain(double gain) { m_gain = gain; }
    void push(const void *data, std::size_t frames);
    // Hands out what the resampler holds and the partial block.
    void finish();

    // Blocks finished since the start, taken or not.
    int blocksMade() const;
    SampleBlock take();
    // Frames recorded (finished or partial) since the start.
    std::int64_t frames() const;
    SoundLevels takePeaks();

private:
    // Both under the lock; return how many blocks they finished.
    int append(const Sample *samples, std::size_t frames);
    int closeBlock();

    const SoundFormat m_format;
    const std::size_t m_blockSamples;
    const std::function<void()> m_onBlock;
    std::atomic<double> m_gain{1.0};
    mutable std::mutex m_mutex;
    std::unique_ptr<SoundConverter> m_converter;
    std::vector<Sample> m_converted;
    SampleBlock m_partial;
    std::deque<SampleBlock> m_ready;
    int m_made = 0;
    std::int64_t m_frames = 0;
    SoundLevels m_peaks;
};

class CaptureSource {
public:
    virtual ~CaptureSource() = default;
    // Empty on success, else why the device could not be opened.
    virtual QString start() = 0;
    // Once this returns nothing more is pushed.
    virtual void stop() = 0;
    // 0..1 onto the device's capture level.
    virtual void setVolume(double volume) = 0;
};

// "Program output": a tap on the sound output.
std::unique_ptr<CaptureSource> createLoopbackCapture(SoundOutput &output,
                                                     std::shared_ptr<CaptureBuffer> buffer);
// Sound the program pushes itself through *feed (interleaved stereo float at
// MixRate, from any thread); after stop() the feed drops what it is given.
std::unique_ptr<CaptureSource> createFeedCapture(std::shared_ptr<CaptureBuffer> buffer,
                                                 std::function<void(const float *, std::size_t)> *feed);
// A capture device of the system through Qt Multimedia; lives on the GUI thread.
std::unique_ptr<CaptureSource> createSystemCapture(const QAudioDevice &device, SoundFormat wanted,
                                                   std::shared_ptr<CaptureBuffer> buffer);

// A monitor source of the sound server: what one of its outputs plays.
struct MonitorSource {
    QByteArray name;
    QString description;
};
// The PulseAudio server's monitor sources; none when no server answers within timeoutMs.
std::vector<MonitorSource> listMonitorSources(int timeoutMs = 1500);
// Reads the monitor on a thread of its own.
std::unique_ptr<CaptureSource> createMonitorCapture(const MonitorSource &source, SoundFormat wanted,
                                                    std::shared_ptr<CaptureBuffer> buffer);

} // namespace varnelo
