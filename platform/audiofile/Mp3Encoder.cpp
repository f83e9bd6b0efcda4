#include "platform/audiofile/AudioEncoder.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/audiofile/LameSession.h"
#include "platform/sound/SoundConverter.h"

#include <QFile>

#include <algorithm>
#include <memory>
#include <vector>

namespace varnelo {

namespace {

// Frames handed to LAME per call: keeps the output buffer small and fixed.
constexpr std::size_t ChunkFrames = 8192;
constexpr std::size_t Mp3BufferBytes = lameBufferBytes(ChunkFrames);

class LameMp3Encoder final : public AudioEncoder {
public:
    LameMp3Encoder(const AudioFile2LameEnc &settings, SoundFormat input)
        : m_input(input), m_settings(settings.effectiveSettings()), m_buffer(Mp3BufferBytes) {}

    ~LameMp3Encoder() override {
        // An unfinished file keeps what was encoded so far.
        if (m_file.isOpen())
            m_file.close();
    }

    SoundFormat inputFormat() const override { return m_input; }

    bool open(const QString &path) override {
        m_error.clear();
        m_finished = false;
        m_file.close();
        m_lame.reset();
        if (!m_settings.ok()) {
            m_error = m_settings.error;
            return false;
        }
        m_lame = startLame(m_settings.settings, m_input, m_settings.settings.writeVbrHeader, &m_error);
        if (!m_lame)
            return false;
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_error = QStringLiteral("Cannot create \"%1\": %2").arg(path, m_file.errorString());
            m_lame.reset();
            return false;
        }
        return true;
    }

    bool write(const Sample *interleaved, std::size_t frames) override {
        if (!m_lame || !m_file.isOpen()) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("The MP3 file is not open.");
            return false;
        }
        while (frames > 0) {
            const std::size_t n = std::min(frames, ChunkFrames);
            const int bytes =
                lameEncode(m_lame.get(), m_input.channels, interleaved, n, m_buffer.data(), m_buffer.size());
            if (bytes < 0) {
                m_error = QStringLiteral("The MP3 encoder failed (code %1).").arg(bytes);
                return false;
            }
            if (!put(bytes))
                return false;
            interleaved += n * static_cast<std::size_t>(m_input.channels);
            frames -= n;
        }
        return true;
    }

    bool finish() override {
        if (m_finished)
            return m_error.isEmpty();
        if (!m_lame || !m_file.isOpen()) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("The MP3 file is not open.");
            return false;
        }
        m_finished = true;
        const int bytes = lame_encode_flush(m_lame.get(), m_buffer.data(), static_cast<int>(m_buffer.size()));
        bool ok = bytes >= 0 && put(bytes);
        if (bytes < 0)
            m_error = QStringLiteral("The MP3 encoder failed to flush (code %1).").arg(bytes);
        // LAME reserved the first frame for the Xing/LAME info frame; it only
        // knows the frame count, sizes and gain once everything is encoded.
        if (ok && m_settings.settings.writeVbrHeader) {
            std::vector<unsigned char> tag(8192);
            const std::size_t size = lame_get_lametag_frame(m_lame.get(), tag.data(), tag.size());
            if (size > tag.size()) {
                m_error = QStringLiteral("The MP3 info frame does not fit its buffer.");
                ok = false;
            } else if (size > 0) {
                const qint64 end = m_file.pos();
                ok = m_file.seek(0) &&
                     m_file.write(reinterpret_cast<const char *>(tag.data()), static_cast<qint64>(size)) ==
                         static_cast<qint64>(size) &&
                     m_file.seek(end);
                if (!ok)
                    m_error = QStringLiteral("Cannot write the MP3 info frame: %1").arg(m_file.errorString());
            }
        }
        if (!m_file.flush() && ok) {
            m_error = QStringLiteral("Cannot write the MP3 file: %1").arg(m_file.errorString());
            ok = false;
        }
        m_file.close();
        m_lame.reset();
        return ok;
    }

    QString errorText() const override { return m_error; }

private:
    bool put(int bytes) {
        if (bytes > 0 && m_file.write(reinterpret_cast<const char *>(m_buffer.data()), bytes) != bytes) {
            m_error = QStringLiteral("Cannot write the MP3 file: %1").arg(m_file.errorString());
            return false;
        }
        return true;
    }

    SoundFormat m_input;
    LameCommandLineResult m_settings;
    LamePtr m_lame;
    QFile m_file;
    std::vector<unsigned char> m_buffer;
    QString m_error;
    bool m_finished = false;
};

// Segments at another output rate. LAME's own resampler carries its phase and
// filter history from frame to frame, and an input cut on its frames' edges
// would fall between samples; segments started apart would share neither.
// One resampler over the whole stream, ahead of the cut, gives every segment
// the audio a continuous encode at the output rate sees, and the segments'
// instances then encode at their own rate.
class ResampledMp3Encoder final : public AudioEncoder {
public:
    ResampledMp3Encoder(const LameSettings &settings, SoundFormat input, EncoderThreads threads)
        : m_input(input), m_converter(input.sampleRate, input.channels, SampleType::Int32,
                                      settings.outputSampleRate, input.channels, SampleType::Int32),
          m_segments(createSegmentedMp3Encoder(
              settings, SoundFormat{settings.outputSampleRate, input.channels}, threads)) {}

    SoundFormat inputFormat() const override { return m_input; }

    bool open(const QString &path) override {
        if (!m_converter.valid()) {
            m_error = QStringLiteral("Cannot resample %1 Hz to %2 Hz for MP3.")
                          .arg(m_input.sampleRate)
                          .arg(m_converter.outRate());
            return false;
        }
        m_error.clear();
        m_converter.reset();
        return m_segments->open(path);
    }
    bool write(const Sample *interleaved, std::size_t frames) override {
        m_resampled.clear();
        return m_converter.convert(interleaved, frames, m_resampled) == 0 || pass();
    }
    bool finish() override {
        m_resampled.clear();
        const bool tail = m_converter.flush(m_resampled) == 0 || pass();
        return m_segments->finish() && tail;
    }
    void stop() override { m_segments->stop(); }
    QString errorText() const override { return m_error.isEmpty() ? m_segments->errorText() : m_error; }

private:
    bool pass() {
        return m_segments->write(m_resampled.data(), m_resampled.size() / std::size_t(m_input.channels));
    }

    const SoundFormat m_input;
    SoundConverter m_converter;
    std::unique_ptr<AudioEncoder> m_segments;
    std::vector<Sample> m_resampled;
    QString m_error;
};

} // namespace

std::unique_ptr<AudioEncoder> createMp3Encoder(const AudioFile2LameEnc &settings, SoundFormat input,
                                               EncoderThreads threads) {
    const LameCommandLineResult effective = settings.effectiveSettings();
    const int rate = effective.settings.outputSampleRate;
    if (threads.threads > 1 && effective.ok() && (rate == 0 || rate == input.sampleRate))
        return createSegmentedMp3Encoder(effective.settings, input, threads);
    if (threads.threads > 1 && effective.ok())
        return std::make_unique<ResampledMp3Encoder>(effective.settings, input, threads);
    return std::make_unique<LameMp3Encoder>(settings, input);
}

} // namespace varnelo
