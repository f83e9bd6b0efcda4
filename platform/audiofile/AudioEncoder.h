#pragma once
#include "platform/sound/AudioTypes.h"
#include "platform/sound/SoundOutput.h"

#include <QString>
#include <memory>

namespace varnelo {

class AudioFile2LameEnc;

// One output format's writer behind AudioFile's output side. AudioFile
// resamples and mixes the blocks it is given to inputFormat() before write().
class AudioEncoder {
public:
    virtual ~AudioEncoder() = default;
    virtual SoundFormat inputFormat() const = 0;
    virtual bool open(const QString &path) = 0;
    virtual bool write(const Sample *interleaved, std::size_t frames) = 0;
    // Flushes and completes headers; false when the file could not be completed.
    virtual bool finish() = 0;
    // A stop part way (the user's, a signal): work still under way may be
    // dropped rather than waited for, and audio written after it is let go;
    // finish() then completes the file as what it holds, never as the whole.
    virtual void stop() {}
    virtual QString errorText() const = 0;
};

// The OGG format as the settings give it: bit rates in kbps (-1 unset),
// quality 0..1000 for quality mode (-1 for managed bit rate).
struct OggFormat {
    int sampleRate = 44100;
    int channels = 2;
    int kbps = 128;
    int minKbps = -1;
    int maxKbps = -1;
    int quality = -1;
};

// FLAC as the settings give it. Rate and channels are the blocks' own, so a
// lossless source stays sample for sample what it was.
struct FlacFormat {
    int sampleRate = 44100;
    int channels = 2;
    int bits = 16; // 16 or 24; the blocks are rounded to it
    int level = 5; // compression level 0 (fastest) .. 8 (smallest)
};

// Ogg Opus as the settings give it. Opus runs at 48 kHz; AudioFile resamples
// the blocks to it.
struct OpusFormat {
    enum class Mode { Vbr = 0, Cvbr = 1, Cbr = 2 };
    int channels = 2;
    int kbps = 128; // 6..510
    Mode mode = Mode::Vbr;
    int complexity = 10; // 0 (fastest) .. 10 (best)
};

// How one MP3 or FLAC file is spread over cores: segments of `segmentFrames`
// MP3 frames or FLAC blocks (0: the default) encoded side by side on `threads`
// threads and joined into one stream. One thread, or MP3 settings that make
// LAME resample, encode in one pass, as the library alone does.
struct EncoderThreads {
    int threads = 1;
    int segmentFrames = 0;
};

// Implemented with LAME; the blocks arrive in `input` format and LAME resamples
// to what the settings ask for.
std::unique_ptr<AudioEncoder> createMp3Encoder(const AudioFile2LameEnc &settings, SoundFormat input,
                                               EncoderThreads threads = {});
// Implemented with libvorbisenc/libogg.
std::unique_ptr<AudioEncoder> createOggEncoder(const OggFormat &format);
// Implemented with libFLAC; the MD5 of the audio is set in STREAMINFO.
std::unique_ptr<AudioEncoder> createFlacEncoder(const FlacFormat &format, EncoderThreads threads = {});
// Implemented with libopusenc; the header's pre-skip and the last page's
// granule position make a decoder play exactly the frames written.
std::unique_ptr<AudioEncoder> createOpusEncoder(const OpusFormat &format);
// Why the encoder cannot write the format, for the user; empty when it can.
QString flacFormatProblem(const FlacFormat &format);
QString opusFormatProblem(const OpusFormat &format);
// Asks libvorbisenc whether the combination can be encoded.
bool checkOggFormat(const OggFormat &format);

} // namespace varnelo
