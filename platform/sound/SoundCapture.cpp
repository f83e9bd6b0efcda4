#include "platform/sound/SoundCapture.h"

#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>

namespace varnelo {

CaptureBuffer::CaptureBuffer(SoundFormat format, std::size_t blockFrames, std::function<void()> onBlock)
    : m_format(format), m_blockSamples(blockFrames * static_cast<std::size_t>(format.channels)),
      m_onBlock(std::move(onBlock)) {
    m_partial.reserve(m_blockSamples);
}

bool CaptureBuffer::setInput(int sampleRate, int channels, SampleType type) {
    auto converter = std::make_unique<SoundConverter>(sampleRate, channels, type, m_format.sampleRate,
                                                      m_format.channels, SampleType::Int32);
    if (!converter->valid())
        return false;
    std::lock_guard lock(m_mutex);
    m_converter = std::move(converter);
    return true;
}

void CaptureBuffer::push(const void *data, std::size_t frames) {
    int finished = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_converter || frames == 0)
            return;
        m_converted.clear();
        const std::size_t got = m_converter->convert(data, frames, m_converted);
        finished = append(m_converted.data(), got);
    }
    for (int i = 0; i < finished; ++i)
        m_onBlock();
}

void CaptureBuffer::finish() {
    int finished = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_converter) {
            m_converted.clear();
            const std::size_t got = m_converter->flush(m_converted);
            finished += append(m_converted.data(), got);
        }
        finished += closeBlock();
    }
    for (int i = 0; i < finished; ++i)
        m_onBlock();
}

int CaptureBuffer::append(const Sample *samples, std::size_t frames) {
    const double gain = m_gain;
    const auto channels = static_cast<std::size_t>(m_format.channels);
    const std::size_t total = frames * channels;
    // The extremes in 32 bits (cheap per sample), their magnitudes in 64 at the
    // end: |INT32_MIN| does not fit 32.
    Sample leftLow = 0, leftHigh = 0, rightLow = 0, rightHigh = 0;
    int finished = 0;
    for (std::size_t done = 0; done < total;) {
        // Whole frames into the block that is filling, then its levels.
        const std::size_t n = std::min(total - done, m_blockSamples - m_partial.size());
        const std::size_t start = m_partial.size();
        m_partial.insert(m_partial.end(), samples + done, samples + done + n);
        Sample *p = m_partial.data() + start;
        if (gain != 1.0)
            for (std::size_t k = 0; k < n; ++k)
                p[k] = static_cast<Sample>(std::clamp<double>(std::round(p[k] * gain),
                                                              std::numeric_limits<Sample>::min(),
                                                              std::numeric_limits<Sample>::max()));
        const std::size_t second = channels > 1 ? 1 : 0;
        for (std::size_t k = 0; k < n; k += channels) {
            leftLow = std::min(leftLow, p[k]);
            leftHigh = std::max(leftHigh, p[k]);
            rightLow = std::min(rightLow, p[k + second]);
            rightHigh = std::max(rightHigh, p[k + second]);
        }
        done += n;
        if (m_partial.size() == m_blockSamples)
            finished += closeBlock();
    }
    const std::int64_t left = std::max(-std::int64_t(leftLow), std::int64_t(leftHigh));
    const std::int64_t right = std::max(-std::int64_t(rightLow), std::int64_t(rightHigh));
    m_peaks.left = std::max(m_peaks.left, float(double(left) / 2147483648.0));
    m_peaks.right = std::max(m_peaks.right, float(double(right) / 2147483648.0));
    m_frames += static_cast<std::int64_t>(frames);
    return finished;
}

int CaptureBuffer::closeBlock() {
    if (m_partial.empty())
        return 0;
    m_ready.push_back(std::move(m_partial));
    m_partial = SampleBlock();
    m_partial.reserve(m_blockSamples);
    while (m_ready.size() > MaxKeptBlocks)
        m_ready.pop_front();
    ++m_made;
    return 1;
}

int CaptureBuffer::blocksMade() const {
    std::lock_guard lock(m_mutex);
    return m_made;
}

SampleBlock CaptureBuffer::take() {
    std::lock_guard lock(m_mutex);
    if (m_ready.empty())
        return {};
    SampleBlock block = std::move(m_ready.front());
    m_ready.pop_front();
    return block;
}

std::int64_t CaptureBuffer::frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

SoundLevels CaptureBuffer::takePeaks() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_peaks, SoundLevels{});
}

namespace {

class LoopbackCapture final : public CaptureSource {
public:
    LoopbackCapture(SoundOutput &output, std::shared_ptr<CaptureBuffer> buffer)
        : m_output(output), m_buffer(std::move(buffer)) {}
    ~LoopbackCapture() override { stop(); }

    QString start() override {
        if (!m_buffer->setInput(SoundOutput::MixRate, SoundOutput::MixChannels, SampleType::Float))
            return QStringLiteral("The record format cannot be made from the program's output");
        m_tap = m_output.addTap(
            [buffer = m_buffer](const float *frames, std::size_t count) { buffer->push(frames, count); });
        return {};
    }

    void stop() override {
        if (m_tap) {
            m_output.removeTap(m_tap);
            m_tap = 0;
        }
    }

