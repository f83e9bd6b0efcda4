#include "platform/audiofile/Mp3Stream.h"

#include <cmath>
#include <cstring>

namespace varnelo {

namespace {

constexpr std::array<int, 16> mpeg1Rates{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr std::array<int, 16> mpeg2Rates{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr int sampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

void putBe32(unsigned char *p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

std::uint32_t be32(const unsigned char *p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

const std::array<std::uint16_t, 256> &crcTable() {
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned crc = i;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? (crc >> 1) ^ 0xA001u : crc >> 1;
            t[i] = static_cast<std::uint16_t>(crc);
        }
        return t;
    }();
    return table;
}

std::size_t frameBytes(int version, int kbps, int sampleRate, int padding) {
    return std::size_t(version == 1 ? 144 : 72) * std::size_t(kbps) * 1000 / std::size_t(sampleRate) +
           std::size_t(padding);
}

// The frame's own checksum (over the header's last two bytes and the side
// information): polynomial 0x8005, not reflected, starting at 0xFFFF.
std::uint16_t frameCrc(const unsigned char *frame, std::size_t sideBytes) {
    std::uint16_t crc = 0xFFFF;
    const auto add = [&crc](unsigned char byte) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = (crc & 0x8000) != 0;
            const bool in = ((byte >> bit) & 1) != 0;
            crc = static_cast<std::uint16_t>(crc << 1);
            if (top != in)
                crc ^= 0x8005;
        }
    };
    add(frame[2]);
    add(frame[3]);
    for (std::size_t i = 0; i < sideBytes; ++i)
        add(frame[6 + i]);
    return crc;
}

} // namespace

std::size_t LayerThreeHeader::sideInfoBytes() const {
    if (version == 1)
        return channels == 1 ? 17 : 32;
    return channels == 1 ? 9 : 17;
}

std::optional<LayerThreeHeader> readMp3FrameHeader(const unsigned char *p, std::size_t available) {
    if (available < 4)
        return std::nullopt;
    const std::uint32_t h = be32(p);
    // Sync, and layer III.
    if ((h & 0xFFE00000u) != 0xFFE00000u || ((h >> 17) & 3) != 1)
        return std::nullopt;
    const unsigned v = (h >> 19) & 3;
    const unsigned bi = (h >> 12) & 15;
    const unsigned si = (h >> 10) & 3;
    if (v == 1 || bi == 0 || bi == 15 || si == 3)
        return std::nullopt;
    LayerThreeHeader f;
    f.version = v == 3 ? 1 : v == 2 ? 2 : 25;
    f.bitrateIndex = static_cast<int>(bi);
    f.bitrateKbps = f.version == 1 ? mpeg1Rates[bi] : mpeg2Rates[bi];
    f.sampleRate = sampleRates[f.version == 1 ? 0 : f.version == 2 ? 1 : 2][si];
    f.crc = ((h >> 16) & 1) == 0;
    f.channels = ((h >> 6) & 3) == 3 ? 1 : 2;
    f.samples = f.version == 1 ? 1152 : 576;
    f.size = frameBytes(f.version, f.bitrateKbps, f.sampleRate, static_cast<int>((h >> 9) & 1));
    return f;
}

int mp3MainDataBegin(const unsigned char *frame, std::size_t available, const LayerThreeHeader &header) {
    const std::size_t side = 4 + (header.crc ? 2 : 0);
    if (available < side + 2)
        return -1;
    const unsigned first = frame[side], second = frame[side + 1];
    // 9 bits in MPEG-1, 8 in MPEG-2 and 2.5.
    return header.version == 1 ? int((first << 1) | (second >> 7)) : int(first);
}

bool dropFramesSelfContained(std::vector<unsigned char> &stream, int dropFrames) {
    struct Frame {
        std::size_t at;
        LayerThreeHeader header;
        std::size_t dataAt; // first byte after the side information
    };
    std::vector<Frame> frames;
    for (std::size_t at = 0; frames.size() < std::size_t(dropFrames) + 2 && at < stream.size();) {
        const auto header = readMp3FrameHeader(&stream[at], stream.size() - at);
        if (!header || header->size > stream.size() - at)
            break;
        frames.push_back({at, *header, at + 4 + (header->crc ? 2 : 0) + header->sideInfoBytes()});
        at += header->size;
    }
    if (frames.size() < std::size_t(dropFrames) + 1)
        return false;
    // The dropped frames' audio data bytes, in order: where the kept frame's borrowed bytes are.
    std::vector<unsigned char> before;
    for (int i = 0; i < dropFrames; ++i) {
        const Frame &f = frames[std::size_t(i)];
        before.insert(before.end(), stream.begin() + std::ptrdiff_t(f.dataAt),
                      stream.begin() + std::ptrdiff_t(f.at + f.header.size));
    }
    const Frame &kept = frames[std::size_t(dropFrames)];
    const int borrowed = mp3MainDataBegin(&stream[kept.at], kept.header.size, kept.header);
    if (borrowed < 0 || std::size_t(borrowed) > before.size())
        return false;
    if (borrowed == 0) {
        stream.erase(stream.begin(), stream.begin() + std::ptrdiff_t(kept.at));
        return true;
    }
    std::vector<unsigned char> data(before.end() - borrowed, before.end());
    data.insert(data.end(), stream.begin() + std::ptrdiff_t(kept.dataAt),
                stream.begin() + std::ptrdiff_t(kept.at + kept.header.size));
    // Where the next frame's data begins: the spare room goes just before it.
    std::size_t split = data.size();
    if (frames.size() > std::size_t(dropFrames) + 1) {
        const Frame &next = frames[std::size_t(dropFrames) + 1];
        const int back = mp3MainDataBegin(&stream[next.at], next.header.size, next.header);
        if (back < 0 || std::size_t(back) > data.size())
            return false;
        split = data.size() - std::size_t(back);
    }
    const std::size_t overhead = kept.dataAt - kept.at;
    const auto &rates = kept.header.version == 1 ? mpeg1Rates : mpeg2Rates;
    int index = kept.header.bitrateIndex;
    while (index < 14 && frameBytes(kept.header.version, rates[std::size_t(index)], kept.header.sampleRate,
                                    0) < overhead + data.size())
        ++index;
    const std::size_t size =
        frameBytes(kept.header.version, rates[std::size_t(index)], kept.header.sampleRate, 0);
    if (size < overhead + data.size())
        return false;
    std::vector<unsigned char> frame(stream.begin() + std::ptrdiff_t(kept.at),
                                     stream.begin() + std::ptrdiff_t(kept.dataAt));
    frame[2] = static_cast<unsigned char>((frame[2] & 0x0D) | (index << 4)); // bitrate, no padding slot
    const std::size_t side = kept.header.crc ? 6 : 4;
    frame[side] = 0;
    if (kept.header.version == 1)
        frame[side + 1] &= 0x7F;
    if (kept.header.crc) {
        const std::uint16_t crc = frameCrc(frame.data(), kept.header.sideInfoBytes());
        frame[4] = static_cast<unsigned char>(crc >> 8);
        frame[5] = static_cast<unsigned char>(crc & 0xFF);
    }
    frame.insert(frame.end(), data.begin(), data.begin() + std::ptrdiff_t(split));
    frame.resize(size - (data.size() - split), 0);
    frame.insert(frame.end(), data.begin() + std::ptrdiff_t(split), data.end());
    frame.insert(frame.end(), stream.begin() + std::ptrdiff_t(kept.at + kept.header.size), stream.end());
    stream = std::move(frame);
    return true;
}

std::uint16_t crc16Update(std::uint16_t crc, const unsigned char *data, std::size_t size) {
    const auto &table = crcTable();
    for (std::size_t i = 0; i < size; ++i)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
    return crc;
}

void Mp3SeekTable::addFrame(int bitrateKbps) {
    ++m_frames;
    m_sum += static_cast<std::uint32_t>(bitrateKbps);
    if (++m_seen < m_want)
        return;
    if (m_pos < Size) {
        m_bag[static_cast<std::size_t>(m_pos++)] = m_sum;
        m_seen = 0;
    }
    if (m_pos == Size) {
        for (int i = 1; i < Size; i += 2)
            m_bag[static_cast<std::size_t>(i / 2)] = m_bag[static_cast<std::size_t>(i)];
        m_want *= 2;
        m_pos /= 2;
    }
}

std::array<unsigned char, 100> Mp3SeekTable::toc() const {
    std::array<unsigned char, 100> t{};
    if (m_pos <= 0)
        return t;
    // Single precision, as the encoder's own table is worked out: a stream
    // encoded in one piece gets the same bytes.
    const float sum = static_cast<float>(m_sum);
    for (int i = 1; i < 100; ++i) {
        const float j = static_cast<float>(i) / 100.0f;
        int index = static_cast<int>(std::floor(j * static_cast<float>(m_pos)));
        if (index > m_pos - 1)
            index = m_pos - 1;
        const float at = static_cast<float>(m_bag[static_cast<std::size_t>(index)]);
        const int point = static_cast<int>(256.0 * at / sum);
        t[static_cast<std::size_t>(i)] = static_cast<unsigned char>(point > 255 ? 255 : point);
    }
    return t;
}

bool rewriteMp3InfoFrame(std::vector<unsigned char> &frame, const Mp3StreamTotals &totals) {
    const auto header = readMp3FrameHeader(frame.data(), frame.size());
    if (!header || frame.size() < header->size)
        return false;
    // The tag follows the side information; some writers count a CRC before it.
    std::size_t at = 0;
    for (const std::size_t candidate : {4 + header->sideInfoBytes(), 6 + header->sideInfoBytes()}) {
        if (candidate + 8 <= header->size && (std::memcmp(&frame[candidate], "Xing", 4) == 0 ||
                                              std::memcmp(&frame[candidate], "Info", 4) == 0)) {
            at = candidate;
            break;
        }
    }
    if (at == 0 || (be32(&frame[at + 4]) & 7) != 7)
        return false;
    const bool quality = (be32(&frame[at + 4]) & 8) != 0;
    const std::size_t extension = at + 8 + 4 + 4 + 100 + (quality ? 4 : 0);
    if (extension + 36 > header->size || totals.encoderDelay < 0 || totals.encoderDelay > 4095 ||
        totals.padding < 0 || totals.padding > 4095)
        return false;
    putBe32(&frame[at + 8], totals.frames);
    putBe32(&frame[at + 12], totals.bytes);
    std::memcpy(&frame[at + 16], totals.toc.data(), totals.toc.size());
    unsigned char *ext = &frame[extension];
    ext[21] = static_cast<unsigned char>(totals.encoderDelay >> 4);
    ext[22] = static_cast<unsigned char>(((totals.encoderDelay & 15) << 4) | (totals.padding >> 8));
    ext[23] = static_cast<unsigned char>(totals.padding & 0xFF);
    putBe32(&ext[28], totals.bytes);
    ext[32] = static_cast<unsigned char>(totals.musicCrc >> 8);
    ext[33] = static_cast<unsigned char>(totals.musicCrc & 0xFF);
    // The tag's own checksum covers the frame up to it.
    const std::uint16_t crc = crc16Update(0, frame.data(), extension + 34);
    ext[34] = static_cast<unsigned char>(crc >> 8);
    ext[35] = static_cast<unsigned char>(crc & 0xFF);
    return true;
}

} // namespace varnelo
