#pragma once
#include "platform/sound/AudioTypes.h"

#include <QString>
#include <memory>

namespace varnelo {

// Streams any file FFmpeg can decode as interleaved 32-bit frames in the
// source's own rate and channel count. Memory stays flat in the file's length.
//
// length(): exact for PCM WAV/AIFF, FLAC and other containers that store the
// sample count (MP3 with a Xing/LAME frame, Ogg, M4A); for MP3 without one it
// is FFmpeg's estimate (within one frame for constant bit rate). Whenever
// decoding reaches the end the count becomes the decoded one.
// seek(): exact to the frame. It seeks by timestamp to a little before the
// target and decodes and discards up to it; where timestamps are coarse or
// missing it decodes from the start.
class AudioDecoder {
public:
    enum class Failure { None, Open, Format, Decode, Seek };

    ~AudioDecoder();
    AudioDecoder(const AudioDecoder &) = delete;
    AudioDecoder &operator=(const AudioDecoder &) = delete;

    // Null on failure, with *failure and *error set.
    static std::unique_ptr<AudioDecoder> open(const QString &path, Failure *failure, QString *error);

    // Appends up to `frames` frames to `out`; returns the frames appended (0 at the end).
    qint64 read(SampleBlock &out, qint64 frames);
    bool seek(qint64 frame);

    int channels() const;
    int sampleRate() const;
    qint64 length() const;
    qint64 position() const;
    int storedBits() const;
    QString codecName() const;
    // Set when decoding stopped early on damaged data or a read error.
    bool damaged() const;
    QString errorText() const;

private:
    struct Impl;
    explicit AudioDecoder(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

} // namespace varnelo
