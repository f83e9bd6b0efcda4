#include "platform/audiofile/AudioDecoder.h"

#include "common/FileGuards.h"
#include "platform/audiofile/AudioFileFFmpeg.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace varnelo {

using namespace audiofile_detail;

namespace {

// Damaged packets in a row after which decoding is abandoned.
constexpr int MaxBadPackets = 500;

} // namespace

struct AudioDecoder::Impl {
    QString path;
    InputPtr input;
    CodecPtr codec;
    SwrPtr swr;
    FramePtr frame{av_frame_alloc()};
    PacketPtr packet{av_packet_alloc()};
    AVStream *stream = nullptr;
    int channels = 0;
    int rate = 0;
    AVChannelLayout layout{};
    // What the converter was set up for: a stream may change format midway.
    AVSampleFormat swrFormat = AV_SAMPLE_FMT_NONE;
    int swrRate = 0;
    AVChannelLayout swrLayout{};

    std::vector<Sample> scratch;
    std::vector<Sample> pending; // interleaved frames decoded and not yet read
    std::size_t pendingPos = 0;  // in samples
    qint64 position = 0;         // frame index of pending[pendingPos]
    qint64 decodedEnd = 0;       // frame index after the last decoded frame
    qint64 dropBefore = 0;       // frames before this index are discarded (seeking)
    bool needPosition = false;   // the next frame's timestamp tells where we are
    bool positionLost = false;   // a frame after a seek had no timestamp
    qint64 firstIndexAfterSeek = -1;

    std::int64_t origin = AV_NOPTS_VALUE; // timestamp of frame 0
    std::int64_t firstPacketSkip = -1;    // priming samples the first packet says to drop
    bool timestampsUsable = true;
    qint64 preroll = 0;
    qint64 length = 0;

    bool flushSent = false;
    bool ended = false;
    bool damaged = false;
    int badPackets = 0;
    QString error;

    ~Impl() {
        av_channel_layout_uninit(&layout);
        av_channel_layout_uninit(&swrLayout);
    }

    qint64 pendingFrames() const { return channels ? qint64(pending.size() - pendingPos) / channels : 0; }

    bool openFile(Failure *failure);
    bool decodeOne();
    bool takeFrame();
    bool setupConverter(const AVFrame &f);
    void append(const Sample *data, qint64 frames);
    void resetDecoding();
    bool restart();
    qint64 lengthFromContainer() const;
    qint64 countByDemuxing() const;
};

static QString tr(const char *text) {
    return QCoreApplication::translate("AudioFile", text);
}

