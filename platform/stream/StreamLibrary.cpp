#include "platform/stream/StreamLibrary.h"

#include "platform/sound/SoundOutput.h"
#include "platform/stream/IcyConnection.h"
#include "platform/stream/StreamDecoder.h"
#include "platform/stream/StreamPlaylist.h"

#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <thread>
#include <vector>

namespace varnelo {
namespace {

thread_local StreamError lastError = StreamError::Ok;
thread_local QString lastErrorText;

void setError(StreamError code, const QString &text = QString()) {
    lastError = code;
    lastErrorText = text;
}

std::int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// FFmpeg demuxer for the content types radio servers send; others are probed.
const char *formatHint(const QByteArray &contentType) {
    if (contentType == "audio/mpeg" || contentType == "audio/mp3" || contentType == "audio/x-mpeg" ||
        contentType == "audio/mpeg3")
        return "mp3";
    if (contentType == "audio/aac" || contentType == "audio/aacp" || contentType == "audio/x-aac")
        return "aac";
    if (contentType == "application/ogg" || contentType == "audio/ogg" || contentType == "audio/x-ogg" ||
        contentType == "audio/vorbis" || contentType == "audio/opus")
        return "ogg";
    return nullptr;
}

} // namespace

class StreamLibrary::Stream {
public:
    Stream(SoundOutput &output, const Options &options, const QUrl &url, StatusCallback status)
        : options_(options), url_(url), status_(std::move(status)) {
        const std::size_t capacity = std::size_t(SoundOutput::MixRate) * std::size_t(options.bufferMs) / 1000;
        channel_ = output.openChannel(SoundFormat{SoundOutput::MixRate, SoundOutput::MixChannels}, capacity);
        if (channel_)
            channel_->setPaused(true);
    }
    ~Stream() { stop(); }

    // Runs the connection on the stream's thread and waits for its outcome,
    // asking `cancel` between short waits.
    bool start(const CancelCheck &cancel) {
        if (!channel_) {
            setError(StreamError::Memory, QStringLiteral("no sound channel could be opened"));
            return false;
        }
        // A plain thread: joining it orders everything it did before whatever
        // follows, for the sanitizer too (Qt's own thread end is invisible to it).
        thread_ = std::thread([this] { run(); });
        std::unique_lock lock(mutex_);
        bool cancelled = false;
        while (!wake_.wait_for(lock, std::chrono::milliseconds(20),
                               [this] { return outcome_ != Outcome::Pending; })) {
            if (!cancelled && cancel && cancel()) {
                cancelled = true;
                stop_ = true; // every wait of the stream's thread sees it within tens of milliseconds
                wake_.notify_all();
            }
        }
        if (outcome_ == Outcome::Connected && !cancelled)
            return true;
        lock.unlock();
        stop();
        if (cancelled)
            setError(StreamError::Cancelled, QStringLiteral("the connect was stopped"));
        else
            setError(code_, text_);
        return false;
    }

    void stop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        std::lock_guard join(joinMutex_);
        if (thread_.joinable())
            thread_.join();
    }

    bool play() {
        std::lock_guard lock(mutex_);
        if (stopped_)
            return false;
        channel_->setPaused(false);
        paused_ = false;
        return true;
    }
    void pause() {
        std::lock_guard lock(mutex_);
        channel_->setPaused(true);
        paused_ = true;
    }
    void halt() {
        stop();
        std::lock_guard lock(mutex_);
        stopped_ = true;
        channel_->setPaused(true);
        channel_->clear();
    }
    Activity activity() const {
        std::lock_guard lock(mutex_);
        if (stopped_ || outcome_ == Outcome::GaveUp)
            return Activity::Stopped;
        return paused_ ? Activity::Paused : Activity::Playing;
    }

    std::optional<QStringList> icyTags() const {
        std::lock_guard lock(mutex_);
        return icyTags_;
    }
    std::optional<QString> metaTag() const {
        std::lock_guard lock(mutex_);
        return meta_;
    }
    void setSync(MetaCallback callback) {
        std::lock_guard lock(mutex_);
        metaCallback_ = std::move(callback);
    }

