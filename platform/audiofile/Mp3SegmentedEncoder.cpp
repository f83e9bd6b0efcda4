// One MP3 stream encoded on several cores: the audio is cut into segments on
// frame boundaries, every segment goes through its own LAME instance on a
// worker thread, and the frames are written in order into one file with one
// info frame for the whole stream.
//
// The joins. Each instance starts a lead-in of frames before its segment, so
// the filter bank, the psychoacoustic model, the block-type choice and the
// bit reservoir have the history a continuous encode has; the lead-in's frames
// are dropped. A frame's audio data may begin in earlier frames (the bit
// reservoir), which at a join belong to another encoder, so the first kept
// frame is re-packed to hold all of its data itself (main_data_begin 0): it
// is written at a higher bitrate whose larger slot takes the borrowed bytes,
// and the spare room goes between its data and the next frame's, so no later
// frame's pointer changes. The frame decodes exactly as LAME made it, with the
// reservoir a continuous encode had; emptying the reservoir at the join
// instead (LAME's nogap flush) starves the next dozen frames by a tenth of
// their bits, about 1 dB over 150 ms. That stays the way when no MPEG bitrate
// is large enough (the frame already at the top rate). The last kept frame of
// a segment is completed by a nogap flush, which fills its slot with
// ancillary bits.
#include "platform/audiofile/LameSession.h"
#include "platform/audiofile/Mp3Stream.h"
#include "platform/audiofile/SegmentPipeline.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <vector>

namespace varnelo {

namespace {

// The lead-in. LAME fills an empty reservoir by a tenth of a frame's bits per
// frame, so a lead-in shorter than that fill leaves the first kept frames
// with fewer bits than a continuous encode gives them (measured: 10 frames
// cost 1 dB at 128 kbps, more at lower rates); the psychoacoustic model
// settles within a few frames on top. VBR draws on the reservoir less and
// takes the longest lead-in CBR needs at the usual rates.
constexpr int SettleFrames = 10;
constexpr int VbrLeadInFrames = 32;

int leadInFrames(lame_global_flags *g) {
    const int kbps = lame_get_VBR(g) == vbr_off   ? lame_get_brate(g)
                     : lame_get_VBR(g) == vbr_abr ? lame_get_VBR_mean_bitrate_kbps(g)
                                                  : 0;
    const int rate = lame_get_out_samplerate(g);
    if (kbps <= 0 || rate <= 0)
        return VbrLeadInFrames;
    const bool mpeg1 = lame_get_framesize(g) == 1152;
    const bool mono = lame_get_mode(g) == MONO;
    const int side = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const double frameBits = ((mpeg1 ? 144000.0 : 72000.0) * kbps / rate - 4 - side) * 8;
    const double reservoirBits = (mpeg1 ? 511 : 255) * 8 * 0.9;
    return std::clamp(int(std::ceil(reservoirBits / (0.1 * frameBits))) + SettleFrames, 16, 64);
}

// About 27 s at 44.1 kHz: a lead-in of 23 frames at 128 kbps costs 2 %, and
// a segment is encoded in well under a second.
constexpr int DefaultSegmentFrames = 1024;
// Samples per call while the frame count nears a target: one frame at most.
constexpr std::size_t StepFrames = 576;
constexpr std::size_t CallFrames = 8192;

struct Segment : SegmentPipeline::Job {
    std::int64_t index = 0;
    int leadIn = 0; // frames dropped at the start
    int keep = -1;  // frames kept; -1: to the end of the stream
    std::vector<Sample> pcm;

