#pragma once
#include "platform/stream/StreamFramer.h"

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace varnelo {

class SoundOutput;

// Error codes of the stream library (ErrorGetCode), shown to the user as numbers.
enum class StreamError : int {
    Ok = 0,
    Memory = 1,
    FileOpen = 2,   // the server cannot be reached
    Handle = 5,     // not a stream of this library
    Start = 9,      // the stream was stopped and cannot play again
    Timeout = 40,   // the server stalled or trickled
    FileForm = 41,  // not an audio stream we can decode
    Protocol = 45,  // a malformed or hostile server answer
    Cancelled = 46, // the caller ended the connect
    Http = 47,      // the server answered with an error status, or closed without an answer
    Unknown = -1,
};

// What a stream reports about itself after it was created.
enum class StreamStatus {
    Reconnecting, // the connection dropped; text says which attempt
    Reconnected,  // playing again after a drop
    Failed,       // gave up; text says why; the stream stays silent until freed
};

// Internet radio streams: connects over http/https asking for ICY metadata,
// resolves playlist addresses, decodes on a thread per stream into a channel of
// the program's SoundOutput and reconnects after a drop. Handles are small
// non-zero numbers; 0 means failure. Every member may be called from any thread.
class StreamLibrary {
public:
    using Handle = std::uint32_t;
    // Called on the stream's own thread with each new metadata text.
    using MetaCallback = std::function<void(const QString &metadata)>;
    // Called on the stream's own thread.
    using StatusCallback = std::function<void(StreamStatus status, const QString &text)>;
    // Asked on the calling thread of StreamCreateURL while it waits: true ends the connect.
    using CancelCheck = std::function<bool()>;

    struct Options {
        // Connect, headers and first audio of one attempt, across every playlist
        // entry and nesting level; a playlist entry that is not the last gets at
        // most half of what is left, so later entries still get their turn.
        int connectTimeoutMs = 10000;
        int readTimeoutMs = 10000; // no decoded audio for this long while playing: a stall
        // After a drop: the first retry waits reconnectDelayMs, each next one
        // twice as long up to reconnectMaxDelayMs; retries stop once failures
        // in a row have lasted reconnectGiveUpMs.
        int reconnectDelayMs = 1000;
        int reconnectMaxDelayMs = 30000;
        int reconnectGiveUpMs = 5 * 60 * 1000;
        int bufferMs = 2000; // decoded audio held ahead of the output
        // Off, the decoded sound goes to the taps alone (Tap::sound), none of it
        // lost while no tap takes it: a recording nobody listens to needs no
        // mixer. ChannelPlayedFrames then counts the frames handed to the taps,
        // as title marks do.
        bool audible = true;
        int maxPlaylistEntries = 16;
        int maxPlaylistDepth = 3;
        int maxPlaylistBytes = 256 * 1024;
        QList<QSslCertificate> caCertificates; // trusted for https besides the system's
    };

    explicit StreamLibrary(SoundOutput &output);
    StreamLibrary(SoundOutput &output, Options options);
    // Frees every stream.
    ~StreamLibrary();
    StreamLibrary(const StreamLibrary &) = delete;
    StreamLibrary &operator=(const StreamLibrary &) = delete;

    // Blocks until the stream plays its first audio (paused: ChannelPlay starts
    // it) or the attempt failed; then returns 0 and ErrorGetCode()/ErrorText()
    // tell why on this thread. The status callback is installed before the
    // stream's thread starts. `cancel` is asked every few tens of milliseconds:
    // once it says true the attempt ends (StreamError::Cancelled) within a second.
    Handle StreamCreateURL(const QString &url, StatusCallback status = {}, CancelCheck cancel = {});
    // Stops and releases the stream; 0 or an unknown handle is harmless.
    void StreamFree(Handle handle);

    // The response header lines as the server sent them (e.g. "icy-name:Radio X"),
    // nullopt for a stream FFmpeg opened itself (HLS).
    std::optional<QStringList> IcyTags(Handle handle) const;
    // The current metadata text ("StreamTitle='...';..."), nullopt before any arrived.
    std::optional<QString> MetaTag(Handle handle) const;
    // Replaces the metadata callback (an empty function removes it).
    bool ChannelSetSync(Handle handle, MetaCallback callback);

    // Starts, or resumes where it paused.
    bool ChannelPlay(Handle handle);
    bool ChannelPause(Handle handle);
    // Stops playing and the connection; the handle stays valid until freed.
    bool ChannelStop(Handle handle);
    enum class Activity { Stopped, Playing, Paused };
    Activity ChannelIsActive(Handle handle) const;

    // Listeners on one stream for recording it. Every member is called on the
    // stream's own thread, in stream order; any may be left empty.
    struct Tap {
        // The station's own audio, frame by frame (or Ogg page by page) as the
        // server sent it, without ICY metadata. A new tap first gets the header
        // pages of the current Ogg stream.
        std::function<void(const StreamFrame &frame)> frame;
        // A new metadata text, between the frames: the frames after it belong to it.
        std::function<void(const QString &metadata)> frameTitle;
        // A new metadata text and the position in the stream's sound channel
        // (counted as ChannelPlayedFrames counts) from which its audio plays.
        std::function<void(const QString &metadata, std::uint64_t channelFrame)> title;
        // The decoded sound as it is decoded (interleaved stereo float at
        // SoundOutput::MixRate), ahead of the output by what the channel holds.
        std::function<void(const float *frames, std::size_t count)> sound;
    };
    // Returns the tap's id, 0 for an unknown handle. Once RemoveTap returns the
    // tap is not running and is never called again. A tap must not add or
    // remove taps.
    int AddTap(Handle handle, Tap tap);
    void RemoveTap(Handle handle, int id);
    // Whether the stream's sound is decoded into its channel (the default). Off,
    // only the taps' frames and titles come, read straight from the connection:
    // a recording of the station's own frames that nobody listens to costs no
    // decoding. Title marks then fall at the channel's current end. Decoding
    // switched on again resumes after a gap. Streams FFmpeg opens itself (HLS)
    // always decode.
    bool ChannelSetDecoding(Handle handle, bool decoding);
    // Frames of the stream's channel mixed into the output so far.
    std::optional<std::uint64_t> ChannelPlayedFrames(Handle handle) const;
    // The codec of the stream's own frames; Unknown until recognised, and for
    // streams FFmpeg opens itself (HLS).
    StreamCodec FrameCodec(Handle handle) const;

    // The output volume 0..100: it applies to everything the program plays.
    void SetVolume(int volume);
    int GetVolume() const;

    // Error of the last call on the calling thread.
    static StreamError ErrorGetCode();
    static QString ErrorText();

    class Stream;

private:
    std::shared_ptr<Stream> find(Handle handle) const;

    SoundOutput &output_;
    Options options_;
    mutable std::mutex mutex_;
    std::map<Handle, std::shared_ptr<Stream>> streams_;
    Handle nextHandle_ = 1;
};

// The pause before reconnect attempt `attempt` (1, 2, ...): doubling, capped.
int reconnectDelayMs(const StreamLibrary::Options &options, int attempt);

} // namespace varnelo