bool AudioDecoder::Impl::openFile(Failure *failure) {
    AVFormatContext *raw = nullptr;
    AVDictionary *options = nullptr;
    // Only local files: a playlist-like source must not make us fetch URLs.
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    int r = avformat_open_input(&raw, fileUrl(path).constData(), nullptr, &options);
    av_dict_free(&options);
    if (r < 0) {
        *failure = (r == AVERROR(ENOENT) || r == AVERROR(EACCES) || r == AVERROR(EISDIR)) ? Failure::Open
                                                                                          : Failure::Format;
        error = *failure == Failure::Open
                    ? tr("Cannot open %1: %2").arg(path, ffmpegError(r))
                    : tr("%1 is not an audio file FFmpeg can read (%2)").arg(path, ffmpegError(r));
        return false;
    }
    input.reset(raw);
    if ((r = avformat_find_stream_info(raw, nullptr)) < 0) {
        *failure = Failure::Format;
        error = tr("%1: no readable stream (%2)").arg(path, ffmpegError(r));
        return false;
    }
    const AVCodec *decoder = nullptr;
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (index < 0 || !decoder) {
        *failure = Failure::Format;
        error = index == AVERROR_DECODER_NOT_FOUND ? tr("%1: no decoder for its audio").arg(path)
                                                   : tr("%1 holds no audio").arg(path);
        return false;
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        raw->streams[i]->discard = int(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    stream = raw->streams[index];
    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0) {
        *failure = Failure::Format;
        error = tr("%1: decoder set-up failed").arg(path);
        return false;
    }
    codec->pkt_timebase = stream->time_base;
    if ((r = avcodec_open2(codec.get(), decoder, nullptr)) < 0) {
        *failure = Failure::Format;
        error = tr("%1: cannot start the %2 decoder (%3)")
                    .arg(path, QString::fromUtf8(decoder->name), ffmpegError(r));
        return false;
    }
    channels = codec->ch_layout.nb_channels;
    rate = codec->sample_rate;
    if (channels <= 0 || channels > 32 || rate <= 0) {
        *failure = Failure::Format;
        error = tr("%1: the audio has no valid format").arg(path);
        return false;
    }
    if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, channels);
    else
        av_channel_layout_copy(&layout, &codec->ch_layout);

    const AVCodecDescriptor *desc = avcodec_descriptor_get(codec->codec_id);
    const bool intraOnly =
        desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY) && (desc->props & AV_CODEC_PROP_LOSSLESS);
    preroll = intraOnly ? 0 : std::max<qint64>(stream->codecpar->seek_preroll, rate / 4);
    // Timestamps coarser than a sample (ASF counts milliseconds) cannot place a
    // frame exactly, so such files seek by decoding from the start.
    timestampsUsable = stream->time_base.num > 0 &&
                       std::int64_t(stream->time_base.den) >= std::int64_t(stream->time_base.num) * rate;
    const AVCodecID id = codec->codec_id;
    // WAV gives ADPCM blocks timestamps from their byte offset, and an ADPCM
    // decoder's predictor only comes right by decoding from the start.
    if (id >= AV_CODEC_ID_ADPCM_IMA_QT && id < AV_CODEC_ID_AMR_NB)
        timestampsUsable = false;

    // Decode the first frame now: a file that yields no sound is refused at
    // open, and its timestamp is the origin of every later seek.
    while (!ended && pendingFrames() == 0)
        decodeOne();
    if (pendingFrames() == 0 && (badPackets > 0 || damaged)) {
        *failure = Failure::Format;
        error = error.isEmpty() ? tr("%1: the audio data cannot be decoded").arg(path) : error;
        return false;
    }
    if (origin == AV_NOPTS_VALUE)
        timestampsUsable = false;
    if (ended)
        length = decodedEnd;
    else if (qstrcmp(raw->iformat->name, "mp3") == 0 || qstrcmp(raw->iformat->name, "mpeg") == 0)
        length = countByDemuxing();
    else
        length = lengthFromContainer();
    return true;
}

qint64 AudioDecoder::Impl::lengthFromContainer() const {
    const AVRational perFrame{1, rate};
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        qint64 frames = av_rescale_q(stream->duration, stream->time_base, perFrame);
        // Ogg Opus counts the pre-skip the decoder drops; MP4 and the rest do not.
        if (codec->codec_id == AV_CODEC_ID_OPUS && firstPacketSkip > 0)
            frames -= firstPacketSkip;
        return std::max<qint64>(0, frames);
    }
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
        return av_rescale_q(input->duration, AV_TIME_BASE_Q, perFrame);
    return 0;
}