    std::vector<unsigned char> bytes; // the kept frames (the first segment: after the info frame's room)
    std::vector<unsigned char> infoFrame;
    int encoderDelay = 0;
    QString error;
};

// Encodes one segment; runs on a worker thread and touches nothing shared.
// `repack`: the lead-in is encoded on into the segment and its frames dropped
// by re-packing the first kept one; otherwise the reservoir is emptied there.
void encodeSegment(Segment &s, const LameSettings &settings, SoundFormat input, const std::atomic<bool> &stop,
                   bool repack) {
    const bool first = s.index == 0;
    LamePtr lame = startLame(settings, input, first && settings.writeVbrHeader, &s.error);
    if (!lame)
        return;
    lame_global_flags *g = lame.get();
    const auto channels = static_cast<std::size_t>(input.channels);
    const std::size_t total = s.pcm.size() / channels;
    const auto spf = static_cast<std::size_t>(lame_get_framesize(g));
    std::vector<unsigned char> out(lameBufferBytes(CallFrames));
    std::size_t at = 0;
    bool keeping = s.leadIn == 0 || repack;
    const auto put = [&](int bytes, const char *what) {
        if (bytes < 0) {
            s.error =
                QStringLiteral("The MP3 encoder failed to %1 (code %2).").arg(QLatin1String(what)).arg(bytes);
            return false;
        }
        if (keeping)
            s.bytes.insert(s.bytes.end(), out.begin(), out.begin() + bytes);
        return true;
    };
    // Feeds audio until LAME has encoded `target` frames (never one more) or the audio runs out.
    const auto feed = [&](int target) {
        while (lame_get_frameNum(g) < target && at < total) {
            if (stop.load(std::memory_order_relaxed)) {
                s.error = QStringLiteral("The MP3 encoding was stopped.");
                return false;
            }
            const auto ahead = static_cast<std::size_t>(std::max(target - lame_get_frameNum(g) - 1, 0));
            const std::size_t n = std::min(total - at, std::clamp(ahead * spf, StepFrames, CallFrames));
            if (!put(lameEncode(g, input.channels, s.pcm.data() + at * channels, n, out.data(), out.size()),
                     "encode"))
                return false;
            at += n;
        }
        return true;
    };
    const auto reach = [&](int target) {
        if (!feed(target))
            return false;
        if (lame_get_frameNum(g) == target)
            return put(lame_encode_flush_nogap(g, out.data(), int(out.size())), "flush");
        s.error = QStringLiteral("An MP3 segment did not end on its frame (%1 of %2 frames).")
                      .arg(lame_get_frameNum(g))
                      .arg(target);
        return false;
    };
    if (s.leadIn > 0 && !repack) {
        if (!reach(s.leadIn))
            return;
        keeping = true;
    }
    if (s.keep >= 0 ? !reach(s.leadIn + s.keep)
                    : !feed(std::numeric_limits<int>::max()) ||
                          !put(lame_encode_flush(g, out.data(), int(out.size())), "flush"))
        return;
    if (first) {
        s.encoderDelay = lame_get_encoder_delay(g);
        // Every field that depends on the whole stream is written again at the end.
        std::vector<unsigned char> frame(8192);
        const std::size_t size = lame_get_lametag_frame(g, frame.data(), frame.size());
        if (size > frame.size()) {
            s.error = QStringLiteral("The MP3 info frame does not fit its buffer.");
            return;
        }
        frame.resize(size);
        s.infoFrame = std::move(frame);
    }
    if (s.leadIn > 0 && repack && !dropFramesSelfContained(s.bytes, s.leadIn)) {
        s.bytes.clear();
        encodeSegment(s, settings, input, stop, false);
    }
}

class SegmentedMp3Encoder final : public AudioEncoder {
public:
    SegmentedMp3Encoder(const LameSettings &settings, SoundFormat input, EncoderThreads threads)
        : m_settings(settings), m_input(input), m_threads(std::max(threads.threads, 1)),
          m_segmentFrames(threads.segmentFrames > 0 ? threads.segmentFrames : DefaultSegmentFrames) {}

    ~SegmentedMp3Encoder() override { m_pipeline.stop(); }

    SoundFormat inputFormat() const override { return m_input; }

    bool open(const QString &path) override {
        m_pipeline.stop();
        m_file.close();
        m_error.clear();
        m_finished = false;
        m_stopped = false;
        m_open.clear();
        m_spare.clear();
        m_samplesIn = 0;
        m_opened = 0;
        m_written = {};
        m_totals = {};
        m_seek = {};
        m_infoFrame.clear();
        // A first instance checks the settings and tells the frame size.
        LamePtr probe = startLame(m_settings, m_input, false, &m_error);
        if (!probe)
            return false;
        m_spf = lame_get_framesize(probe.get());
        m_leadIn = leadInFrames(probe.get());
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_error = QStringLiteral("Cannot create \"%1\": %2").arg(path, m_file.errorString());
            return false;
        }
        m_pipeline.start(m_threads, [this](SegmentPipeline::Job &job, const std::atomic<bool> &stop) {
            encodeSegment(static_cast<Segment &>(job), m_settings, m_input, stop, true);
        });
        return true;
    }

