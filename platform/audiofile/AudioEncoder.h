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

// Implemented with LAME; the blocks arrive in `input` format and LAME resamples
// to what the settings ask for.
std::unique_ptr<AudioEncoder> createMp3Encoder(const AudioFile2LameEnc &settings, SoundFormat input);
// Implemented with libvorbisenc/libogg.
std::unique_ptr<AudioEncoder> createOggEncoder(const OggFormat &format);
// Asks libvorbisenc whether the combination can be encoded.
bool checkOggFormat(const OggFormat &format);

} // namespace varnelo
