#pragma once
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVIOContext;
struct SwrContext;
struct AVPacket;
struct AVFrame;
struct AVDictionary;

namespace varnelo {

// Demuxes and decodes one stream connection with FFmpeg into interleaved
// float stereo at the mixer's rate. Used on one thread only.
class StreamDecoder {
public:
    // Fills buf with up to size bytes; returns the count, 0 at the end, <0 on failure.
    using ReadFn = std::function<int(unsigned char *buf, int size)>;
    // Returns true when FFmpeg should give up its current call.
    using InterruptFn = std::function<bool()>;

    enum class Result { Audio, NoAudio, End, Failed };

    StreamDecoder(int outRate, int outChannels, InterruptFn interrupted);
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder &) = delete;
    StreamDecoder &operator=(const StreamDecoder &) = delete;

    // Bytes from our own connection; formatHint is an FFmpeg demuxer name or empty to probe.
    bool openCustom(ReadFn read, const char *formatHint);
    // An address FFmpeg opens itself (HLS).
    bool openUrl(const QString &url);

    // Reads one packet; decoded frames are appended to out.
    Result decode(std::vector<float> &out);

    // The title the container announced since the last call (Ogg comments), as
    // a metadata text "StreamTitle='...';".
    std::optional<QString> takeMetadataUpdate();
    QString errorText() const { return errorText_; }
    // Where the packet read last lay in the source's bytes: its first byte and
    // the byte after it; -1 when the demuxer did not say.
    std::int64_t lastPacketPosition() const { return lastPacketPos_; }
    std::int64_t lastPacketEnd() const { return lastPacketEnd_; }

private:
    static int readPacket(void *opaque, unsigned char *buf, int size);
    static int interruptCallback(void *opaque);
    bool openCommon(const char *url, const char *formatHint);
    bool convert(const AVFrame *frame, std::vector<float> &out);
    bool fail(const QString &text, int code = 0);
    void noteMetadata(const AVDictionary *dict);

    struct FormatCloser {
        void operator()(AVFormatContext *p) const;
    };
    struct CodecCloser {
        void operator()(AVCodecContext *p) const;
    };
    struct IoCloser {
        void operator()(AVIOContext *p) const;
    };
    struct SwrCloser {
        void operator()(SwrContext *p) const;
    };
    struct PacketCloser {
        void operator()(AVPacket *p) const;
    };
    struct FrameCloser {
        void operator()(AVFrame *p) const;
    };

    int outRate_;
    int outChannels_;
    InterruptFn interrupted_;
    ReadFn read_;
    std::unique_ptr<AVIOContext, IoCloser> io_;
    std::unique_ptr<AVFormatContext, FormatCloser> format_;
    std::unique_ptr<AVCodecContext, CodecCloser> codec_;
    std::unique_ptr<SwrContext, SwrCloser> swr_;
    std::unique_ptr<AVPacket, PacketCloser> packet_;
    std::unique_ptr<AVFrame, FrameCloser> frame_;
    int streamIndex_ = -1;
    int swrRate_ = 0;
    int swrFormat_ = -1;
    int swrChannels_ = 0;
    std::optional<QString> metadataUpdate_;
    std::int64_t lastPacketPos_ = -1;
    std::int64_t lastPacketEnd_ = -1;
    QString lastTitle_;
    QString errorText_;
};

} // namespace varnelo