    bool write(const Sample *interleaved, std::size_t frames) override {
        if (!m_file.isOpen() || m_finished) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("The MP3 file is not open.");
            return false;
        }
        if (!m_error.isEmpty())
            return false;
        if (m_stopped)
            return true;
        const auto channels = static_cast<std::size_t>(m_input.channels);
        const std::int64_t from = m_samplesIn, to = from + static_cast<std::int64_t>(frames);
        while (segmentFrom(m_opened) < to)
            openSegment();
        // Straight into the segments' own buffers; lead-ins overlap the segment before.
        for (const auto &seg : m_open) {
            const std::int64_t a = std::max(from, segmentFrom(seg->index));
            const std::int64_t b = std::min(to, segmentTo(seg->index));
            if (a < b)
                seg->pcm.insert(seg->pcm.end(), interleaved + std::size_t(a - from) * channels,
                                interleaved + std::size_t(b - from) * channels);
        }
        m_samplesIn = to;
        // A segment goes out once the audio after it that LAME looks ahead at is here.
        while (!m_open.empty() && m_samplesIn >= segmentTo(m_open.front()->index)) {
            m_pipeline.submit(m_open.front());
            m_open.pop_front();
        }
        return writeDone(false);
    }

    bool finish() override {
        if (m_finished)
            return m_error.isEmpty();
        if (!m_file.isOpen()) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("The MP3 file is not open.");
            return false;
        }
        m_finished = true;
        bool ok = m_error.isEmpty();
        if (ok && !m_stopped) {
            cutLast();
            ok = writeDone(true);
        }
        ok = ok && writeInfoFrame();
        m_pipeline.stop();
        if (!m_file.flush() && ok) {
            m_error = QStringLiteral("Cannot write the MP3 file: %1").arg(m_file.errorString());
            ok = false;
        }
        m_file.close();
        return ok;
    }

    // The segments under way end within one encoder call each (their workers
    // see the pipeline's stop); the file keeps the segments written before.
    void stop() override {
        if (!m_file.isOpen() || m_finished)
            return;
        m_stopped = true;
        m_pipeline.stop();
        m_open.clear();
    }

    QString errorText() const override { return m_error; }

