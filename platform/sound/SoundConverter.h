#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct SwrContext;

namespace varnelo {

// Sample layouts the sound paths exchange: float -1..1 in the mixer, integers at
// the components and the capture devices.
enum class SampleType { Float, Int16, Int32 };

// Rate, channel and sample-type conversion of interleaved audio, on
// libswresample. Mono is spread to both sides at unity and stereo is folded to
// mono at half each, as a player would; wider layouts use the library's
// downmix. Not thread-safe: the owner serialises its calls.
class SoundConverter {
public:
    SoundConverter(int inRate, int inChannels, SampleType inType, int outRate, int outChannels,
                   SampleType outType);
    ~SoundConverter();
    SoundConverter(const SoundConverter &) = delete;
    SoundConverter &operator=(const SoundConverter &) = delete;

    bool valid() const { return m_swr != nullptr; }
    int inRate() const { return m_inRate; }
    int outRate() const { return m_outRate; }
    int outChannels() const { return m_outChannels; }

    // Appends the converted frames to `out`; returns the frames appended. The
    // resampler may hold a few input frames back until more come or flush().
    template <class T> std::size_t convert(const void *in, std::size_t frames, std::vector<T> &out) {
        return convertRaw(in, frames, out);
    }
    // Pushes out what the resampler holds back, then starts afresh.
    template <class T> std::size_t flush(std::vector<T> &out) { return convertRaw(nullptr, 0, out); }
    // Input frames held inside the resampler.
    std::int64_t delayFrames() const;
    // Most output frames `frames` more input frames can produce.
    std::size_t maxOutFrames(std::size_t frames) const;
    // Forgets what is held back.
    void reset();

private:
    template <class T> std::size_t convertRaw(const void *in, std::size_t frames, std::vector<T> &out);
    int run(const void *in, int frames, std::uint8_t *out, int capacity);

    struct SwrFree {
        void operator()(SwrContext *c) const;
    };
    std::unique_ptr<SwrContext, SwrFree> m_swr;
    int m_inRate;
    int m_outRate;
    int m_outChannels;
};

template <class T>
std::size_t SoundConverter::convertRaw(const void *in, std::size_t frames, std::vector<T> &out) {
    if (!m_swr)
        return 0;
    const std::size_t room = maxOutFrames(frames) + 16;
    const std::size_t old = out.size();
    out.resize(old + room * static_cast<std::size_t>(m_outChannels));
    const int made = run(in, static_cast<int>(frames), reinterpret_cast<std::uint8_t *>(out.data() + old),
                         static_cast<int>(room));
    const std::size_t got = made > 0 ? static_cast<std::size_t>(made) : 0;
    out.resize(old + got * static_cast<std::size_t>(m_outChannels));
    if (!in)
        reset();
    return got;
}

} // namespace varnelo