    int addTap(Tap tap) {
        std::lock_guard lock(tapMutex_);
        const int id = nextTap_++;
        taps_.emplace(id, TapEntry{std::move(tap), false});
        return id;
    }
    void removeTap(int id) {
        // Delivery holds the lock: once it is ours no tap runs.
        std::lock_guard lock(tapMutex_);
        taps_.erase(id);
    }
    std::uint64_t playedFrames() const {
        if (!options_.audible)
            return handedFrames_;
        return channel_ ? channel_->playedFrames() : 0;
    }
    void setDecoding(bool decoding) { decoding_ = decoding; }
    StreamCodec frameCodec() const {
        std::lock_guard lock(mutex_);
        return frameCodec_;
    }

private:
    enum class Outcome { Pending, Connected, Failed, GaveUp };

    void run();
    bool open(const QUrl &url, int depth);
    bool openAudio(std::unique_ptr<IcyConnection> connection, const QUrl &entry);
    bool openHls(const QUrl &url);
    bool firstAudio(StreamDecoder &decoder);
    void playUntilDropped();
    bool writePending();
    // Without decoding: reads the next bytes for the taps alone.
    StreamDecoder::Result passFrames();
    // Where a new metadata text came from: the ICY blocks between the bytes,
    // or the container (its position is the packet just decoded).
    enum class MetaOrigin { Icy, Container };
    void handleMetadata(const QString &text, MetaOrigin origin = MetaOrigin::Container);
    // True when the bytes completed at least one frame.
    bool takeAudioBytes(const unsigned char *data, int size);
    void placeTitleMarks(const StreamDecoder &decoder);
    void deliverFrames(const StreamFramer::Output &output);
    void deliverTitleMark(const QString &text, std::uint64_t channelFrame);
    void report(StreamStatus status, const QString &text) {
        if (status_)
            status_(status, text);
    }
    bool stopping() const {
        std::lock_guard lock(mutex_);
        return stop_;
    }
    bool aborted() const {
        const std::int64_t now = steadyMs();
        return stopping() || now > deadline_.load() || now > entryDeadline_.load();
    }
    // One deadline for a whole connect (every playlist entry and level), and
    // for each stretch of playing without audio.
    void extendDeadline(int ms) {
        deadline_ = steadyMs() + ms;
        entryDeadline_ = std::numeric_limits<std::int64_t>::max();
    }
    bool fail(StreamError code, const QString &text) {
        code_ = code;
        text_ = text;
        return false;
    }
    bool failConnection(const IcyConnection &connection);
    bool failTimeout() {
        return fail(
            StreamError::Timeout,
            QStringLiteral("the server sent no audio for %1 seconds").arg(options_.readTimeoutMs / 1000.0));
    }
    bool sleepInterruptibly(int ms) {
        std::unique_lock lock(mutex_);
        return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
    }

    const Options options_;
    const QUrl url_;
    const StatusCallback status_;
    std::shared_ptr<SoundChannel> channel_;
    std::thread thread_;
    std::mutex joinMutex_; // stop() may come from two threads at once (stop and free)

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;    // guarded by mutex_
    bool stopped_ = false; // guarded by mutex_
    bool paused_ = true;   // guarded by mutex_
    Outcome outcome_ = Outcome::Pending;
    std::optional<QStringList> icyTags_;
    std::optional<QString> meta_;
    MetaCallback metaCallback_;
    StreamError code_ = StreamError::Unknown; // written by the stream thread before publishing
    QString text_;
    StreamCodec frameCodec_ = StreamCodec::Unknown; // guarded by mutex_
    std::atomic<bool> decoding_{true};
    std::atomic<std::uint64_t> handedFrames_{0}; // framesWritten_, for other threads

    // Taps are called with tapMutex_ held, so removing one waits for its call to end.
    struct TapEntry {
        Tap tap;
        bool primed = false; // has had the current Ogg header pages
    };
    std::mutex tapMutex_;
    std::map<int, TapEntry> taps_;
    int nextTap_ = 1;

    // The stream thread's own.
    std::atomic<std::int64_t> deadline_{0};
    std::atomic<std::int64_t> entryDeadline_{std::numeric_limits<std::int64_t>::max()};
    std::unique_ptr<IcyConnection> connection_; // outlives decoder_, which reads from it
    std::unique_ptr<StreamDecoder> decoder_;
    QUrl entry_;
    bool hls_ = false;
    std::vector<float> pending_;
    std::uint64_t framesWritten_ = 0; // into the channel since it opened
    std::unique_ptr<StreamFramer> framer_;
    std::vector<unsigned char> passBuffer_;
    bool icyTitles_ = false;           // the connection carries ICY metadata
    std::int64_t connectionBytes_ = 0; // audio bytes read from this connection
    struct TitleMark {
        QString text;
        std::int64_t byte; // the audio byte of the connection it was sent before
    };
    std::deque<TitleMark> titleMarks_;
};

