#include "platform/sound/SoundOutput.h"
#include "platform/sound/SoundBackend.h"
#include "platform/sound/SoundConverter.h"

#include <QAudio>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace varnelo {

namespace {

constexpr SoundFormat MixFormat{SoundOutput::MixRate, SoundOutput::MixChannels};

// Stereo frames in a fixed circular store; the owner locks.
class FrameRing {
public:
    explicit FrameRing(std::size_t frames) : m_data(frames * 2) {}

    std::size_t size() const { return m_count; }
    std::size_t capacity() const { return m_data.size() / 2; }
    std::size_t free() const { return capacity() - m_count; }
    void clear() { m_head = m_count = 0; }

    // Takes at most free() frames.
    std::size_t push(const float *frames, std::size_t count) {
        count = std::min(count, free());
        std::size_t tail = (m_head + m_count) % capacity();
        for (std::size_t done = 0; done < count;) {
            const std::size_t n = std::min(count - done, capacity() - tail);
            std::copy_n(frames + done * 2, n * 2, m_data.begin() + static_cast<std::ptrdiff_t>(tail * 2));
            done += n;
            tail = (tail + n) % capacity();
        }
        m_count += count;
        return count;
    }

    // Adds up to `count` frames into `out`, tracking the peaks; returns the frames taken.
    std::size_t mixInto(float *out, std::size_t count, SoundLevels &peaks) {
        count = std::min(count, m_count);
        for (std::size_t done = 0; done < count;) {
            const std::size_t n = std::min(count - done, capacity() - m_head);
            const float *in = m_data.data() + m_head * 2;
            float *to = out + done * 2;
            for (std::size_t i = 0; i < n; ++i) {
                to[2 * i] += in[2 * i];
                to[2 * i + 1] += in[2 * i + 1];
                peaks.left = std::max(peaks.left, std::fabs(in[2 * i]));
                peaks.right = std::max(peaks.right, std::fabs(in[2 * i + 1]));
            }
            done += n;
            m_head = (m_head + n) % capacity();
        }
        m_count -= count;
        return count;
    }

private:
    std::vector<float> m_data;
    std::size_t m_head = 0;
    std::size_t m_count = 0;
};

class MixChannel;

// What a channel tells the mixer about itself, so the device can fall silent
// at once on pause and stop although it holds a long stretch of sound. Shared
// with the channels, which may outlive the mixer; detached when it goes.
// Channels call it outside their own lock.
class ChannelEvents {
public:
    virtual ~ChannelEvents() = default;
    // Paused with sound still queued.
    virtual void paused(const MixChannel *channel) = 0;
    // Unpaused, or written to while playing.
    virtual void playing(const MixChannel *channel) = 0;
    // Cleared or closed with sound still queued: that sound is not to be heard.
    virtual void dropped(const MixChannel *channel) = 0;
};

class EventsLink {
public:
    void attach(ChannelEvents *events) {
        std::lock_guard lock(m_mutex);
        m_events = events;
    }
    template <class F> void notify(F f) {
        std::lock_guard lock(m_mutex);
        if (m_events)
            f(*m_events);
    }
    // Set while the device holds sound for one channel, or idles for want of
    // sound: writes then check in.
    std::atomic<bool> held{false};
    std::atomic<bool> idle{false};

private:
    std::mutex m_mutex;
    ChannelEvents *m_events = nullptr;
};

// A channel keeps its sound at the mix format; a converter on the way in
// handles other formats, so the mixer only adds.
class MixChannel final : public SoundChannel {
public:
    MixChannel(SoundFormat format, std::size_t capacityFrames, std::shared_ptr<EventsLink> link)
        : m_format(format), m_ring(ringFrames(format, capacityFrames)), m_link(std::move(link)) {
        if (!(format == MixFormat))
            m_converter =
                std::make_unique<SoundConverter>(format.sampleRate, format.channels, SampleType::Float,
                                                 MixFormat.sampleRate, MixFormat.channels, SampleType::Float);
    }

    ~MixChannel() override {
        if (m_ring.size() > 0)
            m_link->notify([this](ChannelEvents &e) { e.dropped(this); });
    }

    bool usable() const { return !m_converter || m_converter->valid(); }

    SoundFormat format() const override { return m_format; }

    // Sound queued and to be heard when the channel plays.
    bool audible() const {
        std::lock_guard lock(m_mutex);
        return !m_paused && m_ring.size() > 0;
    }

