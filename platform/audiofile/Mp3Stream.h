#pragma once
// Reading MP3 (MPEG audio layer III) frames as an encoder wrote them, and the
// Xing/LAME info frame that describes a whole stream: what joining streams
// encoded apart needs.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace varnelo {

// What a layer III frame header says. Its own name: the stream framer's
// Mp3FrameHeader (every layer) is another type, and one name for two layouts
// breaks the program where both meet (std::optional of either).
struct LayerThreeHeader {
    int version = 1; // 1 MPEG-1, 2 MPEG-2, 25 MPEG-2.5
    int bitrateKbps = 0;
    int bitrateIndex = 0;
    int sampleRate = 0;
    int channels = 2;
    bool crc = false;     // 16-bit CRC after the header
    std::size_t size = 0; // bytes, header included
    int samples = 1152;   // per channel
    std::size_t sideInfoBytes() const;
};

// The layer III header at `p` (at least 4 bytes); none for anything else,
// free format included.
std::optional<LayerThreeHeader> readMp3FrameHeader(const unsigned char *p, std::size_t available);

// How many bytes before its header the frame's audio data starts (the bit
// reservoir it borrows); -1 when the side information is cut off.
int mp3MainDataBegin(const unsigned char *frame, std::size_t available, const LayerThreeHeader &header);

// Drops the first `dropFrames` frames of `stream` (whole frames from its first
// byte) and rewrites the frame after them to hold all of its audio data
// itself (main_data_begin 0): at a higher bitrate, the bytes it borrowed from
// the dropped frames before its own, and the spare room between its data and
// the next frame's, so the later frames stay as they are. False, with the
// stream unchanged, when no bitrate has the room.
bool dropFramesSelfContained(std::vector<unsigned char> &stream, int dropFrames);

// CRC-16 (polynomial 0x8005, reflected, as the info frame uses it).
std::uint16_t crc16Update(std::uint16_t crc, const unsigned char *data, std::size_t size);

// The seek table of the info frame, kept as the encoder keeps it: running
// bitrate sums at every n-th frame, halved when full, so its memory stays
// fixed however long the stream.
class Mp3SeekTable {
public:
    void addFrame(int bitrateKbps);
    std::array<unsigned char, 100> toc() const;
    std::uint32_t frames() const { return m_frames; }

private:
    static constexpr int Size = 400;
    std::array<std::uint32_t, Size> m_bag{};
    int m_pos = 0;
    int m_want = 1;
    int m_seen = 0;
    std::uint32_t m_sum = 0;
    std::uint32_t m_frames = 0;
};

// What only the whole stream knows, for the info frame.
struct Mp3StreamTotals {
    std::uint32_t frames = 0; // audio frames after the info frame
    std::uint32_t bytes = 0;  // the info frame and the audio frames
    std::array<unsigned char, 100> toc{};
    int encoderDelay = 0; // samples
    int padding = 0;      // samples after the audio in the last frame
    std::uint16_t musicCrc = 0;
};

// Writes the totals into an info frame the encoder made ("Xing" or "Info" with
// frame count, byte count and TOC, followed by the LAME extension), and its
// checksum. False when the frame has not that layout.
bool rewriteMp3InfoFrame(std::vector<unsigned char> &frame, const Mp3StreamTotals &totals);

} // namespace varnelo
