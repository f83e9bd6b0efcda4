#include "platform/sound/AudioRecord.h"
#include "platform/sound/SoundOutput.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/Recorder.h"
#include "radio/RecorderInbox.h"
#include "radio/StreamTitle.h"

#include <cmath>

// The two ways sound reaches the file: captured blocks through the encoder, or
// the station's own frames as they came; and the cuts between titles.
namespace varnelo {

void Recorder::attachStream() {
    detachStream();
    marks_.clear();
    if (streamHandle() == 0)
        return;
    inbox_ = std::make_shared<Inbox>();
    const std::shared_ptr<Inbox> inbox = inbox_;
    StreamLibrary::Tap tap;
    if (mode_ == Mode::Broadcast) {
        tap.frame = [inbox](const StreamFrame &frame) {
            std::lock_guard lock(inbox->mutex);
            inbox->items.push_back({false, frame, {}});
        };
        tap.frameTitle = [inbox](const QString &metadata) {
            std::lock_guard lock(inbox->mutex);
            inbox->items.push_back({true, {}, metadata});
        };
    } else {
        tap.sound = stationFeed_;
        if (split_)
            tap.title = [inbox](const QString &metadata, std::uint64_t channelFrame) {
                std::lock_guard lock(inbox->mutex);
                inbox->marks.push_back({metadata, channelFrame});
            };
    }
    tapId_ = streams_.AddTap(streamHandle(), std::move(tap));
    tapHandle_ = tapId_ != 0 ? streamHandle() : 0;
}

void Recorder::detachStream() {
    if (tapId_ != 0)
        streams_.RemoveTap(tapHandle_, tapId_);
    tapId_ = 0;
    tapHandle_ = 0;
}

bool Recorder::stationChanged() const {
    return tapHandle_ != streamHandle();
}

void Recorder::AudioRecord1EndArrayRecord() {
    SampleBlock block = AudioRecord1_.GetRecordedBlock();
    if (block.empty() || mode_ != Mode::Encoded || writeFailed_)
        return;
    const std::size_t channels = std::size_t(std::max(1, AudioRecord1_.RecordFormat().channels));
    std::size_t done = 0; // samples of the block in a file
    if (split_) {
        if (stationChanged()) {
            // Another station plays from here on: its own file, after its own title.
            attachStream();
            if (tapHandle_ != 0 &&
                !splitPiece(ParseStreamTitle(streams_.MetaTag(tapHandle_)).value_or(QString())))
                return;
        }
        if (inbox_) {
            std::lock_guard lock(inbox_->mutex);
            for (const Inbox::TitleMark &mark : inbox_->marks)
                if (const auto title = ParseStreamTitle(mark.metadata))
                    marks_.push_back({*title, mark.channelFrame});
            inbox_->marks.clear();
        }
        const qint64 frames = qint64(block.size() / channels);
        while (!marks_.empty()) {
            const Mark mark = marks_.front();
            const auto played = streams_.ChannelPlayedFrames(tapHandle_);
            if (!played) {
                marks_.clear();
                break;
            }
            // The record frame the title's audio reaches the recording at: what is
            // still queued for the output plays from now on.
            const double ratio = double(AudioRecord1_.RecordFormat().sampleRate) / SoundOutput::MixRate;
            const qint64 at = AudioRecord1_.RecordedSamples() +
                              std::llround((double(mark.channelFrame) - double(*played)) * ratio);
            const qint64 cut = std::max(at - blockFramesWritten_, qint64(done / channels));
            if (cut >= frames)
                break; // in a later block
            marks_.pop_front();
            if (mark.title == piece_.title)
                continue;
            const std::size_t end = std::size_t(cut) * channels;
            if (!writeBlock(block.data() + done, end - done))
                return;
            done = end;
            if (!splitPiece(mark.title))
                return;
        }
    }
    if (done == 0)
        writeWhole(block); // the usual case: no copy
    else
        writeBlock(block.data() + done, block.size() - done);
}

void Recorder::writeWhole(const SampleBlock &block) {
    const std::size_t channels = std::size_t(std::max(1, AudioRecord1_.RecordFormat().channels));
    blockFramesWritten_ += qint64(block.size() / channels);
    if (AudioFile_.WriteSamples(block)) {
        piece_.frames += std::int64_t(block.size() / channels);
        publishPiece(false);
    } else {
        writeFailed(AudioFile_.ErrorText());
    }
}

bool Recorder::writeBlock(const Sample *samples, std::size_t count) {
    if (count == 0)
        return true;
    const std::size_t channels = std::size_t(std::max(1, AudioRecord1_.RecordFormat().channels));
    const bool ok = AudioFile_.WriteSamples(SampleBlock(samples, samples + count));
    blockFramesWritten_ += qint64(count / channels);
    if (ok) {
        piece_.frames += std::int64_t(count / channels);
        publishPiece(false);
        return true;
    }
    writeFailed(AudioFile_.ErrorText());
    return false;
}

void Recorder::writeFailed(const QString &why) {
    if (writeFailed_)
        return;
    // What was written stays, closed and listed; the recording ends.
    writeFailed_ = true;
    if (hooks_.reportError)
        hooks_.reportError(QStringLiteral("Cannot write \"%1\": %2").arg(piece_.path, why));
    QMetaObject::invokeMethod(this, &Recorder::StopRecording, Qt::QueuedConnection);
}

bool Recorder::splitPiece(const QString &title) {
    // A piece that a title change began is split again only after a few seconds:
    // a station that sends a new title every few bytes gets a few files, not
    // thousands of unreadable ones; the audio in between stays in this file.
    constexpr std::int64_t MinSplitPieceSeconds = 2;
    if (piece_.bySplit && piece_.frames < MinSplitPieceSeconds * std::max(1, piece_.sampleRate))
        return true;
    finishPiece();
    if (!openPiece(baseName(true, title), title))
        return false;
    piece_.bySplit = true;
    return true;
}

void Recorder::drainBroadcast() {
    if (mode_ != Mode::Broadcast || !inbox_ || writeFailed_)
        return;
    std::deque<Inbox::Item> items;
    {
        std::lock_guard lock(inbox_->mutex);
        items.swap(inbox_->items);
    }
    for (const Inbox::Item &item : items) {
        if (item.title) {
            const auto title = ParseStreamTitle(item.metadata);
            if (split_ && title && *title != piece_.title && !splitPiece(*title))
                return;
            continue;
        }
        const StreamFrame &frame = item.frame;
        const bool ogg = frame.codec != StreamCodec::Mp3;
        if (frame.header) {
            if (!inHeaders_)
                headers_.clear();
            inHeaders_ = true;
            headers_.push_back(frame.bytes);
        } else {
            inHeaders_ = false;
        }
        if (!piece_.started) {
            // A file begins with the Ogg stream's headers and a page no packet continues onto.
            if (ogg && (frame.header || !frame.fresh || headers_.empty()))
                continue;
            if (ogg)
                for (const QByteArray &header : headers_)
                    if (!writeFrameBytes(header))
                        return;
            piece_.started = true;
        }
        if (!writeFrameBytes(frame.bytes))
            return;
        if (frame.sampleRate > 0) {
            piece_.frames += frame.samples;
            piece_.sampleRate = frame.sampleRate;
            broadcastMs_ += double(frame.samples) * 1000.0 / frame.sampleRate;
        }
    }
    publishPiece(false);
    showTime(std::int64_t(broadcastMs_));
    // The tap stays on the station it was put on; once taken off (stopping) nothing switches.
    if (tapId_ != 0 && stationChanged())
        switchStation();
}

bool Recorder::writeFrameBytes(const QByteArray &bytes) {
    if (out_.write(bytes) == bytes.size())
        return true;
    writeFailed(out_.errorString());
    return false;
}

void Recorder::switchStation() {
    // Another station, or none: the station's frames end here. The recording goes
    // on in a new file, as broadcast again when the new station allows it.
    finishPiece();
    detachStream();
    drain_.stop();
    mode_ = chooseBroadcast(kind_) ? Mode::Broadcast : Mode::Encoded;
    if (mode_ == Mode::Encoded && hooks_.configureEncoder)
        hooks_.configureEncoder(kind_, AudioFile_, encoder_);
    const QString title =
        streamHandle() ? ParseStreamTitle(streams_.MetaTag(streamHandle())).value_or(QString()) : QString();
    if (!openPiece(baseName(split_, title), title) || !startCapture())
        return;
    if (split_ || mode_ == Mode::Broadcast)
        attachStream();
}

} // namespace varnelo