    std::size_t write(const float *frames, std::size_t count) override {
        const std::size_t taken = writeLocked(frames, count);
        if (taken > 0 && (m_link->held || m_link->idle) && !m_paused)
            m_link->notify([this](ChannelEvents &e) { e.playing(this); });
        return taken;
    }

private:
    std::size_t writeLocked(const float *frames, std::size_t count) {
        std::lock_guard lock(m_mutex);
        if (!m_converter) {
            const std::size_t taken = m_ring.push(frames, count);
            m_written += taken;
            return taken;
        }
        // Take only what is sure to fit once converted.
        const double ratio = double(MixFormat.sampleRate) / m_format.sampleRate;
        const double room = double(m_ring.free()) - double(m_converter->maxOutFrames(0)) - 64.0;
        std::size_t n = room > 0 ? std::min(count, static_cast<std::size_t>(room / ratio)) : 0;
        while (n > 0 && m_converter->maxOutFrames(n) > m_ring.free())
            n = n * 7 / 8;
        if (n == 0)
            return 0;
        m_scratch.clear();
        m_converter->convert(frames, n, m_scratch);
        m_ring.push(m_scratch.data(), m_scratch.size() / 2);
        m_written += n;
        return n;
    }

public:
    std::size_t queuedFrames() const override {
        std::lock_guard lock(m_mutex);
        return static_cast<std::size_t>(m_written - playedLocked());
    }

    std::uint64_t playedFrames() const override {
        std::lock_guard lock(m_mutex);
        return playedLocked();
    }

    // Under the lock, so that once it returns no block of this channel is
    // being mixed and none follows.
    void setPaused(bool paused) override {
        bool queued = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_paused == paused)
                return;
            m_paused = paused;
            queued = m_ring.size() > 0;
        }
        if (paused && queued)
            m_link->notify([this](ChannelEvents &e) { e.paused(this); });
        else if (!paused)
            m_link->notify([this](ChannelEvents &e) { e.playing(this); });
    }
    bool paused() const override { return m_paused; }

    void clear() override {
        bool queued = false;
        {
            std::lock_guard lock(m_mutex);
            queued = m_ring.size() > 0;
            m_ring.clear();
            m_written = 0;
            m_mixed = 0;
            if (m_converter)
                m_converter->reset();
        }
        if (queued)
            m_link->notify([this](ChannelEvents &e) { e.dropped(this); });
    }

    SoundLevels takePeaks() override {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_peaks, SoundLevels{});
    }

    // Mixer thread. Returns the frames added.
    std::size_t mixInto(float *out, std::size_t frames) {
        std::lock_guard lock(m_mutex);
        if (m_paused)
            return 0;
        std::size_t got = m_ring.mixInto(out, frames, m_peaks);
        // Run dry: the writer has stopped (or is late). Play out what the
        // resampler still holds instead of keeping it back for good.
        if (got < frames && m_converter && m_converter->delayFrames() > 0) {
            m_scratch.clear();
            m_converter->flush(m_scratch);
            m_ring.push(m_scratch.data(), m_scratch.size() / 2);
            got += m_ring.mixInto(out + got * 2, frames - got, m_peaks);
        }
        m_mixed += got;
        return got;
    }

private:
    static std::size_t ringFrames(SoundFormat format, std::size_t capacityFrames) {
        if (format == MixFormat)
            return std::max<std::size_t>(capacityFrames, 1);
        const double ratio = double(MixFormat.sampleRate) / std::max(format.sampleRate, 1);
        // Slack for the resampler's own delay and its flush at the end.
        return static_cast<std::size_t>(std::ceil(double(capacityFrames) * ratio)) + 4096;
    }

    // Counted in the channel's frames. Without conversion it is exact; with it,
    // the mixed frames are scaled back, and an empty channel has played all.
    std::uint64_t playedLocked() const {
        if (!m_converter)
            return m_mixed;
        if (m_ring.size() == 0 && m_converter->delayFrames() == 0)
            return m_written;
        const auto scaled = static_cast<std::uint64_t>(
            std::llround(double(m_mixed) * m_format.sampleRate / MixFormat.sampleRate));
        return std::min(scaled, m_written > 0 ? m_written - 1 : 0);
    }

    const SoundFormat m_format;
    mutable std::mutex m_mutex;
    FrameRing m_ring;
    std::unique_ptr<SoundConverter> m_converter;
    std::vector<float> m_scratch;
    std::uint64_t m_written = 0;
    std::uint64_t m_mixed = 0;
    SoundLevels m_peaks;
    std::atomic<bool> m_paused{false};
    std::shared_ptr<EventsLink> m_link;
};