void StreamLibrary::Stream::run() {
    // The connection's socket belongs to this thread: it closes here, as the thread ends.
    struct Release {
        Stream *self;
        ~Release() {
            self->decoder_.reset();
            self->connection_.reset();
        }
    } release{this};
    extendDeadline(options_.connectTimeoutMs);
    const bool connected = open(url_, 0);
    {
        std::lock_guard lock(mutex_);
        outcome_ = connected ? Outcome::Connected : Outcome::Failed;
    }
    wake_.notify_all();
    if (!connected)
        return;
    for (;;) {
        playUntilDropped();
        if (stopping())
            return;
        // Failures in a row are retried with a growing pause until they have
        // lasted reconnectGiveUpMs; a reconnect that plays starts afresh.
        const std::int64_t lostAt = steadyMs();
        const QString lostBecause = text_;
        bool back = false;
        for (int attempt = 1; !back && steadyMs() - lostAt < options_.reconnectGiveUpMs; ++attempt) {
            const int delay = reconnectDelayMs(options_, attempt);
            report(StreamStatus::Reconnecting, QStringLiteral("Connection lost: %1. Reconnecting in %2 s")
                                                   .arg(lostBecause)
                                                   .arg(delay / 1000.0));
            if (!sleepInterruptibly(delay))
                return;
            decoder_.reset();
            connection_.reset();
            extendDeadline(options_.connectTimeoutMs);
            back = hls_ ? openHls(entry_) : open(entry_, options_.maxPlaylistDepth);
            if (stopping())
                return;
        }
        if (!back) {
            {
                std::lock_guard lock(mutex_);
                outcome_ = Outcome::GaveUp;
            }
            report(StreamStatus::Failed,
                   QStringLiteral("Connection lost: %1. Reconnecting failed for %2 s: %3")
                       .arg(lostBecause)
                       .arg((steadyMs() - lostAt) / 1000)
                       .arg(text_));
            return;
        }
        report(StreamStatus::Reconnected, QStringLiteral("reconnected"));
    }
}

int reconnectDelayMs(const StreamLibrary::Options &options, int attempt) {
    std::int64_t delay = options.reconnectDelayMs;
    for (int i = 1; i < attempt && delay < options.reconnectMaxDelayMs; ++i)
        delay *= 2;
    return int(std::min<std::int64_t>(delay, options.reconnectMaxDelayMs));
}

bool StreamLibrary::Stream::failConnection(const IcyConnection &connection) {
    switch (connection.failure()) {
    case IcyConnection::Failure::Aborted:
        if (stopping())
            return fail(StreamError::Unknown, QStringLiteral("stopped"));
        return fail(StreamError::Timeout, QStringLiteral("the server did not answer in time"));
    case IcyConnection::Failure::Protocol:
        return fail(StreamError::Protocol, connection.errorText());
    case IcyConnection::Failure::Http:
    case IcyConnection::Failure::Closed:
        return fail(StreamError::Http, connection.errorText());
    case IcyConnection::Failure::None:
    case IcyConnection::Failure::Connect:
        break;
    }
    return fail(StreamError::FileOpen, connection.errorText());
}

