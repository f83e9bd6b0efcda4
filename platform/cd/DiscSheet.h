#pragma once
#include "platform/cd/DiscToc.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace varnelo {
class AudioDecoder;
}

namespace varnelo::cd {

// A stretch of the disc's samples and where they come from, in disc order.
// Lengths are in stereo frames (588 to a sector).
struct SheetPiece {
    enum class Source { Silence, Raw, Pcm, Decoded };
    Source source = Source::Silence;
    QString path;
    qint64 offset = 0; // Raw/Pcm: byte offset of the first frame; Decoded: its frame
    qint64 frames = 0;
    bool bigEndian = false;
};

// What a sheet says of a track beyond the table of contents.
struct SheetTrackInfo {
    qint32 pregapStart = -1;     // LBA of INDEX 00, -1 without one
    std::vector<qint32> indexes; // LBAs of INDEX 02 and later
    QString isrc;
    bool preEmphasis = false;
    bool copyPermitted = false;
};

struct DiscSheet {
    DiscToc toc;
    std::vector<SheetTrackInfo> info; // beside toc.tracks
    QString catalog;
    std::vector<SheetPiece> pieces; // together they cover the disc from LBA 0
};

// A file a sheet names, as found on disk.
struct ProbedFile {
    QString path;
    qint64 bytes = 0;      // its size (raw data)
    qint64 frames = 0;     // audio files: stereo frames at 44100 Hz
    qint64 pcmOffset = -1; // 16-bit little-endian PCM WAV: where the samples start
};
// Finds the file a sheet names; `audio` asks for an audio file's frames
// rather than the raw size. Empty with `error` set when there is none.
using FileProbe = std::function<std::optional<ProbedFile>(const QString &name, bool audio, QString &error)>;

// Reads a cue sheet or a cdrdao table of contents. `name` heads the messages.
// Nothing but the probe touches the disk. Errors name the line.
struct SheetResult {
    std::optional<DiscSheet> sheet;
    QString error;
};
SheetResult parseCueSheet(const QByteArray &text, const QString &name, const FileProbe &probe);
SheetResult parseTocFile(const QByteArray &text, const QString &name, const FileProbe &probe);

// The sheet at `path` with its files looked up beside it (names compared
// without case when the exact one is missing; audio files through FFmpeg).
SheetResult readDiscSheet(const QString &path);

// Reads the samples of a disc sheet: whole sectors, host-order 16-bit
// stereo. One thread at a time.
class SheetSamples {
public:
    explicit SheetSamples(const DiscSheet &sheet);
    ~SheetSamples();
    SheetSamples(const SheetSamples &) = delete;
    SheetSamples &operator=(const SheetSamples &) = delete;

    // `count` sectors from `first` into `out` (null: read and drop). Returns
    // the sectors read, -1 when a file could not be read.
    long read(qint32 first, long count, qint16 *out);
    const QString &error() const { return error_; }

private:
    struct Open;
    bool readPiece(const SheetPiece &piece, qint64 from, qint64 frames, qint16 *out);
    // Frames past the last piece from its file, when it holds them (else left as they are).
    void readLeadOut(qint64 from, qint64 frames, qint16 *out);
    Open &openFile(const QString &path, bool decoded);

    std::vector<SheetPiece> pieces_;
    std::vector<qint64> ends_; // disc frame at which each piece ends
    std::vector<std::unique_ptr<Open>> open_;
    QString error_;
};

} // namespace varnelo::cd