class MixerOutput final : public SoundOutput, private MixSource, private ChannelEvents {
public:
    MixerOutput() { m_link->attach(this); }
    ~MixerOutput() override {
        m_link->attach(nullptr);
        // The device first: after its stop() it cannot report a loss any more.
        if (m_backend)
            m_backend->stop();
        std::unique_ptr<SoundBackend> replacement;
        {
            std::lock_guard lock(m_backendMutex);
            replacement = std::move(m_replacement);
        }
        if (replacement)
            replacement->stop();
    }

    // Called once, before the backend is started.
    void setBackend(std::unique_ptr<SoundBackend> backend) {
        std::lock_guard lock(m_backendMutex);
        m_backend = std::move(backend);
    }
    SoundBackend &backend() { return *m_backend; }
    void setFellBack() { m_fellBack = true; }
    MixSource &source() { return *this; }

    // On the device's thread: the sound goes on, silently, so that players
    // still advance and reach their end.
    void deviceLost() {
        std::lock_guard lock(m_backendMutex);
        if (m_replacement)
            return;
        m_replacement = createNullBackend(*this);
        m_replacement->start();
        m_fellBack = true;
    }

    std::shared_ptr<SoundChannel> openChannel(SoundFormat format, std::size_t capacityFrames) override {
        auto channel = std::make_shared<MixChannel>(format, capacityFrames, m_link);
        if (!channel->usable())
            return nullptr;
        std::lock_guard lock(m_channelsMutex);
        m_channels.push_back(channel);
        return channel;
    }

    void setVolume(int volume) override {
        volume = std::clamp(volume, 0, 100);
        m_volume = volume;
        m_gain = QAudio::convertVolume(float(volume) / 100.0f, QAudio::LogarithmicVolumeScale,
                                       QAudio::LinearVolumeScale);
    }
    int volume() const override { return m_volume; }

    SoundLevels takeOutputPeaks() override {
        std::lock_guard lock(m_peaksMutex);
        return std::exchange(m_peaks, SoundLevels{});
    }

    QString backendName() const override {
        std::lock_guard lock(m_backendMutex);
        const SoundBackend *active = m_replacement ? m_replacement.get() : m_backend.get();
        return active ? active->name() : QString();
    }
    bool fellBack() const override { return m_fellBack; }
    int deviceLatencyMs() const override {
        std::lock_guard lock(m_backendMutex);
        return m_replacement || !m_backend ? 0 : m_backend->latencyMs();
    }

    int addTap(Tap tap) override {
        int id = 0;
        {
            std::lock_guard lock(m_tapsMutex);
            id = ++m_lastTap;
            m_taps.emplace(id, std::move(tap));
        }
        if (m_link->idle.exchange(false))
            wakeBackend();
        return id;
    }

    void removeTap(int id) override {
        std::lock_guard lock(m_tapsMutex);
        m_taps.erase(id);
    }

private:
    // The device to act on: none once it was lost (the silent replacement
    // holds nothing). Called under m_link's lock, so calls come in order.
    SoundBackend *device() {
        std::lock_guard lock(m_backendMutex);
        return m_replacement ? nullptr : m_backend.get();
    }

    // Whether a channel other than `except` has sound to be heard.
    bool othersAudible(const MixChannel *except) {
        std::lock_guard lock(m_channelsMutex);
        for (const auto &weak : m_channels)
            if (auto channel = weak.lock(); channel && channel.get() != except && channel->audible())
                return true;
        return false;
    }

    void paused(const MixChannel *channel) override {
        if (othersAudible(channel))
            return; // the others play on; this one's last moments with them
        if (SoundBackend *d = device())
            d->hold();
        m_heldFor = channel;
        m_link->held = true;
    }

    void wakeBackend() {
        std::lock_guard lock(m_backendMutex);
        if (m_replacement)
            m_replacement->wake();
        else if (m_backend)
            m_backend->wake();
    }

