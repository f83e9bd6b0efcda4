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

// An MP3's bytes between its ID3v2 tag and its ID3v1 tag: what a tag write
// must leave exactly as it was.
QByteArray Mp3Payload(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.read(file.size());
    if (bytes.startsWith("ID3") && bytes.size() >= 10) {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
        const qsizetype size = (p[6] & 0x7F) << 21 | (p[7] & 0x7F) << 14 | (p[8] & 0x7F) << 7 | (p[9] & 0x7F);
        bytes.remove(0, std::min(bytes.size(), 10 + size + ((p[5] & 0x10) ? 10 : 0)));
    }
    if (bytes.size() >= 128 && bytes.mid(bytes.size() - 128, 3) == "TAG")
        bytes.chop(128);
    return bytes;
}

// A FLAC file's bytes after its metadata blocks (its frames); empty when the
// blocks do not chain up to the frames.
QByteArray FlacPayload(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(file.size());
    qsizetype at = 0;
    if (bytes.startsWith("ID3") && bytes.size() >= 10) {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
        at = 10 + ((p[6] & 0x7F) << 21 | (p[7] & 0x7F) << 14 | (p[8] & 0x7F) << 7 | (p[9] & 0x7F));
    }
    if (bytes.mid(at, 4) != "fLaC")
        return {};
    at += 4;
    for (bool last = false; !last;) {
        if (at + 4 > bytes.size())
            return {};
        const auto *h = reinterpret_cast<const unsigned char *>(bytes.constData() + at);
        last = (h[0] & 0x80) != 0;
        at += 4 + (qsizetype(h[1]) << 16 | qsizetype(h[2]) << 8 | h[3]);
    }
    return at <= bytes.size() ? bytes.mid(at) : QByteArray();
}

} // namespace

void WriteThroughCopy(const QString &path, const std::function<void(const QString &copy)> &write,
                      AudioCheck check) {
    // Through a link the file it names is replaced; the link stays a link.
    const QString target = QFileInfo(path).canonicalFilePath();
    const QFileInfo info(target);
    const bool mp3 = info.suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0;
    const bool flac = info.suffix().compare(QLatin1String("flac"), Qt::CaseInsensitive) == 0;
    const auto payload = [flac](const QString &file) { return flac ? FlacPayload(file) : Mp3Payload(file); };
    QByteArray payloadBefore;
    bool byteCheck = false;
    if (check == AudioCheck::Bytes && (mp3 || flac)) {
        payloadBefore = payload(target);
        byteCheck = !payloadBefore.isEmpty();
    }
    const AudioMeasure before = byteCheck ? AudioMeasure{} : MeasureAudio(target);
    // A few MP3 frames (a recording stopped at once) are too little for the
    // decoder: such a file is checked byte for byte between its tags instead.
    constexpr qint64 ByteCheckLimit = 1 << 20;
    if (!byteCheck && !before.decodable && mp3 && info.size() <= ByteCheckLimit) {
        payloadBefore = Mp3Payload(target);
        byteCheck = true;
    }
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
        if (payload(copyPath) != payloadBefore)
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