bool StreamLibrary::Stream::open(const QUrl &url, int depth) {
    auto connection = std::make_unique<IcyConnection>(IcyConnection::Limits{}, [this] { return aborted(); });
    connection->setCaCertificates(options_.caCertificates);
    if (!connection->open(url))
        return failConnection(*connection);
    const QByteArray head = connection->peek(1024);
    if (connection->failure() != IcyConnection::Failure::None)
        return failConnection(*connection);
    const PlaylistKind kind = guessPlaylistKind(head, connection->contentType(), connection->finalUrl());
    if (kind == PlaylistKind::None)
        return openAudio(std::move(connection), url);

    const auto body = connection->readBody(options_.maxPlaylistBytes);
    if (!body)
        return failConnection(*connection);
    const QUrl base = connection->finalUrl();
    connection.reset();
    const bool hls = isHlsPlaylist(*body);
    const QList<QUrl> entries = hls ? hlsVariants(*body, base) : parsePlaylist(*body, kind, base);
    if (hls && entries.isEmpty())
        return openHls(base); // a media playlist: FFmpeg plays its segments
    if (depth >= options_.maxPlaylistDepth)
        return fail(StreamError::FileForm, QStringLiteral("the playlists nest too deeply"));
    if (entries.isEmpty())
        return fail(StreamError::FileForm, QStringLiteral("the playlist names no stream"));
    const qsizetype count = std::min<qsizetype>(entries.size(), options_.maxPlaylistEntries);
    const std::int64_t outer = entryDeadline_;
    for (qsizetype i = 0; i < count; ++i) {
        const std::int64_t now = steadyMs();
        if (now > deadline_ || now > outer)
            break;
        // An entry that is not the last gets at most half of what is left.
        const std::int64_t left = std::min(deadline_.load(), outer) - now;
        entryDeadline_ = i + 1 < count ? now + left / 2 : outer;
        const bool opened = open(entries.at(i), depth + 1);
        entryDeadline_ = outer;
        if (opened)
            return true;
        if (stopping())
            return false;
    }
    if (aborted() && !stopping())
        return fail(StreamError::Timeout, QStringLiteral("no entry of the playlist answered in time"));
    return false; // the last entry's failure says why
}

bool StreamLibrary::Stream::openAudio(std::unique_ptr<IcyConnection> connection, const QUrl &entry) {
    IcyConnection *source = connection.get();
    // A new connection: what was announced on the old one plays from where its audio ended.
    for (const TitleMark &mark : std::exchange(titleMarks_, {}))
        deliverTitleMark(mark.text, framesWritten_);
    connectionBytes_ = 0;
    framer_ = std::make_unique<StreamFramer>();
    icyTitles_ = source->metaint() > 0;
    source->setMetadataHandler(
        [this](const QByteArray &text) { handleMetadata(decodeStreamText(text), MetaOrigin::Icy); });
    auto decoder = std::make_unique<StreamDecoder>(SoundOutput::MixRate, SoundOutput::MixChannels,
                                                   [this] { return aborted(); });
    const bool opened = decoder->openCustom(
        [this, source](unsigned char *buf, int size) {
            const int n = int(source->readAudio(reinterpret_cast<char *>(buf), size));
            if (n > 0)
                takeAudioBytes(buf, n);
            return n;
        },
        formatHint(source->contentType()));
    if (!opened || !firstAudio(*decoder)) {
        if (source->failure() != IcyConnection::Failure::None)
            return failConnection(*source);
        if (aborted())
            return stopping() ? fail(StreamError::Unknown, QStringLiteral("stopped")) : failTimeout();
        const QString type = QString::fromLatin1(source->contentType());
        if (!type.startsWith(QLatin1String("audio/")) && !type.startsWith(QLatin1String("application/ogg")))
            return fail(StreamError::FileForm,
                        QStringLiteral("no audio in the answer (%1)")
                            .arg(type.isEmpty() ? QStringLiteral("no content type") : type));
        return fail(StreamError::FileForm, QStringLiteral("the audio in the answer cannot be played (%1: %2)")
                                               .arg(type, decoder->errorText()));
    }
    QStringList lines;
    for (const QByteArray &line : source->headerLines())
        lines.append(decodeStreamText(line));
    {
        std::lock_guard lock(mutex_);
        icyTags_ = lines;
    }
    if (source->metaint() == 0)
        if (auto title = decoder->takeMetadataUpdate())
            handleMetadata(*title);
    connection_ = std::move(connection);
    decoder_ = std::move(decoder);
    entry_ = entry;
    hls_ = false;
    return true;
}

bool StreamLibrary::Stream::openHls(const QUrl &url) {
    for (const TitleMark &mark : std::exchange(titleMarks_, {}))
        deliverTitleMark(mark.text, framesWritten_);
    framer_.reset();
    {
        std::lock_guard lock(mutex_);
        frameCodec_ = StreamCodec::Unknown;
    }
    auto decoder = std::make_unique<StreamDecoder>(SoundOutput::MixRate, SoundOutput::MixChannels,
                                                   [this] { return aborted(); });
    if (!decoder->openUrl(url.toString(QUrl::FullyEncoded)) || !firstAudio(*decoder)) {
        if (aborted())
            return stopping() ? fail(StreamError::Unknown, QStringLiteral("stopped")) : failTimeout();
        return fail(StreamError::FileOpen, decoder->errorText());
    }
    {
        std::lock_guard lock(mutex_);
        icyTags_.reset();
    }
    if (auto title = decoder->takeMetadataUpdate())
        handleMetadata(*title);
    decoder_ = std::move(decoder);
    entry_ = url;
    hls_ = true;
    return true;
}