    // The mixer's thread: no tap, and no channel with sound to play.
    bool idle() override {
        {
            std::lock_guard lock(m_tapsMutex);
            if (!m_taps.empty())
                return false;
        }
        // Raised before the channels are looked at: a write after the look wakes the device.
        m_link->idle = true;
        // Strong references taken under the list's lock and let go outside it, as in mix().
        {
            std::lock_guard lock(m_channelsMutex);
            for (const auto &weak : m_channels)
                if (auto channel = weak.lock())
                    m_live.push_back(std::move(channel));
        }
        const bool quiet =
            std::none_of(m_live.begin(), m_live.end(), [](const auto &c) { return c->audible(); });
        m_live.clear();
        if (!quiet)
            m_link->idle = false;
        return quiet;
    }

    void playing(const MixChannel *channel) override {
        if (m_link->idle.exchange(false))
            wakeBackend();
        if (!m_link->held)
            return;
        m_link->held = false;
        SoundBackend *d = device();
        if (!d)
            return;
        // What the device holds is the rest of what this channel played; for
        // any other channel it is stale.
        if (channel == m_heldFor)
            d->resume();
        else
            d->discard();
        m_heldFor = nullptr;
    }

    void dropped(const MixChannel *channel) override {
        if (!m_link->held && othersAudible(channel))
            return;
        if (SoundBackend *d = device())
            d->discard();
        m_link->held = false;
        m_heldFor = nullptr;
    }

    void mix(float *out, std::size_t frames) override {
        std::fill_n(out, frames * MixChannels, 0.0f);
        // The channels are mixed holding strong references taken under the
        // list's lock, so none is destroyed (and reports) under that lock.
        m_live.clear();
        {
            std::lock_guard lock(m_channelsMutex);
            for (auto it = m_channels.begin(); it != m_channels.end();) {
                if (auto channel = it->lock()) {
                    m_live.push_back(std::move(channel));
                    ++it;
                } else {
                    it = m_channels.erase(it);
                }
            }
        }
        std::size_t mixed = 0;
        for (const auto &channel : m_live)
            mixed += channel->mixInto(out, frames);
        m_live.clear();
        {
            std::lock_guard lock(m_tapsMutex);
            for (auto &[id, tap] : m_taps)
                tap(out, frames);
        }
        if (mixed == 0)
            return; // silence: nothing to scale or measure (the output that nobody hears idles here)
        const float gain = m_gain;
        if (gain != 1.0f)
            for (std::size_t i = 0; i < frames * MixChannels; ++i)
                out[i] *= gain;
        SoundLevels peaks;
        for (std::size_t i = 0; i < frames; ++i) {
            peaks.left = std::max(peaks.left, std::fabs(out[2 * i]));
            peaks.right = std::max(peaks.right, std::fabs(out[2 * i + 1]));
        }
        std::lock_guard lock(m_peaksMutex);
        m_peaks.left = std::max(m_peaks.left, peaks.left);
        m_peaks.right = std::max(m_peaks.right, peaks.right);
    }

    mutable std::mutex m_backendMutex;
    std::unique_ptr<SoundBackend> m_backend;
    std::unique_ptr<SoundBackend> m_replacement;
    std::atomic<bool> m_fellBack{false};
    std::mutex m_channelsMutex;
    std::vector<std::weak_ptr<MixChannel>> m_channels;
    std::vector<std::shared_ptr<MixChannel>> m_live; // mixer thread only
    std::shared_ptr<EventsLink> m_link = std::make_shared<EventsLink>();
    const MixChannel *m_heldFor = nullptr; // under m_link's lock
    std::mutex m_tapsMutex;
    std::map<int, Tap> m_taps;
    int m_lastTap = 0;
    std::atomic<int> m_volume{100};
    std::atomic<float> m_gain{1.0f};
    std::mutex m_peaksMutex;
    SoundLevels m_peaks;
};

} // namespace

std::unique_ptr<SoundOutput> SoundOutput::create(Backend backend) {
    if (backend == Backend::System)
        return createWithDevice(&createSystemBackend);
    auto output = std::make_unique<MixerOutput>();
    output->setBackend(createNullBackend(output->source()));
    output->backend().start();
    return output;
}

std::unique_ptr<SoundOutput> SoundOutput::createWithDevice(const DeviceFactory &makeDevice) {
    auto output = std::make_unique<MixerOutput>();
    MixerOutput *self = output.get();
    if (auto device = makeDevice(output->source(), [self] { self->deviceLost(); })) {
        output->setBackend(std::move(device));
        if (output->backend().start())
            return output;
    }
    output->setFellBack();
    output->setBackend(createNullBackend(output->source()));
    output->backend().start();
    return output;
}

} // namespace varnelo
