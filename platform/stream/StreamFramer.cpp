#include "platform/stream/StreamFramer.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace varnelo {

namespace {

// kbps by [MPEG-1 ? 0 : 1][layer - 1][index]; index 0 (free format) and 15 are not usable.
constexpr std::array<std::array<std::array<int, 16>, 3>, 2> Bitrates{{
    {{{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}}},
    {{{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}},
}};
constexpr std::array<int, 3> Mpeg1Rates{44100, 48000, 32000};

// Bytes an undecided stream may take before it is given up as neither codec.
constexpr qsizetype DetectLimit = 256 * 1024;
// An Ogg stream whose headers do not end within this many pages is passed on as it is.
constexpr std::size_t MaxHeldPages = 64;
constexpr qsizetype MaxOggPage = 27 + 255 + 255 * 255;

std::uint32_t readLe32(const unsigned char *p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

QByteArray pageBytes(const ogg_page &page) {
    QByteArray bytes(reinterpret_cast<const char *>(page.header), page.header_len);
    bytes.append(reinterpret_cast<const char *>(page.body), page.body_len);
    return bytes;
}

} // namespace

std::optional<Mp3FrameHeader> parseMp3FrameHeader(const unsigned char *p, std::size_t size) {
    if (size < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    const int padding = (p[2] >> 1) & 1;
    const int emphasis = p[3] & 3;
    if (versionBits == 1 || layerBits == 0 || rateIndex == 3 || emphasis == 2)
        return std::nullopt;
    Mp3FrameHeader h;
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.layer = 4 - layerBits;
    h.bitrateKbps = Bitrates[h.version == 1 ? 0 : 1][std::size_t(h.layer - 1)][std::size_t(bitrateIndex)];
    if (h.bitrateKbps == 0)
        return std::nullopt;
    h.sampleRate = Mpeg1Rates[std::size_t(rateIndex)] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
    h.channels = (p[3] >> 6) == 3 ? 1 : 2;
    const int bitrate = h.bitrateKbps * 1000;
    if (h.layer == 1) {
        h.length = (12 * bitrate / h.sampleRate + padding) * 4;
        h.samples = 384;
    } else if (h.layer == 2 || h.version == 1) {
        h.length = 144 * bitrate / h.sampleRate + padding;
        h.samples = 1152;
    } else {
        h.length = 72 * bitrate / h.sampleRate + padding;
        h.samples = 576;
    }
    h.sameStream = (std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8) & 0xFE0C00;
    return h;
}

std::optional<QString> commentHeaderTitle(const QByteArray &packet) {
    const auto *p = reinterpret_cast<const unsigned char *>(packet.constData());
    const std::size_t size = std::size_t(packet.size());
    std::size_t at = 0;
    if (packet.startsWith("\x03vorbis"))
        at = 7;
    else if (packet.startsWith("OpusTags"))
        at = 8;
    else
        return std::nullopt;
    const auto take32 = [&](std::uint32_t &value) {
        if (size - at < 4)
            return false;
        value = readLe32(p + at);
        at += 4;
        return true;
    };
    std::uint32_t vendor = 0;
    if (!take32(vendor) || vendor > size - at)
        return std::nullopt;
    at += vendor;
    std::uint32_t count = 0;
    if (!take32(count))
        return std::nullopt;
    QString title;
    QString artist;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t length = 0;
        if (!take32(length) || length > size - at)
            break;
        const QByteArray comment(reinterpret_cast<const char *>(p + at), qsizetype(length));
        at += length;
        const qsizetype equals = comment.indexOf('=');
        if (equals <= 0)
            continue;
        const QByteArray key = comment.left(equals).toUpper();
        const QString value = QString::fromUtf8(comment.mid(equals + 1));
        if (key == "TITLE" && title.isEmpty())
            title = value;
        else if (key == "ARTIST" && artist.isEmpty())
            artist = value;
    }
    if (title.isEmpty())
        return std::nullopt;
    return artist.isEmpty() ? title : artist + QStringLiteral(" - ") + title;
}

struct StreamFramer::Ogg {
    Ogg() {
        ogg_sync_init(&sync);
        ogg_stream_init(&stream, 0);
    }
    ~Ogg() {
        ogg_stream_clear(&stream);
        ogg_sync_clear(&sync);
    }
    Ogg(const Ogg &) = delete;
    Ogg &operator=(const Ogg &) = delete;

    ogg_sync_state sync;
    ogg_stream_state stream; // reassembles the header packets of the current logical stream
    bool haveStream = false;
    int serial = 0;
    StreamCodec codec = StreamCodec::OggOther;
    int rate = 0;
    int headerPackets = 1;
    int packetsDone = 0;
    bool collecting = false;
    std::vector<StreamFrame> held;
    std::optional<QString> title;
    std::int64_t lastGranule = -1;
};

StreamFramer::StreamFramer() = default;
StreamFramer::~StreamFramer() = default;

void StreamFramer::feed(const char *data, std::size_t size, Output &out) {
    if (size == 0)
        return;
    if (decided_ && codec_ == StreamCodec::Unknown)
        return;
    if (decided_ && ogg_) {
        feedOgg(data, size, out);
        return;
    }
    pending_.append(data, qsizetype(size));
    if (!decided_) {
        detect();
        if (!decided_)
            return;
        if (ogg_) {
            const QByteArray seen = std::exchange(pending_, QByteArray());
            pos_ = 0;
            feedOgg(seen.constData(), std::size_t(seen.size()), out);
            return;
        }
        if (codec_ == StreamCodec::Unknown) {
            pending_.clear();
            return;
        }
    }
    feedMp3(out);
}

void StreamFramer::detect() {
    const auto *p = reinterpret_cast<const unsigned char *>(pending_.constData());
    const std::size_t size = std::size_t(pending_.size());
    const bool oggPattern = pending_.contains("OggS");
    if (oggPattern) {
        // The checksum decides: a page libogg accepts is an Ogg stream.
        Ogg trial;
        char *buffer = ogg_sync_buffer(&trial.sync, long(size));
        if (buffer) {
            std::memcpy(buffer, pending_.constData(), size);
            ogg_sync_wrote(&trial.sync, long(size));
            ogg_page page;
            for (int rc; (rc = ogg_sync_pageout(&trial.sync, &page)) != 0;) {
                if (rc == 1) {
                    decided_ = true;
                    ogg_ = std::make_unique<Ogg>();
                    codec_ = StreamCodec::OggOther;
                    return;
                }
            }
        }
    }
    // MPEG audio may hold the Ogg capture pattern by chance; past the largest
    // possible Ogg page it cannot be an Ogg stream any more.
    if (!oggPattern || pending_.size() > MaxOggPage) {
        for (std::size_t i = 0; i + 4 <= size; ++i) {
            const auto h = parseMp3FrameHeader(p + i, size - i);
            if (!h)
                continue;
            const std::size_t next = i + std::size_t(h->length);
            if (next + 4 > size)
                break; // wait for the second header
            const auto h2 = parseMp3FrameHeader(p + next, size - next);
            if (h2 && h2->sameStream == h->sameStream) {
                decided_ = true;
                codec_ = StreamCodec::Mp3;
                return;
            }
        }
    }
    if (pending_.size() > DetectLimit) {
        decided_ = true;
        codec_ = StreamCodec::Unknown;
    }
}

void StreamFramer::feedMp3(Output &out) {
    const auto *p = reinterpret_cast<const unsigned char *>(pending_.constData());
    const auto size = std::size_t(pending_.size());
    std::size_t at = std::size_t(pos_);
    while (at + 4 <= size) {
        const auto h = parseMp3FrameHeader(p + at, size - at);
        if (synced_ && (!h || h->sameStream != sameStream_))
            synced_ = false; // damage or a stray sync: look for the stream again
        if (!synced_ && !h) {
            ++at;
            continue;
        }
        // A frame counts once the next one's header follows it: a frame cut
        // short (a dropped connection, damage) is not passed on.
        const std::size_t next = at + std::size_t(h->length);
        if (next + 4 > size)
            break;
        const auto h2 = parseMp3FrameHeader(p + next, size - next);
        if (!h2 || h2->sameStream != h->sameStream) {
            synced_ = false;
            ++at;
            continue;
        }
        synced_ = true;
        sameStream_ = h->sameStream;
        StreamFrame frame;
        frame.bytes = pending_.mid(qsizetype(at), h->length);
        frame.codec = StreamCodec::Mp3;
        frame.samples = h->samples;
        frame.sampleRate = h->sampleRate;
        out.frames.push_back(std::move(frame));
        at += std::size_t(h->length);
    }
    pending_.remove(0, qsizetype(at));
    pos_ = 0;
}

void StreamFramer::feedOgg(const char *data, std::size_t size, Output &out) {
    Ogg &o = *ogg_;
    char *buffer = ogg_sync_buffer(&o.sync, long(size));
    if (!buffer)
        return;
    std::memcpy(buffer, data, size);
    ogg_sync_wrote(&o.sync, long(size));
    ogg_page page;
    for (int rc; (rc = ogg_sync_pageout(&o.sync, &page)) != 0;) {
        if (rc < 0)
            continue; // bytes skipped to the next page
        const int serial = ogg_page_serialno(&page);
        if (ogg_page_bos(&page)) {
            // Another stream multiplexed at the start is not ours; a new one after
            // audio is the next link of a chain.
            if (o.haveStream && o.collecting && serial != o.serial)
                continue;
            o.haveStream = true;
            o.serial = serial;
            ogg_stream_reset_serialno(&o.stream, serial);
            const auto *body = page.body;
            const long length = page.body_len;
            if (length >= 16 && std::memcmp(body, "\x01vorbis", 7) == 0) {
                o.codec = StreamCodec::OggVorbis;
                o.rate = int(readLe32(body + 12));
                o.headerPackets = 3;
            } else if (length >= 8 && std::memcmp(body, "OpusHead", 8) == 0) {
                o.codec = StreamCodec::OggOpus;
                o.rate = 48000;
                o.headerPackets = 2;
            } else {
                o.codec = StreamCodec::OggOther;
                o.rate = 0;
                o.headerPackets = 1;
            }
            codec_ = o.codec;
            o.packetsDone = 0;
            o.collecting = true;
            o.held.clear();
            o.title.reset();
            o.lastGranule = -1;
        } else if (!o.haveStream || serial != o.serial) {
            continue;
        }
        StreamFrame frame;
        frame.bytes = pageBytes(page);
        frame.codec = o.codec;
        frame.sampleRate = o.rate;
        frame.fresh = !ogg_page_continued(&page);
        if (o.collecting) {
            frame.header = true;
            ogg_stream_pagein(&o.stream, &page);
            ogg_packet packet;
            while (o.packetsDone < o.headerPackets && ogg_stream_packetout(&o.stream, &packet) == 1) {
                ++o.packetsDone;
                if (o.packetsDone == 2)
                    o.title = commentHeaderTitle(
                        QByteArray(reinterpret_cast<const char *>(packet.packet), qsizetype(packet.bytes)));
            }
            o.held.push_back(std::move(frame));
            if (o.packetsDone >= o.headerPackets || o.held.size() >= MaxHeldPages) {
                o.collecting = false;
                headers_ = o.held;
                if (o.title)
                    out.titles.emplace_back(out.frames.size(), *o.title);
                for (StreamFrame &held : o.held)
                    out.frames.push_back(std::move(held));
                o.held.clear();
            }
            continue;
        }
        const std::int64_t granule = ogg_page_granulepos(&page);
        if (granule >= 0) {
            if (o.lastGranule >= 0 && granule > o.lastGranule)
                frame.samples = granule - o.lastGranule;
            o.lastGranule = granule;
        }
        out.frames.push_back(std::move(frame));
    }
}

StreamFramer::Output splitStreamFrames(const QByteArray &bytes) {
    StreamFramer framer;
    StreamFramer::Output out;
    framer.feed(bytes.constData(), std::size_t(bytes.size()), out);
    return out;
}

} // namespace varnelo
