#pragma once
#include "platform/audiofile/AudioEncoder.h"

#include <memory>

namespace varnelo {

struct WmaProfile;

// WAV output: bits 8 (unsigned), 16, 24 or 32 give PCM at the given rate and
// channels; 2 to 5 give G.726 ADPCM (format tag 0x0045), which exists only at
// 8000 Hz mono, so rate and channels are then ignored. Null for other bits.
std::unique_ptr<AudioEncoder> createWavEncoder(int sampleRate, int channels, int bits);
// WMA (version 2, constant bit rate) in an ASF file.
std::unique_ptr<AudioEncoder> createWmaEncoder(const WmaProfile &profile);

} // namespace varnelo