// A connection counts only once it gives sound: a server that answers and then
// sends nothing usable fails here, inside the connect time-out.
bool StreamLibrary::Stream::firstAudio(StreamDecoder &decoder) {
    pending_.clear();
    for (;;) {
        const StreamDecoder::Result result = decoder.decode(pending_);
        placeTitleMarks(decoder);
        switch (result) {
        case StreamDecoder::Result::Audio:
            return true;
        case StreamDecoder::Result::NoAudio:
            if (aborted())
                return false;
            continue;
        case StreamDecoder::Result::End:
        case StreamDecoder::Result::Failed:
            return false;
        }
    }
}

void StreamLibrary::Stream::playUntilDropped() {
    extendDeadline(options_.readTimeoutMs);
    for (;;) {
        if (!writePending())
            return;
        // Once the framer knows the codec the frames need no decoder.
        const bool pass =
            !decoding_ && !hls_ && connection_ && framer_ && framer_->codec() != StreamCodec::Unknown;
        const StreamDecoder::Result result = pass ? passFrames() : decoder_->decode(pending_);
        placeTitleMarks(*decoder_);
        if (hls_ || !connection_ || connection_->metaint() == 0)
            if (auto title = decoder_->takeMetadataUpdate())
                handleMetadata(*title);
        switch (result) {
        case StreamDecoder::Result::Audio:
            extendDeadline(options_.readTimeoutMs);
            continue;
        case StreamDecoder::Result::NoAudio:
            if (aborted() && !stopping()) {
                failTimeout();
                return;
            }
            continue;
        case StreamDecoder::Result::End:
        case StreamDecoder::Result::Failed:
            if (stopping())
                return;
            if (aborted())
                failTimeout();
            else if (connection_ && connection_->failure() != IcyConnection::Failure::None)
                failConnection(*connection_);
            else
                fail(StreamError::FileOpen, QStringLiteral("the server closed the connection"));
            return;
        }
    }
}

// Hands the decoded frames to the taps and, unless inaudible, the channel, waiting while it is full (paused
// or ahead of the output) or, inaudible, until a tap takes them. Waiting for room is not a stall of the
// server.
bool StreamLibrary::Stream::writePending() {
    const std::size_t channels = SoundOutput::MixChannels;
    const std::size_t frames = pending_.size() / channels;
    if (frames > 0) {
        for (;;) {
            bool taken = false;
            {
                std::lock_guard lock(tapMutex_);
                for (auto &[id, entry] : taps_)
                    if (entry.tap.sound) {
                        entry.tap.sound(pending_.data(), frames);
                        taken = true;
                    }
            }
            // Inaudible, the sound waits for a tap to take it, as for room in the channel.
            if (taken || options_.audible || !decoding_)
                break; // (decoding switched off: the frames are all the taps want)
            extendDeadline(options_.readTimeoutMs);
            if (!sleepInterruptibly(50))
                return false;
        }
    }
    std::size_t done = options_.audible ? 0 : frames;
    while (done < frames) {
        done += channel_->write(pending_.data() + done * channels, frames - done);
        if (done < frames) {
            extendDeadline(options_.readTimeoutMs);
            // Full: let the output take a good part of the buffer before filling it
            // again, rather than waking for every few milliseconds of room.
            const std::size_t capacity =
                std::size_t(SoundOutput::MixRate) * std::size_t(options_.bufferMs) / 1000;
            const std::size_t queued = channel_->queuedFrames();
            const std::size_t above = queued > capacity * 3 / 4 ? queued - capacity * 3 / 4 : 0;
            const int waitMs = int(std::clamp<std::size_t>(above * 1000 / SoundOutput::MixRate, 10, 250));
            if (!sleepInterruptibly(waitMs))
                return false;
        }
    }
    framesWritten_ += frames;
    handedFrames_ = framesWritten_;
    pending_.clear();
    return !stopping();
}

