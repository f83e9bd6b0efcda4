#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace varnelo {

// The codec of a stream's own audio, as far as recording it unchanged goes.
enum class StreamCodec { Unknown, Mp3, OggVorbis, OggOpus, OggOther };

// One piece of a stream exactly as the server sent it: an MPEG audio frame or
// an Ogg page. Concatenated in order from a frame with `fresh` set (after the
// header pages of an Ogg stream), the pieces make a valid file of the codec.
struct StreamFrame {
    QByteArray bytes;
    StreamCodec codec = StreamCodec::Unknown;
    bool header = false;      // Ogg: a page of the logical stream's header packets
    bool fresh = true;        // a file may begin with it (Ogg: no packet continues onto it)
    std::int64_t samples = 0; // samples per channel it completes (0 when not known)
    int sampleRate = 0;
};

// What an MPEG audio frame header (MPEG-1, 2 and 2.5, layers I to III) says.
struct Mp3FrameHeader {
    int version = 0; // 1: MPEG-1, 2: MPEG-2, 25: MPEG-2.5
    int layer = 0;
    int bitrateKbps = 0;
    int sampleRate = 0;
    int channels = 0;
    int length = 0;               // bytes of the whole frame, header included
    int samples = 0;              // per channel
    std::uint32_t sameStream = 0; // the bits every frame of one stream shares
};
// The header at `data`; nullopt for anything that is not a usable frame start
// (free format and reserved values included).
std::optional<Mp3FrameHeader> parseMp3FrameHeader(const unsigned char *data, std::size_t size);

// Title of a Vorbis or Opus comment header packet, as the stream decoder forms
// it from the TITLE and ARTIST comments ("Artist - Title"); nullopt when the
// packet is not a comment header or names no title.
std::optional<QString> commentHeaderTitle(const QByteArray &packet);

// Cuts a stream's bytes (ICY metadata already removed) into the frames or
// pages the server sent. The codec is recognised from the bytes: Ogg pages
// by their capture pattern and checksum, MPEG audio by two frame headers in a
// row. Bytes between frames (tags, damage) are dropped. The header pages of a
// new Ogg logical stream are held until its headers are complete, so they come
// out together, after the title their comments carry (`titles`). Used on one
// thread.
class StreamFramer {
public:
    StreamFramer();
    ~StreamFramer();
    StreamFramer(const StreamFramer &) = delete;
    StreamFramer &operator=(const StreamFramer &) = delete;

    struct Output {
        std::vector<StreamFrame> frames;
        // Titles of new Ogg streams, each with the index in `frames` it comes before.
        std::vector<std::pair<std::size_t, QString>> titles;
    };
    void feed(const char *data, std::size_t size, Output &out);
    StreamCodec codec() const { return codec_; }
    // The header pages of the current Ogg logical stream (empty for MPEG audio).
    const std::vector<StreamFrame> &headerPages() const { return headers_; }

private:
    void feedMp3(Output &out);
    void feedOgg(const char *data, std::size_t size, Output &out);
    void detect();

    struct Ogg;
    std::unique_ptr<Ogg> ogg_;
    StreamCodec codec_ = StreamCodec::Unknown;
    bool decided_ = false;
    QByteArray pending_; // MPEG audio bytes not yet cut (and the bytes seen before deciding)
    qsizetype pos_ = 0;
    bool synced_ = false;
    std::uint32_t sameStream_ = 0;
    std::vector<StreamFrame> headers_;
};

// Every frame of `bytes` fed at once (for fuzzing and tests).
StreamFramer::Output splitStreamFrames(const QByteArray &bytes);

} // namespace varnelo
