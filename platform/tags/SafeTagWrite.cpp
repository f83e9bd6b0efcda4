#include "platform/tags/SafeTagWrite.h"

#include "common/Error.h"
#include "platform/audiofile/AudioDecoder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegheader.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnelo::tagformats {
namespace {

// Copies of ours that a killed write left behind. One still being written by
// another process is younger than this, so it is left alone.
void removeStaleCopies(const QString &folder) {
    constexpr qint64 StaleSeconds = 300;
    static const QRegularExpression ours(QStringLiteral("^\\.varnelo-[A-Za-z0-9]{6}\\.[^/]*$"));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-StaleSeconds);
    const QFileInfoList copies = QDir(folder).entryInfoList({QStringLiteral(".varnelo-*")},
                                                            QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &copy : copies)
        if (ours.match(copy.fileName()).hasMatch() && copy.lastModified() < before)
            QFile::remove(copy.absoluteFilePath());
}

[[noreturn]] void refuse(const QString &path, const QString &why) {
    throw Error(QStringLiteral("Cannot write tags to %1: %2; the file is left as it was").arg(path, why));
}

// A chain of MPEG frames that starts inside [from, end) and runs on to `end`
// is audio, not tag data: stray sync bytes in a picture never chain that far.
bool framesRunThrough(TagLib::MPEG::File &file, long from, long end) {
    file.seek(from);
    const TagLib::ByteVector region = file.readBlock(static_cast<unsigned long>(end - from));
    for (unsigned int i = 0; i + 1 < region.size(); ++i) {
        if (static_cast<unsigned char>(region[i]) != 0xFF ||
            (static_cast<unsigned char>(region[i + 1]) & 0xE0) != 0xE0)
            continue;
        long position = from + long(i);
        while (position < end) {
            const TagLib::MPEG::Header header(&file, position, true);
            if (header.isValid() && header.frameLength() > 0) {
                position += header.frameLength();
                continue;
            }
            // The last frame of the file has no next one to check against.
            const TagLib::MPEG::Header last(&file, position, false);
            if (last.isValid() && last.frameLength() > 0 && position + last.frameLength() >= file.length())
                position = file.length();
            break;
        }
        if (position >= end)
            return true;
    }
    return false;
}

