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

#include <cstdio>
#include <fcntl.h>
#include <optional>
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

// Where in a file lie the bytes a tag write must leave exactly as they were.
struct ByteRange {
    qint64 begin = 0, end = 0;
};

qint64 id3v2Size(const QByteArray &head) {
    const auto *p = reinterpret_cast<const unsigned char *>(head.constData());
    return qint64(p[6] & 0x7F) << 21 | (p[7] & 0x7F) << 14 | (p[8] & 0x7F) << 7 | (p[9] & 0x7F);
}

// An MP3's bytes between its ID3v2 tag and its ID3v1 tag.
std::optional<ByteRange> Mp3Payload(QFile &file) {
    const qint64 size = file.size();
    ByteRange r{0, size};
    const QByteArray head = file.read(10);
    if (head.startsWith("ID3") && head.size() >= 10)
        r.begin = std::min(size, 10 + id3v2Size(head) + ((head[5] & 0x10) ? 10 : 0));
    if (size - r.begin >= 128 && file.seek(size - 128) && file.read(3) == "TAG")
        r.end = size - 128;
    return r;
}

// A FLAC file's bytes after its metadata blocks (its frames); none when the
// blocks do not chain up to the frames.
std::optional<ByteRange> FlacPayload(QFile &file) {
    const qint64 size = file.size();
    const QByteArray head = file.read(10);
    qint64 at = head.startsWith("ID3") && head.size() >= 10 ? 10 + id3v2Size(head) : 0;
    if (!file.seek(at) || file.read(4) != "fLaC")
        return std::nullopt;
    at += 4;
    for (bool last = false; !last;) {
        if (at + 4 > size || !file.seek(at))
            return std::nullopt;
        const QByteArray h = file.read(4);
        if (h.size() != 4)
            return std::nullopt;
        const auto *b = reinterpret_cast<const unsigned char *>(h.constData());
        last = (b[0] & 0x80) != 0;
        at += 4 + (qint64(b[1]) << 16 | qint64(b[2]) << 8 | b[3]);
    }
    if (at > size)
        return std::nullopt;
    return ByteRange{at, size};
}

std::optional<ByteRange> PayloadOf(QFile &file, bool flac) {
    return flac ? FlacPayload(file) : Mp3Payload(file);
}

bool HasPayload(const QString &path, bool flac) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const std::optional<ByteRange> r = PayloadOf(file, flac);
    return r && r->end > r->begin;
}

// Whether two files hold the same such bytes, compared a piece at a time (a
// FLAC rip's file is tens of megabytes): no file is held whole in memory.
bool SamePayload(const QString &a, const QString &b, bool flac) {
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    const std::optional<ByteRange> ra = PayloadOf(fa, flac), rb = PayloadOf(fb, flac);
    if (!ra || !rb || ra->end - ra->begin != rb->end - rb->begin || !fa.seek(ra->begin) ||
        !fb.seek(rb->begin))
        return false;
    for (qint64 left = ra->end - ra->begin; left > 0;) {
        const qint64 n = std::min<qint64>(left, 1 << 20);
        const QByteArray pa = fa.read(n), pb = fb.read(n);
        if (pa.size() != n || pa != pb)
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
    bool byteCheck = check == AudioCheck::Bytes && (mp3 || flac) && HasPayload(target, flac);
    const AudioMeasure before = byteCheck ? AudioMeasure{} : MeasureAudio(target);
    // A few MP3 frames (a recording stopped at once) are too little for the
    // decoder: such a file is checked byte for byte between its tags instead.
    constexpr qint64 ByteCheckLimit = 1 << 20;
    if (!byteCheck && !before.decodable && mp3 && info.size() <= ByteCheckLimit)
        byteCheck = true;
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
        if (!SamePayload(target, copyPath, flac))
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
