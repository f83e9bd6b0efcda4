#pragma once
// Helpers for the MP3/OGG encoder tests: tone generation, an independent look
// at the result through ffprobe/ffmpeg/sox, and readers for the header bytes the
// encoders are expected to write.
#include "platform/audiofile/AudioEncoder.h"
#include "support/AudioCheck.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

namespace varnelo::test {

inline bool haveFfmpeg() {
    return !QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("soxi")).isEmpty();
}

// A sine of `hz` at `amplitude` (0..1 of full scale) on every channel.
inline SampleBlock tone(int rate, int channels, double seconds, double hz = 1000.0, double amplitude = 0.5) {
    const auto frames = static_cast<std::size_t>(std::lround(seconds * rate));
    SampleBlock block(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c)
            block[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                static_cast<Sample>(v * 2147483647.0);
    }
    return block;
}

// Writes `block` in uneven pieces, as AudioFile does with its reads.
inline bool encodeAll(AudioEncoder &encoder, const QString &path, const SampleBlock &block,
                      QString *error = nullptr) {
    const auto channels = static_cast<std::size_t>(encoder.inputFormat().channels);
    bool ok = encoder.open(path);
    const std::size_t frames = block.size() / channels;
    std::size_t done = 0;
    std::size_t piece = 1000;
    while (ok && done < frames) {
        const std::size_t n = std::min(piece, frames - done);
        ok = encoder.write(block.data() + done * channels, n);
        done += n;
        piece = piece * 3 % 20011 + 1;
    }
    ok = ok && encoder.finish();
    if (error)
        *error = encoder.errorText();
    return ok;
}

// The decoded first channel as ffmpeg hears it, measured: tone frequency from
// zero crossings and RMS level (full scale 1.0).
struct Measure {
    double hz = 0;
    double rms = 0;
    std::size_t frames = 0;
};

inline std::optional<Measure> measureDecoded(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                       path, QStringLiteral("-af"), QStringLiteral("pan=mono|c0=c0"),
                                       QStringLiteral("-f"), QStringLiteral("f32le"), QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return std::nullopt;
    const QByteArray raw = p.readAllStandardOutput();
    std::vector<float> s(static_cast<std::size_t>(raw.size()) / sizeof(float));
    std::memcpy(s.data(), raw.constData(), s.size() * sizeof(float));
    int rate = 0;
    if (const AudioFacts probe = probeAudio(path); probe.ok)
        rate = probe.sampleRate;
    if (s.size() < 4 || rate <= 0)
        return std::nullopt;
    // Skip the encoder's fade-in and the tail.
    const std::size_t from = s.size() / 10;
    const std::size_t to = s.size() - s.size() / 10;
    std::size_t crossings = 0;
    double sum = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        if ((s[i - 1] < 0) != (s[i] < 0))
            ++crossings;
        sum += static_cast<double>(s[i]) * s[i];
    }
    Measure m;
    m.frames = s.size();
    m.hz = crossings / 2.0 * rate / static_cast<double>(to - from - 1);
    m.rms = std::sqrt(sum / static_cast<double>(to - from - 1));
    return m;
}

// Frames per channel as sox reads them (libvorbisfile for OGG, which honours
// the last granule position exactly; FFmpeg's decoder does not).
inline long long soxFrames(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("soxi"), {QStringLiteral("-s"), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return -1;
    bool ok = false;
    const long long n = QString::fromUtf8(p.readAllStandardOutput()).trimmed().toLongLong(&ok);
    return ok ? n : -1;
}

inline QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline std::uint32_t be32(const QByteArray &b, qsizetype at) {
    const auto *p = reinterpret_cast<const unsigned char *>(b.constData() + at);
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

inline std::int32_t le32(const QByteArray &b, qsizetype at) {
    const auto *p = reinterpret_cast<const unsigned char *>(b.constData() + at);
    return static_cast<std::int32_t>(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) |
                                     (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24));
}

} // namespace varnelo::test