bool syncToDisk(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

AudioMeasure MeasureAudio(const QString &path) {
    AudioMeasure m;
    AudioDecoder::Failure failure = AudioDecoder::Failure::None;
    const auto decoder = AudioDecoder::open(path, &failure, &m.error);
    if (!decoder)
        return m;
    m.decodable = true;
    m.channels = decoder->channels();
    m.rate = decoder->sampleRate();
    SampleBlock block;
    for (;;) {
        block.clear();
        const qint64 n = decoder->read(block, 1 << 16);
        if (n <= 0)
            break;
        m.frames += n;
    }
    m.damaged = decoder->damaged();
    if (m.damaged)
        m.error = decoder->errorText();
    return m;
}

QString AudioHiddenInTags(TagLib::File &file) {
    auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(&file);
    if (!mpeg || !mpeg->hasID3v2Tag())
        return {};
    mpeg->seek(0);
    if (mpeg->readBlock(3) != TagLib::ByteVector("ID3", 3))
        return {};
    const long declared = static_cast<long>(mpeg->ID3v2Tag()->header()->completeTagSize());
    const long end = std::min(declared, mpeg->length());
    if (!framesRunThrough(*mpeg, 10, end))
        return {};
    return QStringLiteral("its ID3v2 tag claims %1 bytes, which hold audio frames a new tag would replace")
        .arg(declared);
}

namespace {

// Where a file's audio bytes lie, between its tags; `size` < 0 when that cannot be told.
struct Payload {
    qint64 at = 0;
    qint64 size = -1;
};

// Bytes of an ID3v2 tag at `at` (header, body and footer), 0 without one.
qint64 id3v2Size(QFile &file, qint64 at) {
    if (!file.seek(at))
        return 0;
    const QByteArray h = file.read(10);
    if (h.size() < 10 || !h.startsWith("ID3"))
        return 0;
    const auto *p = reinterpret_cast<const unsigned char *>(h.constData());
    return 10 + ((p[6] & 0x7F) << 21 | (p[7] & 0x7F) << 14 | (p[8] & 0x7F) << 7 | (p[9] & 0x7F)) +
           ((p[5] & 0x10) ? 10 : 0);
}

// An MP3's bytes between a leading ID3v2 tag and a trailing ID3v1 tag.
Payload mp3Payload(QFile &file) {
    const qint64 total = file.size();
    Payload p;
    p.at = std::min(total, id3v2Size(file, 0));
    qint64 end = total;
    if (end - p.at >= 128 && file.seek(end - 128) && file.read(3) == "TAG")
        end -= 128;
    p.size = end - p.at;
    return p;
}

// A FLAC file's bytes after its metadata blocks (its frames); unknown when the
// blocks do not chain up to the frames.
Payload flacPayload(QFile &file) {
    const qint64 total = file.size();
    qint64 at = id3v2Size(file, 0);
    if (!file.seek(at) || file.read(4) != "fLaC")
        return {};
    at += 4;
    // Real files have a handful of blocks; past this many the bytes are not
    // trusted to be FLAC's, and the decode check takes over.
    constexpr int MaxBlocks = 4096;
    for (int blocks = 0, last = 0; !last; ++blocks) {
        if (blocks == MaxBlocks || !file.seek(at))
            return {};
        const QByteArray header = file.read(4);
        if (header.size() < 4)
            return {};
        const auto *h = reinterpret_cast<const unsigned char *>(header.constData());
        last = h[0] & 0x80;
        at += 4 + (qint64(h[1]) << 16 | qint64(h[2]) << 8 | h[3]);
    }
    if (at > total)
        return {};
    return {at, total - at};
}

Payload payloadOf(QFile &file, bool flac) {
    return flac ? flacPayload(file) : mp3Payload(file);
}

// The two files' audio bytes compared a piece at a time: memory stays flat
// however long the files are.
bool samePayload(QFile &a, const Payload &pa, QFile &b, const Payload &pb) {
    if (pa.size < 0 || pa.size != pb.size || !a.seek(pa.at) || !b.seek(pb.at))
        return false;
    constexpr qint64 Piece = 1 << 20;
    for (qint64 left = pa.size; left > 0;) {
        const qint64 n = std::min(left, Piece);
        const QByteArray x = a.read(n), y = b.read(n);
        if (x.size() != n || x != y)
            return false;
        left -= n;
    }
    return true;
}

} // namespace

void WriteThroughCopy(const QString &path, const std::function<void(const QString &copy)> &write,
                      AudioCheck check) {
    // Through a link the file it names is replaced; the link stays a link.
    const QString target = QFileInfo(path).canonicalFilePath();
    const QFileInfo info(target);
    const bool mp3 = info.suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0;
    const bool flac = info.suffix().compare(QLatin1String("flac"), Qt::CaseInsensitive) == 0;
    // The original stays open: the copy's audio bytes are compared with it.
    QFile original(target);
    bool byteCheck = false;
    if (check == AudioCheck::Bytes && (mp3 || flac) && original.open(QIODevice::ReadOnly))
        byteCheck = payloadOf(original, flac).size > 0;
    const AudioMeasure before = byteCheck ? AudioMeasure{} : MeasureAudio(target);
    // A few MP3 frames (a recording stopped at once) are too little for the
    // decoder: such a file is checked byte for byte between its tags instead.
    constexpr qint64 ByteCheckLimit = 1 << 20;
    if (!byteCheck && !before.decodable && mp3 && info.size() <= ByteCheckLimit)
        byteCheck = original.isOpen() || original.open(QIODevice::ReadOnly);
    if (!before.decodable && !byteCheck)
        refuse(path,
               QStringLiteral("its audio cannot be decoded (%1), so a changed copy could not be checked")
                   .arg(before.error));

    removeStaleCopies(info.absolutePath());
    // A short name: the file's own may already be as long as a name can be.
    // The suffix stays, as the tag library picks the format by it.
    QTemporaryFile copy(info.absolutePath() + QStringLiteral("/.varnelo-XXXXXX.") + info.suffix());
    QFile source(target);
    if (!source.open(QIODevice::ReadOnly))
        refuse(path, source.errorString());
    if (!copy.open())
        refuse(path, QStringLiteral("no copy can be made in its folder (%1)").arg(copy.errorString()));
    // Bounded by the size the file had when it was opened.
    for (qint64 left = source.size(); left > 0;) {
        const QByteArray chunk = source.read(std::min<qint64>(left, 1 << 20));
        if (chunk.isEmpty() || copy.write(chunk) != chunk.size())
            refuse(path, QStringLiteral("copying it failed (%1)").arg(copy.errorString()));
        left -= chunk.size();
    }
    source.close();
    const QString copyPath = copy.fileName();
    copy.close();

    try {
        write(copyPath);
    } catch (const Error &) {
        // What failed is named after the copy; the user knows the original.
        refuse(path, QStringLiteral("the tags could not be written to a copy of it"));
    }

    if (byteCheck) {
        QFile written(copyPath);
        if (!written.open(QIODevice::ReadOnly) ||
            !samePayload(original, payloadOf(original, flac), written, payloadOf(written, flac)))
            refuse(path, QStringLiteral("the written copy's audio bytes differ"));
    } else if (const AudioMeasure after = MeasureAudio(copyPath);
               !after.decodable || after.channels != before.channels || after.rate != before.rate ||
               after.frames != before.frames || (after.damaged && !before.damaged))
        refuse(path, QStringLiteral("the written copy's audio differs (%1 frames before, %2 after%3)")
                         .arg(before.frames)
                         .arg(after.decodable ? after.frames : 0)
                         .arg(after.error.isEmpty() ? QString() : QStringLiteral(": ") + after.error));

    // The replacement takes the original's place in every respect we can give it.
    struct stat st {};
    if (::stat(QFile::encodeName(target).constData(), &st) == 0) {
        if (::chown(QFile::encodeName(copyPath).constData(), st.st_uid, st.st_gid) != 0) {
            // Only the owner changes: a user's own file stays theirs anyway.
        }
        ::chmod(QFile::encodeName(copyPath).constData(), st.st_mode & 07777);
    }
    if (!syncToDisk(copyPath))
        refuse(path, QStringLiteral("the copy could not be stored"));
    if (std::rename(QFile::encodeName(copyPath).constData(), QFile::encodeName(target).constData()) != 0)
        refuse(path, QStringLiteral("the copy could not replace it"));
    copy.setAutoRemove(false);
    syncToDisk(info.absolutePath());
}

} // namespace varnelo::tagformats
