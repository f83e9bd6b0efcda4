#pragma once
// One LAME encoder set up from the settings, shared by the single-pass and the
// segmented MP3 writers so both make the same frames from the same audio.
#include "platform/audiofile/AudioEncoder.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/sound/SoundOutput.h"

#include <QString>
#include <lame/lame.h>
#include <memory>

namespace varnelo {

struct LameDeleter {
    void operator()(lame_global_flags *g) const { lame_close(g); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameDeleter>;

// An initialised encoder for `input` blocks, or null with `error` set.
// `infoFrame` false leaves the Xing/LAME frame out whatever the settings say.
LamePtr startLame(const LameSettings &settings, SoundFormat input, bool infoFrame, QString *error);

// Encodes `frames` interleaved frames; bytes written to `out` (at least
// lameBufferBytes(frames) long), or LAME's negative code.
int lameEncode(lame_global_flags *g, int channels, const Sample *interleaved, std::size_t frames,
               unsigned char *out, std::size_t outSize);

// LAME's documented worst case for `frames`: 1.25 × samples + 7200 bytes.
constexpr std::size_t lameBufferBytes(std::size_t frames) {
    return frames * 5 / 4 + 7200;
}

// The MP3 writer that encodes segments of one stream side by side.
std::unique_ptr<AudioEncoder> createSegmentedMp3Encoder(const LameSettings &settings, SoundFormat input,
                                                        EncoderThreads threads);

} // namespace varnelo
