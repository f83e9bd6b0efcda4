#include "platform/sound/AudioPlayer.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

namespace varnelo {

namespace {

// Full scale of the 32-bit samples; a power of two keeps 16- and 24-bit
// sources exact through the float mixer.
constexpr float SampleScale = 1.0f / 2147483648.0f;
// The channel holds about two seconds; the rest waits in the player. At
// least a second is kept queued: the arrays come from the GUI thread, which a
// busy machine (or a long operation) can keep away for a while. Pause and stop
// act on the channel at once however much it holds.
constexpr qint64 ChannelSeconds = 2;
constexpr qint64 RequestRepeatMs = 200;
constexpr qint64 MinLowWaterMs = 1000;

int levelOf(float peak) {
    return static_cast<int>(std::lround(std::clamp(peak, 0.0f, 1.0f) * 32767.0f));
}

} // namespace

AudioPlayer::AudioPlayer(SoundOutput &output, QObject *parent) : QObject(parent), m_output(output) {
    m_tick.setInterval(TickMs);
    connect(&m_tick, &QTimer::timeout, this, &AudioPlayer::tick);
}

AudioPlayer::~AudioPlayer() = default;

void AudioPlayer::SetPlayFormat(int sampleRate, int channels) {
    if (sampleRate < 1000 || sampleRate > 384000 || channels < 1 || channels > 8) {
        qWarning().noquote()
            << QStringLiteral(
                   "AudioPlayer: unsupported play format %1 Hz, %2 channels; keeping %3 Hz, %4 channels")
                   .arg(sampleRate)
                   .arg(channels)
                   .arg(m_format.sampleRate)
                   .arg(m_format.channels);
        return;
    }
    ++m_generation;
    m_pending.clear();
    m_pendingOffset = 0;
    m_arrayEnds.clear();
    m_boundaries.clear();
    m_queuedTotal = 0;
    m_writtenTotal = 0;
    m_lastArrayFrames = 0;
    m_playedAtStart = 0;
    m_requestArmed = true;
    m_requestUnanswered = false;
    m_endArmed = true;
    const SoundFormat format{sampleRate, channels};
    if (m_channel && m_channel->format() == format) {
        m_channel->clear();
    } else {
        m_format = format;
        m_channel.reset();
        ensureChannel();
    }
}

qint64 AudioPlayer::MillisecondsToSamples(qint64 milliseconds) const {
    return static_cast<qint64>(std::llround(double(milliseconds) * m_format.sampleRate / 1000.0));
}

void AudioPlayer::ensureChannel() {
    if (m_channel)
        return;
    m_channel =
        m_output.openChannel(m_format, static_cast<std::size_t>(m_format.sampleRate * ChannelSeconds));
    if (m_channel)
        m_channel->setPaused(!m_playing);
}

void AudioPlayer::Start() {
    ensureChannel();
    if (!m_channel)
        return;
    m_playing = true;
    pushPending();
    m_playedAtStart = static_cast<qint64>(m_channel->playedFrames());
    m_channel->takePeaks();
    m_channel->setPaused(false);
    m_requestArmed = true;
    m_requestUnanswered = false;
    m_endArmed = true;
    m_sinceTimer.start();
    m_tick.start();
}

void AudioPlayer::Stop() {
    m_playing = false;
    m_tick.stop();
    if (m_channel)
        m_channel->setPaused(true);
}

void AudioPlayer::QueueSamples(const SampleBlock &samples) {
    const auto channels = static_cast<std::size_t>(m_format.channels);
    const std::size_t frames = samples.size() / channels;
    if (frames == 0)
        return;
    std::vector<float> block(frames * channels);
    std::transform(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(block.size()),
                   block.begin(), [](Sample s) { return float(s) * SampleScale; });
    m_pending.push_back(std::move(block));
    m_queuedTotal += static_cast<qint64>(frames);
    m_arrayEnds.push_back(m_queuedTotal);
    m_lastArrayFrames = static_cast<qint64>(frames);
    m_requestArmed = true;
    m_requestUnanswered = false;
    m_endArmed = true;
    ensureChannel();
    pushPending();
}

void AudioPlayer::MarkTrackBoundary() {
    m_boundaries.push_back(m_queuedTotal);
}

void AudioPlayer::pushPending() {
    if (!m_channel)
        return;
    const auto channels = static_cast<std::size_t>(m_format.channels);
    while (!m_pending.empty()) {
        const std::vector<float> &front = m_pending.front();
        const std::size_t frames = front.size() / channels;
        const std::size_t taken =
            m_channel->write(front.data() + m_pendingOffset * channels, frames - m_pendingOffset);
        m_pendingOffset += taken;
        m_writtenTotal += static_cast<qint64>(taken);
        if (m_pendingOffset < frames)
            break;
        m_pending.pop_front();
        m_pendingOffset = 0;
    }
}

qint64 AudioPlayer::pendingFrames() const {
    return m_queuedTotal - m_writtenTotal;
}

qint64 AudioPlayer::QueuedSamples() const {
    return pendingFrames() + (m_channel ? static_cast<qint64>(m_channel->queuedFrames()) : 0);
}

qint64 AudioPlayer::lowWater() const {
    return std::max(2 * m_lastArrayFrames, MillisecondsToSamples(MinLowWaterMs));
}

// Every signal is emitted from here, and a handler may call back into the
// player (queue more, stop, start a new stream): after each emit the loop
// checks that the stream it was working on is still the current one.
void AudioPlayer::tick() {
    if (!m_playing || !m_channel)
        return;
    const quint64 generation = m_generation;
    auto stillCurrent = [&] { return generation == m_generation && m_playing && m_channel; };
    pushPending();

    const auto played = static_cast<qint64>(m_channel->playedFrames());
    // Before the time report, so it already counts in the new track.
    while (!m_boundaries.empty() && m_boundaries.front() <= played) {
        const qint64 at = m_boundaries.front() - m_playedAtStart;
        m_boundaries.pop_front();
        Q_EMIT OnTrackBoundary(at);
        if (!stillCurrent())
            return;
    }
    if (m_sinceTimer.elapsed() >= TimerMs) {
        m_sinceTimer.start();
        const SoundLevels peaks = m_channel->takePeaks();
        Q_EMIT OnTimer(played - m_playedAtStart, levelOf(peaks.left), levelOf(peaks.right));
        if (!stillCurrent())
            return;
    }

    while (!m_arrayEnds.empty() && m_arrayEnds.front() <= played) {
        m_arrayEnds.pop_front();
        Q_EMIT OnEndArrayPlay();
        if (!stillCurrent())
            return;
    }

    ++m_ticksSinceRequest;
    if (!m_requestArmed && m_sinceRequest.isValid() && m_sinceRequest.elapsed() >= RequestRepeatMs)
        m_requestArmed = true;
    // A handler that queues re-arms the request, so small arrays can be asked
    // for several times in one tick.
    for (int i = 0; i < 8 && m_requestArmed && QueuedSamples() < lowWater(); ++i) {
        m_requestArmed = false;
        m_requestUnanswered = true;
        m_ticksSinceRequest = 0;
        m_sinceRequest.start();
        Q_EMIT OnRequestOnLoadArray();
        if (!stillCurrent())
            return;
    }

    if (m_endArmed && m_requestUnanswered && m_ticksSinceRequest >= 1 && m_arrayEnds.empty() &&
        QueuedSamples() == 0) {
        m_endArmed = false;
        Q_EMIT OnEndPlay();
    }
}

} // namespace varnelo