void StreamLibrary::Stream::handleMetadata(const QString &text, MetaOrigin origin) {
    MetaCallback callback;
    {
        std::lock_guard lock(mutex_);
        if (meta_ && *meta_ == text)
            return;
        meta_ = text;
        callback = metaCallback_;
    }
    if (callback)
        callback(text);
    if (origin == MetaOrigin::Icy) {
        // Between the bytes read so far and the next ones: the frames that follow are its own.
        {
            std::lock_guard lock(tapMutex_);
            for (auto &[id, entry] : taps_)
                if (entry.tap.frameTitle)
                    entry.tap.frameTitle(text);
        }
        titleMarks_.push_back({text, connectionBytes_});
    } else {
        // The packet just decoded is the first of the new title's audio.
        deliverTitleMark(text, framesWritten_);
    }
}

bool StreamLibrary::Stream::takeAudioBytes(const unsigned char *data, int size) {
    connectionBytes_ += size;
    if (!framer_)
        return false;
    StreamFramer::Output output;
    framer_->feed(reinterpret_cast<const char *>(data), std::size_t(size), output);
    if (output.frames.empty())
        return false;
    {
        std::lock_guard lock(mutex_);
        frameCodec_ = framer_->codec();
    }
    deliverFrames(output);
    return true;
}

StreamDecoder::Result StreamLibrary::Stream::passFrames() {
    // Big reads: the connection hands over what has arrived, so a slow
    // station still gives one read per burst the server sends.
    passBuffer_.resize(64 * 1024);
    const qint64 n =
        connection_->readAudio(reinterpret_cast<char *>(passBuffer_.data()), qint64(passBuffer_.size()));
    if (n < 0 || (n == 0 && connection_->failure() != IcyConnection::Failure::None))
        return StreamDecoder::Result::Failed;
    if (n == 0)
        return StreamDecoder::Result::End;
    const bool frames = takeAudioBytes(passBuffer_.data(), int(n));
    // Nothing is decoded to place the titles by: they begin where the channel ends.
    for (const TitleMark &mark : std::exchange(titleMarks_, {}))
        deliverTitleMark(mark.text, framesWritten_);
    return frames ? StreamDecoder::Result::Audio : StreamDecoder::Result::NoAudio;
}

void StreamLibrary::Stream::deliverFrames(const StreamFramer::Output &output) {
    // Titles of Ogg streams come from their own comments only where no ICY
    // metadata names them.
    const bool containerTitles = !icyTitles_;
    std::lock_guard lock(tapMutex_);
    for (auto &[id, entry] : taps_) {
        const Tap &tap = entry.tap;
        if (!tap.frame && !tap.frameTitle)
            continue;
        auto title = output.titles.begin();
        for (std::size_t i = 0; i < output.frames.size(); ++i) {
            const StreamFrame &frame = output.frames[i];
            for (; title != output.titles.end() && title->first <= i; ++title)
                if (containerTitles && tap.frameTitle)
                    tap.frameTitle(QStringLiteral("StreamTitle='%1';").arg(title->second));
            if (!tap.frame)
                continue;
            if (!entry.primed) {
                entry.primed = true;
                // A tap that joins an Ogg stream part way needs its headers first.
                if (!frame.header)
                    for (const StreamFrame &header : framer_->headerPages())
                        tap.frame(header);
            }
            tap.frame(frame);
        }
    }
}

void StreamLibrary::Stream::placeTitleMarks(const StreamDecoder &decoder) {
    const std::uint64_t decoded = pending_.size() / SoundOutput::MixChannels;
    while (!titleMarks_.empty()) {
        const TitleMark &mark = titleMarks_.front();
        std::uint64_t at = framesWritten_ + decoded;
        if (decoder.lastPacketPosition() >= 0) {
            if (decoder.lastPacketEnd() < mark.byte)
                return; // its audio is not decoded yet
            // A packet that starts at the mark is the title's first; one that
            // holds the mark still belongs to the title before.
            if (decoder.lastPacketPosition() >= mark.byte)
                at = framesWritten_;
        }
        deliverTitleMark(mark.text, at);
        titleMarks_.pop_front();
    }
}

void StreamLibrary::Stream::deliverTitleMark(const QString &text, std::uint64_t channelFrame) {
    std::lock_guard lock(tapMutex_);
    for (auto &[id, entry] : taps_)
        if (entry.tap.title)
            entry.tap.title(text, channelFrame);
}

// ---------------------------------------------------------------------------

StreamLibrary::StreamLibrary(SoundOutput &output) : StreamLibrary(output, Options{}) {}

StreamLibrary::StreamLibrary(SoundOutput &output, Options options) : output_(output), options_(options) {}