    void setVolume(double volume) override { m_buffer->setGain(volume); }

private:
    SoundOutput &m_output;
    std::shared_ptr<CaptureBuffer> m_buffer;
    int m_tap = 0;
};

class FeedCapture final : public CaptureSource {
public:
    explicit FeedCapture(std::shared_ptr<CaptureBuffer> buffer)
        : m_buffer(buffer), m_gate(std::make_shared<Gate>()) {
        m_gate->buffer = std::move(buffer);
    }
    ~FeedCapture() override { stop(); }

    QString start() override {
        if (!m_buffer->setInput(SoundOutput::MixRate, SoundOutput::MixChannels, SampleType::Float))
            return QStringLiteral("The record format cannot be made from the program's sound");
        return {};
    }

    void stop() override {
        std::lock_guard lock(m_gate->mutex);
        m_gate->buffer.reset();
    }

    void setVolume(double volume) override { m_buffer->setGain(volume); }

    std::function<void(const float *, std::size_t)> feed() const {
        return [gate = m_gate](const float *frames, std::size_t count) {
            std::lock_guard lock(gate->mutex);
            if (gate->buffer)
                gate->buffer->push(frames, count);
        };
    }

private:
    // Shared with the feeds, which may outlive the source: closed at stop().
    struct Gate {
        std::mutex mutex;
        std::shared_ptr<CaptureBuffer> buffer;
    };
    std::shared_ptr<CaptureBuffer> m_buffer;
    std::shared_ptr<Gate> m_gate;
};

std::optional<SampleType> sampleType(QAudioFormat::SampleFormat format) {
    switch (format) {
    case QAudioFormat::Int16:
        return SampleType::Int16;
    case QAudioFormat::Int32:
        return SampleType::Int32;
    case QAudioFormat::Float:
        return SampleType::Float;
    default:
        return std::nullopt;
    }
}

class SystemCapture final : public CaptureSource {
public:
    SystemCapture(const QAudioDevice &device, SoundFormat wanted, std::shared_ptr<CaptureBuffer> buffer)
        : m_device(device), m_wanted(wanted), m_buffer(std::move(buffer)) {}
    ~SystemCapture() override { stop(); }

    QString start() override {
        const QAudioFormat format = chooseFormat();
        const auto type = sampleType(format.sampleFormat());
        if (!format.isValid() || !type)
            return QStringLiteral("The device offers no usable sample format");
        if (!m_buffer->setInput(format.sampleRate(), format.channelCount(), *type))
            return QStringLiteral("The record format cannot be made from the device's format");
        m_frameBytes = format.bytesPerFrame();
        m_source = std::make_unique<QAudioSource>(m_device, format);
        m_source->setVolume(m_volume);
        m_io = m_source->start();
        if (!m_io || m_source->error() != QAudio::NoError || m_source->state() == QAudio::StoppedState) {
            m_source.reset();
            m_io = nullptr;
            return QStringLiteral("The recording device could not be opened");
        }
        QObject::connect(m_io, &QIODevice::readyRead, m_io, [this] { readAvailable(); });
        return {};
    }

    void stop() override {
        if (!m_source)
            return;
        readAvailable();
        m_source->stop();
        m_source.reset();
        m_io = nullptr;
    }

    void setVolume(double volume) override {
        m_volume = volume;
        if (m_source)
            m_source->setVolume(volume);
    }

private:
    // The device's own format when it cannot give what is asked; the buffer
    // converts either way.
    QAudioFormat chooseFormat() const {
        for (auto sample : {QAudioFormat::Int32, QAudioFormat::Float, QAudioFormat::Int16}) {
            QAudioFormat format;
            format.setSampleRate(m_wanted.sampleRate);
            format.setChannelCount(m_wanted.channels);
            format.setSampleFormat(sample);
            if (m_device.isFormatSupported(format))
                return format;
        }
        return m_device.preferredFormat();
    }

    void readAvailable() {
        if (!m_io)
            return;
        m_pending.append(m_io->readAll());
        const qsizetype frames = m_pending.size() / m_frameBytes;
        if (frames == 0)
            return;
        m_buffer->push(m_pending.constData(), static_cast<std::size_t>(frames));
        m_pending.remove(0, frames * m_frameBytes);
    }

    QAudioDevice m_device;
    SoundFormat m_wanted;
    std::shared_ptr<CaptureBuffer> m_buffer;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice *m_io = nullptr;
    QByteArray m_pending;
    int m_frameBytes = 1;
    double m_volume = 1.0;
};

} // namespace

std::unique_ptr<CaptureSource> createLoopbackCapture(SoundOutput &output,
                                                     std::shared_ptr<CaptureBuffer> buffer) {
    return std::make_unique<LoopbackCapture>(output, std::move(buffer));
}

std::unique_ptr<CaptureSource> createFeedCapture(std::shared_ptr<CaptureBuffer> buffer,
                                                 std::function<void(const float *, std::size_t)> *feed) {
    auto source = std::make_unique<FeedCapture>(std::move(buffer));
    *feed = source->feed();
    return source;
}

std::unique_ptr<CaptureSource> createSystemCapture(const QAudioDevice &device, SoundFormat wanted,
                                                   std::shared_ptr<CaptureBuffer> buffer) {
    return std::make_unique<SystemCapture>(device, wanted, std::move(buffer));
}

} // namespace varnelo
