#pragma once
#include "platform/sound/AudioTypes.h"
#include "platform/sound/SoundOutput.h"
#include "support/Tone.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <cmath>
#include <cstdint>
#include <mutex>
#include <numbers>
#include <vector>

namespace varnelo::soundtest {

// Collects everything the mixer hands to its taps (stereo float).
class TapRecorder {
public:
    explicit TapRecorder(SoundOutput &output) : m_output(output) {
        m_id = output.addTap([this](const float *frames, std::size_t count) {
            std::lock_guard lock(m_mutex);
            m_data.insert(m_data.end(), frames, frames + count * 2);
        });
    }
    ~TapRecorder() { m_output.removeTap(m_id); }

    std::vector<float> data() const {
        std::lock_guard lock(m_mutex);
        return m_data;
    }
    std::size_t frames() const {
        std::lock_guard lock(m_mutex);
        return m_data.size() / 2;
    }
    // A channel counts frames as played while the mixer is still on its way to
    // the taps: let the block in progress (and one more) arrive.
    bool settle() const {
        const std::size_t now = frames();
        return QTest::qWaitFor([&] { return frames() >= now + 2 * SoundOutput::MixRate / 100; }, 20000);
    }

private:
    SoundOutput &m_output;
    int m_id = 0;
    mutable std::mutex m_mutex;
    std::vector<float> m_data;
};

// A sine of 16-bit values placed in the upper half of 32-bit samples, so it is
// exact through the float mixer; every channel carries the same signal.
inline SampleBlock toneBlock(double hz, int rate, int channels, std::int64_t firstFrame, std::int64_t frames,
                             int amplitude16 = 16000) {
    SampleBlock block;
    block.reserve(static_cast<std::size_t>(frames * channels));
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = double(firstFrame + i) / rate;
        const auto v =
            static_cast<std::int32_t>(std::lround(amplitude16 * std::sin(2 * std::numbers::pi * hz * t)));
        for (int c = 0; c < channels; ++c)
            block.push_back(v * 65536);
    }
    return block;
}

inline std::vector<float> toFloat(const SampleBlock &block) {
    std::vector<float> out(block.size());
    for (std::size_t i = 0; i < block.size(); ++i)
        out[i] = float(block[i]) / 2147483648.0f;
    return out;
}

// Frequency of the one channel `channel` of interleaved data, from the upward
// zero crossings between the first and the last one.
template <class T> double measureFrequency(const std::vector<T> &data, int channels, int channel, int rate) {
    const std::size_t frames = data.size() / static_cast<std::size_t>(channels);
    return test::zeroCrossingFrequency(data.data(), 0, frames, std::size_t(channels), std::size_t(channel),
                                       rate);
}

// Index of the first frame whose samples are not all zero, or -1.
template <class T> std::int64_t firstSound(const std::vector<T> &data, int channels) {
    for (std::size_t i = 0; i < data.size(); ++i)
        if (data[i] != T(0))
            return static_cast<std::int64_t>(i / static_cast<std::size_t>(channels));
    return -1;
}

inline bool onGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Generous: the machine is shared and may be slow, and sanitizers slow it more.
constexpr int WaitMs = 20000;

} // namespace varnelo::soundtest