StreamLibrary::~StreamLibrary() {
    std::map<Handle, std::shared_ptr<Stream>> streams;
    {
        std::lock_guard lock(mutex_);
        streams.swap(streams_);
    }
    for (auto &[handle, stream] : streams)
        stream->stop();
}

std::shared_ptr<StreamLibrary::Stream> StreamLibrary::find(Handle handle) const {
    std::lock_guard lock(mutex_);
    const auto it = streams_.find(handle);
    if (it == streams_.end()) {
        setError(StreamError::Handle, QStringLiteral("not a stream"));
        return nullptr;
    }
    setError(StreamError::Ok);
    return it->second;
}

StreamLibrary::Handle StreamLibrary::StreamCreateURL(const QString &url, StatusCallback status,
                                                     CancelCheck cancel) {
    const QUrl address = QUrl::fromUserInput(url.trimmed());
    if (!address.isValid() || address.host().isEmpty()) {
        setError(StreamError::FileOpen, QStringLiteral("not a stream address: %1").arg(url));
        return 0;
    }
    auto stream = std::make_shared<Stream>(output_, options_, address, std::move(status));
    if (!stream->start(cancel))
        return 0;
    std::lock_guard lock(mutex_);
    Handle handle = nextHandle_++;
    if (nextHandle_ == 0)
        nextHandle_ = 1;
    streams_.emplace(handle, std::move(stream));
    setError(StreamError::Ok);
    return handle;
}

void StreamLibrary::StreamFree(Handle handle) {
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard lock(mutex_);
        const auto it = streams_.find(handle);
        if (it == streams_.end())
            return;
        stream = std::move(it->second);
        streams_.erase(it);
    }
    stream->stop();
    setError(StreamError::Ok);
}

std::optional<QStringList> StreamLibrary::IcyTags(Handle handle) const {
    const auto stream = find(handle);
    return stream ? stream->icyTags() : std::nullopt;
}

std::optional<QString> StreamLibrary::MetaTag(Handle handle) const {
    const auto stream = find(handle);
    return stream ? stream->metaTag() : std::nullopt;
}

bool StreamLibrary::ChannelSetSync(Handle handle, MetaCallback callback) {
    const auto stream = find(handle);
    if (stream)
        stream->setSync(std::move(callback));
    return bool(stream);
}

bool StreamLibrary::ChannelPlay(Handle handle) {
    const auto stream = find(handle);
    if (!stream)
        return false;
    if (!stream->play()) {
        setError(StreamError::Start, QStringLiteral("the stream was stopped"));
        return false;
    }
    return true;
}

bool StreamLibrary::ChannelPause(Handle handle) {
    const auto stream = find(handle);
    if (stream)
        stream->pause();
    return bool(stream);
}

bool StreamLibrary::ChannelStop(Handle handle) {
    const auto stream = find(handle);
    if (stream)
        stream->halt();
    return bool(stream);
}

StreamLibrary::Activity StreamLibrary::ChannelIsActive(Handle handle) const {
    const auto stream = find(handle);
    return stream ? stream->activity() : Activity::Stopped;
}

int StreamLibrary::AddTap(Handle handle, Tap tap) {
    const auto stream = find(handle);
    return stream ? stream->addTap(std::move(tap)) : 0;
}

void StreamLibrary::RemoveTap(Handle handle, int id) {
    if (const auto stream = find(handle))
        stream->removeTap(id);
}

bool StreamLibrary::ChannelSetDecoding(Handle handle, bool decoding) {
    const auto stream = find(handle);
    if (stream)
        stream->setDecoding(decoding);
    return bool(stream);
}

std::optional<std::uint64_t> StreamLibrary::ChannelPlayedFrames(Handle handle) const {
    const auto stream = find(handle);
    return stream ? std::optional<std::uint64_t>(stream->playedFrames()) : std::nullopt;
}

StreamCodec StreamLibrary::FrameCodec(Handle handle) const {
    const auto stream = find(handle);
    return stream ? stream->frameCodec() : StreamCodec::Unknown;
}

void StreamLibrary::SetVolume(int volume) {
    output_.setVolume(volume);
}

int StreamLibrary::GetVolume() const {
    return output_.volume();
}

StreamError StreamLibrary::ErrorGetCode() {
    return lastError;
}

QString StreamLibrary::ErrorText() {
    return lastErrorText;
}

} // namespace varnelo