// MPEG audio files state their length only as a frame count that includes the
// encoder's delay and padding, or not at all. Reading every packet (no
// decoding: a few milliseconds per minute) and taking off what the decoder
// will skip gives the count exactly.
qint64 AudioDecoder::Impl::countByDemuxing() const {
    AVFormatContext *raw = nullptr;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int r = avformat_open_input(&raw, fileUrl(path).constData(), nullptr, &options);
    av_dict_free(&options);
    if (r < 0)
        return lengthFromContainer();
    InputPtr scan(raw);
    PacketPtr p(av_packet_alloc());
    if (!p)
        return lengthFromContainer();
    std::int64_t total = 0;
    std::int64_t trimmed = 0;
    while (av_read_frame(raw, p.get()) >= 0) {
        if (p->stream_index == stream->index) {
            if (p->duration <= 0) {
                av_packet_unref(p.get());
                return lengthFromContainer();
            }
            total += p->duration;
            std::size_t size = 0;
            if (const std::uint8_t *skip = av_packet_get_side_data(p.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
                skip && size >= 8)
                trimmed += std::int64_t(AV_RL32(skip)) + std::int64_t(AV_RL32(skip + 4));
        }
        av_packet_unref(p.get());
    }
    const AVRational perFrame{1, rate};
    return std::max<qint64>(0,
                            av_rescale_q(total, raw->streams[stream->index]->time_base, perFrame) - trimmed);
}

bool AudioDecoder::Impl::decodeOne() {
    for (;;) {
        int r = avcodec_receive_frame(codec.get(), frame.get());
        if (r == 0) {
            badPackets = 0;
            const bool ok = takeFrame();
            av_frame_unref(frame.get());
            return ok;
        }
        if (r == AVERROR_EOF || flushSent) {
            if (swr && swrRate != rate) {
                // Resampling keeps a tail inside the converter.
                std::vector<Sample> tail(std::size_t(swr_get_out_samples(swr.get(), 0) + 16) * channels);
                auto *out = reinterpret_cast<std::uint8_t *>(tail.data());
                const int n = swr_convert(swr.get(), &out, int(tail.size() / channels), nullptr, 0);
                if (n > 0)
                    append(tail.data(), n);
            }
            ended = true;
            return false;
        }
        if (r != AVERROR(EAGAIN)) {
            damaged = true;
            error = tr("%1: decoding failed (%2)").arg(path, ffmpegError(r));
            ended = true;
            return false;
        }
        r = av_read_frame(input.get(), packet.get());
        if (r < 0) {
            if (r != AVERROR_EOF && !(input->pb && avio_feof(input->pb))) {
                damaged = true;
                error = tr("%1: read error (%2)").arg(path, ffmpegError(r));
            }
            avcodec_send_packet(codec.get(), nullptr);
            flushSent = true;
            continue;
        }
        if (packet->stream_index != stream->index) {
            av_packet_unref(packet.get());
            continue;
        }
        if (firstPacketSkip < 0) {
            std::size_t size = 0;
            const std::uint8_t *skip = av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
            firstPacketSkip = skip && size >= 4 ? std::int64_t(AV_RL32(skip)) : 0;
        }
        r = avcodec_send_packet(codec.get(), packet.get());
        av_packet_unref(packet.get());
        if (r < 0 && r != AVERROR(EAGAIN) && ++badPackets > MaxBadPackets) {
            // Players skip a damaged packet; a file of nothing else ends here.
            damaged = true;
            error = tr("%1: too much damaged data (%2)").arg(path, ffmpegError(r));
            avcodec_send_packet(codec.get(), nullptr);
            flushSent = true;
        }
    }
}

bool AudioDecoder::Impl::setupConverter(const AVFrame &f) {
    AVChannelLayout inLayout{};
    if (f.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f.ch_layout.nb_channels == 0)
        av_channel_layout_default(&inLayout, f.ch_layout.nb_channels ? f.ch_layout.nb_channels : channels);
    else
        av_channel_layout_copy(&inLayout, &f.ch_layout);
    const int inRate = f.sample_rate > 0 ? f.sample_rate : rate;
    if (swr && swrFormat == f.format && swrRate == inRate &&
        !av_channel_layout_compare(&swrLayout, &inLayout)) {
        av_channel_layout_uninit(&inLayout);
        return true;
    }
    QString why;
    swr = makeConverter(inLayout, AVSampleFormat(f.format), inRate, layout, AV_SAMPLE_FMT_S32, rate, &why);
    swrFormat = AVSampleFormat(f.format);
    swrRate = inRate;
    av_channel_layout_uninit(&swrLayout);
    swrLayout = inLayout;
    if (!swr) {
        damaged = true;
        error = tr("%1: %2").arg(path, why);
    }
    return bool(swr);
}

void AudioDecoder::Impl::append(const Sample *data, qint64 frames) {
    // Frames before a seek target are dropped as they come.
    const qint64 start = decodedEnd;
    decodedEnd += frames;
    if (decodedEnd <= dropBefore)
        return;
    const qint64 skip = std::max<qint64>(0, dropBefore - start);
    if (pendingPos > 0 && pendingPos >= pending.size() / 2) {
        pending.erase(pending.begin(), pending.begin() + qsizetype(pendingPos));
        pendingPos = 0;
    }
    pending.insert(pending.end(), data + skip * channels, data + frames * channels);
}

bool AudioDecoder::Impl::takeFrame() {
    const AVFrame &f = *frame;
    if (f.nb_samples <= 0)
        return true;
    // The packet's own timestamp: the "best effort" guess can be off right after a seek.
    const std::int64_t ts = f.pts;
    if (origin == AV_NOPTS_VALUE && decodedEnd == 0 && !needPosition)
        origin = ts;
    if (needPosition) {
        needPosition = false;
        if (ts == AV_NOPTS_VALUE || origin == AV_NOPTS_VALUE) {
            positionLost = true;
            return false;
        }
        decodedEnd = av_rescale_q(ts - origin, stream->time_base, AVRational{1, rate});
        firstIndexAfterSeek = decodedEnd;
    }
    if (!setupConverter(f)) {
        ended = true;
        return false;
    }
    std::vector<Sample> &converted = scratch;
    converted.resize(std::size_t(swr_get_out_samples(swr.get(), f.nb_samples) + 16) * channels);
    auto *out = reinterpret_cast<std::uint8_t *>(converted.data());
    const int n = swr_convert(swr.get(), &out, int(converted.size() / channels),
                              const_cast<const std::uint8_t **>(f.extended_data), f.nb_samples);
    if (n < 0) {
        damaged = true;
        error = tr("%1: sample conversion failed (%2)").arg(path, ffmpegError(n));
        ended = true;
        return false;
    }
    append(converted.data(), n);
    return true;
}

void AudioDecoder::Impl::resetDecoding() {
    avcodec_flush_buffers(codec.get());
    swr.reset();
    swrFormat = AV_SAMPLE_FMT_NONE;
    pending.clear();
    pendingPos = 0;
    flushSent = ended = false;
    positionLost = false;
    firstIndexAfterSeek = -1;
}

// Back to frame 0 by opening the file afresh: exact whatever the container's
// timestamps are worth.
bool AudioDecoder::Impl::restart() {
    auto fresh = std::make_unique<Impl>();
    fresh->path = path;
    Failure failure = Failure::None;
    if (!fresh->openFile(&failure)) {
        error = fresh->error;
        return false;
    }
    const qint64 knownLength = length;
    const bool wasEnded = ended;
    std::swap(input, fresh->input);
    std::swap(codec, fresh->codec);
    std::swap(swr, fresh->swr);
    std::swap(stream, fresh->stream);
    swrFormat = fresh->swrFormat;
    swrRate = fresh->swrRate;
    av_channel_layout_uninit(&swrLayout);
    av_channel_layout_copy(&swrLayout, &fresh->swrLayout);
    pending = std::move(fresh->pending);
    pendingPos = 0;
    position = 0;
    decodedEnd = fresh->decodedEnd;
    origin = fresh->origin;
    firstPacketSkip = fresh->firstPacketSkip;
    firstIndexAfterSeek = -1;
    needPosition = false;
    flushSent = fresh->flushSent;
    ended = fresh->ended;
    positionLost = false;
    badPackets = fresh->badPackets;
    // A length learnt by decoding to the end is better than the container's.
    length = wasEnded ? knownLength : fresh->length;
    return true;
}

AudioDecoder::AudioDecoder(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
AudioDecoder::~AudioDecoder() = default;

std::unique_ptr<AudioDecoder> AudioDecoder::open(const QString &path, Failure *failure, QString *error) {
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    *failure = Failure::None;
    if (!impl->frame || !impl->packet) {
        *failure = Failure::Open;
        *error = tr("Out of memory");
        return nullptr;
    }
    // A FIFO or a device would block the decoder or never end.
    if (QFileInfo::exists(path) && !files::isRegularFile(path)) {
        *failure = Failure::Open;
        *error = tr("%1 is not a regular file").arg(path);
        return nullptr;
    }
    if (!impl->openFile(failure)) {
        *error = impl->error;
        return nullptr;
    }
    return std::unique_ptr<AudioDecoder>(new AudioDecoder(std::move(impl)));
}

qint64 AudioDecoder::read(SampleBlock &out, qint64 frames) {
    Impl &m = *d;
    if (frames <= 0)
        return 0;
    while (m.pendingFrames() < frames && !m.ended)
        m.decodeOne();
    const qint64 n = std::min(frames, m.pendingFrames());
    const auto first = m.pending.begin() + qsizetype(m.pendingPos);
    out.insert(out.end(), first, first + n * m.channels);
    m.pendingPos += std::size_t(n * m.channels);
    m.position += n;
    if (m.ended && m.pendingFrames() == 0)
        m.length = m.position; // the true count, whatever the container said
    return n;
}

bool AudioDecoder::seek(qint64 target) {
    Impl &m = *d;
    target = std::max<qint64>(0, target);
    // Inside what is already decoded: just drop the frames in between.
    if (target >= m.position && target <= m.position + m.pendingFrames()) {
        m.pendingPos += std::size_t((target - m.position) * m.channels);
        m.position = target;
        return true;
    }
    qint64 backoff = m.preroll;
    for (int attempt = 0;; ++attempt) {
        const qint64 start = target - backoff;
        if (!m.timestampsUsable || attempt >= 4 || start <= 0) {
            if (!m.restart())
                return false;
            if (target < m.decodedEnd) {
                m.pendingPos = std::size_t(target * m.channels);
                m.position = target;
                return true;
            }
            m.pending.clear();
            m.position = target;
        } else {
            const std::int64_t ts =
                m.origin + av_rescale_q(start, AVRational{1, m.rate}, m.stream->time_base);
            if (avformat_seek_file(m.input.get(), m.stream->index, INT64_MIN, ts, ts, 0) < 0) {
                m.timestampsUsable = false;
                continue;
            }
            m.resetDecoding();
            m.needPosition = true;
        }
        m.dropBefore = target;
        while (!m.ended && !m.positionLost && (m.needPosition || m.decodedEnd <= target))
            m.decodeOne();
        if (m.positionLost) {
            m.timestampsUsable = false;
            continue;
        }
        if (m.firstIndexAfterSeek > target) { // landed too late
            backoff = std::max<qint64>(backoff * 4, m.rate);
            continue;
        }
        m.dropBefore = 0;
        m.firstIndexAfterSeek = -1;
        m.position = std::min(target, m.decodedEnd);
        if (m.ended && m.pendingFrames() == 0)
            m.length = m.decodedEnd;
        return true;
    }
}

int AudioDecoder::channels() const {
    return d->channels;
}
int AudioDecoder::sampleRate() const {
    return d->rate;
}
qint64 AudioDecoder::length() const {
    return d->length;
}
qint64 AudioDecoder::position() const {
    return d->position;
}
bool AudioDecoder::damaged() const {
    return d->damaged;
}
QString AudioDecoder::errorText() const {
    return d->error;
}
QString AudioDecoder::codecName() const {
    return QString::fromUtf8(d->codec->codec->name);
}

int AudioDecoder::storedBits() const {
    const AVCodecParameters *p = d->stream->codecpar;
    const AVCodecDescriptor *desc = avcodec_descriptor_get(p->codec_id);
    if (!desc || !(desc->props & AV_CODEC_PROP_LOSSLESS))
        return 0;
    if (p->bits_per_raw_sample > 0)
        return p->bits_per_raw_sample;
    if (p->bits_per_coded_sample > 0)
        return p->bits_per_coded_sample;
    return av_get_bytes_per_sample(AVSampleFormat(p->format)) * 8;
}

} // namespace varnelo
