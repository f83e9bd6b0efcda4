#pragma once
// FFmpeg handles and helpers shared by the reader and the writers of AudioFile.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/intreadwrite.h>
#include <libswresample/swresample.h>
}

#include <QString>
#include <memory>

namespace varnelo::audiofile_detail {

struct InputCloser {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct SwrFree {
    void operator()(SwrContext *s) const { swr_free(&s); }
};
struct FifoFree {
    void operator()(AVAudioFifo *f) const { av_audio_fifo_free(f); }
};
// Closes the file (if open) before freeing the context.
struct OutputCloser {
    void operator()(AVFormatContext *c) const {
        if (c->pb && !(c->oformat->flags & AVFMT_NOFILE))
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoFree>;

inline QString ffmpegError(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

// FFmpeg takes paths as URLs: "file:" keeps a name like "http:x.mp3" a local file.
inline QByteArray fileUrl(const QString &path) {
    return QByteArrayLiteral("file:") + path.toUtf8();
}

// Converter between sample formats, rates and layouts. Mono to stereo copies the
// channel at full level and stereo to mono averages, as a listener expects;
// FFmpeg's default matrix would lower both by 3 dB.
SwrPtr makeConverter(const AVChannelLayout &inLayout, AVSampleFormat inFormat, int inRate,
                     const AVChannelLayout &outLayout, AVSampleFormat outFormat, int outRate, QString *error);

} // namespace varnelo::audiofile_detail