private:
    // First sample of segment k's kept frames on the encoder's own time line.
    std::int64_t segmentStart(std::int64_t k) const { return k * m_segmentFrames * m_spf; }

    std::int64_t segmentFrom(std::int64_t k) const {
        return std::max<std::int64_t>(k * m_segmentFrames - m_leadIn, 0) * m_spf;
    }
    std::int64_t segmentTo(std::int64_t k) const { return segmentStart(k + 1) + m_spf; }

    void openSegment() {
        auto s = std::make_shared<Segment>();
        s->index = m_opened++;
        s->leadIn = static_cast<int>(s->index * m_segmentFrames - segmentFrom(s->index) / m_spf);
        s->keep = static_cast<int>(m_segmentFrames);
        // A buffer of a segment written earlier: no fresh pages for every segment.
        if (!m_spare.empty()) {
            s->pcm = std::move(m_spare.back());
            m_spare.pop_back();
            s->pcm.clear();
        }
        s->pcm.reserve(std::size_t(segmentTo(s->index) - segmentFrom(s->index)) *
                       static_cast<std::size_t>(m_input.channels));
        m_open.push_back(std::move(s));
    }

    // The stream ends in the oldest open segment: it takes the rest and LAME's
    // final flush; a later one opened for its lead-in has nothing to keep.
    void cutLast() {
        if (m_open.empty())
            openSegment();
        auto last = m_open.front();
        m_open.clear();
        // A long rest is cut in two, so that the workers finish together.
        const auto channels = static_cast<std::size_t>(m_input.channels);
        const std::int64_t first = last->index * m_segmentFrames; // first kept frame
        const std::int64_t half = (m_samplesIn / m_spf - first) / 2;
        if (m_threads > 1 && half > 4 * std::int64_t(m_leadIn)) {
            auto tail = std::make_shared<Segment>();
            tail->index = last->index + 1; // only the first segment's index matters
            tail->leadIn = m_leadIn;
            const std::int64_t from = (first + half - m_leadIn) * m_spf - segmentFrom(last->index);
            tail->pcm.assign(last->pcm.begin() + std::ptrdiff_t(std::size_t(from) * channels),
                             last->pcm.end());
            last->keep = static_cast<int>(half);
            m_pipeline.submit(std::move(last));
            last = std::move(tail);
        }
        last->keep = -1;
        m_pipeline.submit(std::move(last));
    }

    // Writes the finished segments in order; `all`: waits for every one.
    bool writeDone(bool all) {
        while (auto job = m_pipeline.next(all)) {
            auto &s = static_cast<Segment &>(*job);
            if (!take(s))
                return false;
            m_spare.push_back(std::move(s.pcm));
        }
        return true;
    }

    bool take(Segment &s) {
        if (!s.error.isEmpty()) {
            m_error = s.error;
            return false;
        }
        std::size_t at = 0;
        if (s.index == 0) {
            m_infoFrame = std::move(s.infoFrame);
            m_totals.encoderDelay = s.encoderDelay;
            at = m_infoFrame.size(); // LAME's room for the info frame
        }
        const std::size_t audioStart = at;
        int frames = 0;
        while (at < s.bytes.size()) {
            const auto header = readMp3FrameHeader(&s.bytes[at], s.bytes.size() - at);
            if (!header || header->size > s.bytes.size() - at)
                break;
            if (frames == 0 && s.leadIn > 0 && mp3MainDataBegin(&s.bytes[at], header->size, *header) != 0) {
                m_error = QStringLiteral("An MP3 segment's first frame borrows bits from before the join.");
                return false;
            }
            m_seek.addFrame(header->bitrateKbps);
            at += header->size;
            ++frames;
        }
        if (at != s.bytes.size() || (s.keep >= 0 && frames != s.keep)) {
            m_error = QStringLiteral("An MP3 segment came out with %1 frames instead of %2.")
                          .arg(frames)
                          .arg(s.keep);
            return false;
        }
        m_totals.musicCrc =
            crc16Update(m_totals.musicCrc, s.bytes.data() + audioStart, s.bytes.size() - audioStart);
        m_written += static_cast<std::int64_t>(s.bytes.size());
        const auto size = static_cast<qint64>(s.bytes.size());
        if (m_file.write(reinterpret_cast<const char *>(s.bytes.data()), size) != size) {
            m_error = QStringLiteral("Cannot write the MP3 file: %1").arg(m_file.errorString());
            return false;
        }
        return true;
    }

    // LAME's info frame with the counts, seek table, padding and checksums of the joined stream.
    bool writeInfoFrame() {
        if (m_infoFrame.empty())
            return true;
        m_totals.frames = m_seek.frames();
        m_totals.bytes = static_cast<std::uint32_t>(m_written);
        m_totals.toc = m_seek.toc();
        // Stopped, the stream ends with its last whole segment: no padding to trim.
        m_totals.padding = m_stopped ? 0
                                     : static_cast<int>(std::int64_t(m_totals.frames) * m_spf -
                                                        m_totals.encoderDelay - m_samplesIn);
        if (!rewriteMp3InfoFrame(m_infoFrame, m_totals)) {
            m_error = QStringLiteral("The MP3 info frame could not be completed.");
            return false;
        }
        const qint64 end = m_file.pos();
        const auto size = static_cast<qint64>(m_infoFrame.size());
        if (!m_file.seek(0) ||
            m_file.write(reinterpret_cast<const char *>(m_infoFrame.data()), size) != size ||
            !m_file.seek(end)) {
            m_error = QStringLiteral("Cannot write the MP3 info frame: %1").arg(m_file.errorString());
            return false;
        }
        return true;
    }

    const LameSettings m_settings;
    const SoundFormat m_input;
    const int m_threads;
    const std::int64_t m_segmentFrames;
    std::int64_t m_spf = 1152;
    int m_leadIn = VbrLeadInFrames;

    QFile m_file;
    QString m_error;
    bool m_finished = false;
    bool m_stopped = false;

    std::deque<std::shared_ptr<Segment>> m_open; // being filled, in order
    std::vector<std::vector<Sample>> m_spare;    // buffers of segments written
    std::int64_t m_samplesIn = 0;
    std::int64_t m_opened = 0; // segments opened so far

    SegmentPipeline m_pipeline;

    std::vector<unsigned char> m_infoFrame;
    Mp3SeekTable m_seek;
    Mp3StreamTotals m_totals;
    std::int64_t m_written = 0;
};

} // namespace

std::unique_ptr<AudioEncoder> createSegmentedMp3Encoder(const LameSettings &settings, SoundFormat input,
                                                        EncoderThreads threads) {
    return std::make_unique<SegmentedMp3Encoder>(settings, input, threads);
}

} // namespace varnelo
