#include "platform/tags/AudioInformation.h"

#include "common/Error.h"
#include "common/FileGuards.h"
#include "platform/tags/CoverFormats.h"
#include "platform/tags/GenreTable.h"
#include "platform/tags/SafeTagWrite.h"
#include "platform/tags/TagFormats.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/fileref.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>

#include <functional>
#include <memory>
#include <typeinfo>

namespace varnelo {
namespace {

// TagLib takes file names in the local 8-bit encoding on Linux.
QByteArray nativeName(const QString &path) {
    return QFile::encodeName(path);
}

void checkExisting(const QString &path) {
    if (path.isEmpty())
        throw Error(QStringLiteral("No audio file given"));
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("File not found: %1").arg(path));
    if (!files::isRegularFile(path)) // a FIFO or a device would block or never end
        throw Error(QStringLiteral("Not a regular file: %1").arg(path));
    if (!info.isReadable())
        throw Error(QStringLiteral("Cannot read %1: permission denied").arg(path));
}

// The read-only mark is the file's own write bits: honoured even for a user
// (such as root) whom the system would let write anyway.
bool isReadOnly(const QString &path) {
    const QFileInfo info(path);
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !info.isWritable() || !(info.permissions() & anyWrite);
}

// A file stream that gives TagLib another name to tell the file type by: the
// copy a tag write goes through is named like no audio file.
class NamedStream final : public TagLib::FileStream {
public:
    NamedStream(const QByteArray &path, bool readOnly, QByteArray typeName)
        : TagLib::FileStream(path.constData(), readOnly), typeName_(std::move(typeName)) {}
    TagLib::FileName name() const override { return typeName_.constData(); }

private:
    QByteArray typeName_;
};

// The stream outlives the file that reads through it.
struct OpenFile {
    std::unique_ptr<TagLib::FileStream> stream;
    std::unique_ptr<TagLib::FileRef> ref;
};

OpenFile openFile(const QString &path, bool readOnly, bool exact, const QString &typeName = QString()) {
    OpenFile f;
    const QByteArray name = nativeName(path);
    f.stream =
        std::make_unique<NamedStream>(name, readOnly, nativeName(typeName.isEmpty() ? path : typeName));
    if (!f.stream->isOpen() || (!readOnly && f.stream->readOnly()))
        throw Error(readOnly ? QStringLiteral("Cannot open %1").arg(path)
                             : QStringLiteral("Cannot write tags to %1: the file is read-only").arg(path));
    f.ref = std::make_unique<TagLib::FileRef>(
        f.stream.get(), true, exact ? TagLib::AudioProperties::Accurate : TagLib::AudioProperties::Average);
    if (f.ref->isNull())
        throw Error(QStringLiteral("Unsupported or damaged audio file: %1").arg(path));
    return f;
}

} // namespace

AudioInformation::AudioInformation() {
    tagformats::InstallTextHandlers();
}

QString AudioInformation::GenreName(int i) {
    return varnelo::GenreName(i);
}

void AudioInformation::setInfoGenre(int number) {
    if (number < 0 || number >= GenreCount)
        number = -1;
    if (number == genre_)
        return; // keeps the file's own spelling of an unchanged genre
    genre_ = number;
    genreS_ = varnelo::GenreName(number);
}

void AudioInformation::setInfoGenreS(const QString &value) {
    genreS_ = value;
    genre_ = tagformats::GenreNumberOf(value);
}

void AudioInformation::setInfoMTV(int version) {
    if (version != 1 && version != 2)
        throw Error(QStringLiteral("Unknown MPEG tag version %1 (1 = ID3v1, 2 = ID3v2)").arg(version));
    mtv_ = version;
}

AudioInformation::Tags AudioInformation::tags() const {
    Tags t;
    t.title = title_;
    t.artist = artist_;
    t.album = album_;
    t.comments = comments_;
    t.copyright = copyright_;
    t.url = url_;
    t.encodedBy = encodedBy_;
    t.composer = composer_;
    t.genreS = genreS_;
    t.genre = genre_;
    t.year = year_;
    t.track = track_;
    return t;
}

void AudioInformation::setTags(const Tags &t) {
    title_ = t.title;
    artist_ = t.artist;
    album_ = t.album;
    comments_ = t.comments;
    copyright_ = t.copyright;
    url_ = t.url;
    encodedBy_ = t.encodedBy;
    composer_ = t.composer;
    genreS_ = t.genreS;
    genre_ = t.genre;
    year_ = t.year;
    track_ = t.track & 0xFFFF;
}

void AudioInformation::ClearInfo() {
    setTags(Tags{});
    frequency_ = bitrate_ = duration_ = channels_ = bitsPerSample_ = formatTag_ = 0;
    size_ = samples_ = 0;
    formatString_.clear();
}

void AudioInformation::LoadInfo(const QString &path) {
    ClearInfo();
    checkExisting(path);
    OpenFile f = openFile(path, true, exact_);
    TagLib::File &file = *f.ref->file();
    const Facts facts = tagformats::ReadFacts(file);
    if (!facts.damage.isEmpty())
        throw Error(QStringLiteral("Damaged audio file: %1 (its header claims %2)").arg(path, facts.damage));
    const Tags tags = tagformats::ReadTags(file);
    frequency_ = facts.frequency;
    bitrate_ = static_cast<int>(facts.bitrate);
    duration_ = facts.duration;
    size_ = facts.size;
    samples_ = facts.samples;
    channels_ = facts.channels;
    bitsPerSample_ = facts.bitsPerSample;
    formatTag_ = facts.formatTag;
    formatString_ = facts.formatString;
    setTags(tags);
}

namespace {

// A dry run on the original first: a file that needs no change is not
// touched. Then the change goes through a checked copy.
void writeChecked(const QString &path,
                  const std::function<tagformats::WriteResult(TagLib::File &, bool save)> &change,
                  tagformats::AudioCheck check = tagformats::AudioCheck::Decode) {
    checkExisting(path);
    if (isReadOnly(path))
        throw Error(QStringLiteral("Cannot write tags to %1: the file is read-only").arg(path));
    const std::type_info *type = nullptr;
    {
        OpenFile f = openFile(path, true, false);
        TagLib::File &file = *f.ref->file();
        if (change(file, false) == tagformats::WriteResult::Unchanged)
            return;
        if (const QString hidden = tagformats::AudioHiddenInTags(file); !hidden.isEmpty())
            throw Error(
                QStringLiteral("Cannot write tags to %1: %2; the file is left as it was").arg(path, hidden));
        type = &typeid(file);
    }
    tagformats::WriteThroughCopy(
        path,
        [&](const QString &copy) {
            OpenFile f = openFile(copy, false, false, path);
            TagLib::File &file = *f.ref->file();
            if (typeid(file) != *type || change(file, true) == tagformats::WriteResult::Failed)
                throw Error(QStringLiteral("Cannot write tags to %1; the file is left as it was").arg(path));
        },
        check);
}

} // namespace

void AudioInformation::SaveInfo(const QString &path, bool justEncoded) {
    const Tags wanted = tags();
    writeChecked(
        path, [&](TagLib::File &file, bool save) { return tagformats::WriteTags(file, wanted, mtv_, save); },
        justEncoded ? tagformats::AudioCheck::Bytes : tagformats::AudioCheck::Decode);
}

void AudioInformation::SaveInfo(const QString &path, bool justEncoded, const QMap<QString, QString> &fields) {
    using tagformats::WriteResult;
    const Tags wanted = tags();
    writeChecked(
        path,
        [&](TagLib::File &file, bool save) {
            const WriteResult info = tagformats::WriteTags(file, wanted, mtv_, save);
            if (info == WriteResult::Failed)
                return info;
            const WriteResult more = tagformats::WriteFields(file, fields, save);
            return more == WriteResult::Unchanged ? info : more;
        },
        justEncoded ? tagformats::AudioCheck::Bytes : tagformats::AudioCheck::Decode);
}

QMap<QString, QString> AudioInformation::LoadFields(const QString &path, const QStringList &names) const {
    checkExisting(path);
    OpenFile f = openFile(path, true, false);
    return tagformats::ReadFields(*f.ref->file(), names);
}

AudioInformation::Cover AudioInformation::LoadCover(const QString &path) const {
    checkExisting(path);
    OpenFile f = openFile(path, true, false);
    const Cover stored = tagformats::ReadFrontCover(*f.ref->file());
    return stored.isNull() ? Cover{} : tagformats::DescribeImage(stored.data, stored.mime);
}

AudioInformation::Cover AudioInformation::ReadCoverImage(const QString &imagePath) {
    if (imagePath.isEmpty())
        throw Error(QStringLiteral("No image file given"));
    if (!QFileInfo::exists(imagePath))
        throw Error(QStringLiteral("Image not found: %1").arg(imagePath));
    if (!files::isRegularFile(imagePath))
        throw Error(QStringLiteral("Not a regular file: %1").arg(imagePath));
    if (QFileInfo(imagePath).size() > MaxCoverBytes)
        throw Error(
            QStringLiteral("The image %1 is larger than %2 MB").arg(imagePath).arg(MaxCoverBytes >> 20));
    // Bounded again: the file may grow after the size was looked at.
    const QByteArray bytes = files::readBounded(imagePath, MaxCoverBytes + 1);
    if (bytes.size() > MaxCoverBytes)
        throw Error(
            QStringLiteral("The image %1 is larger than %2 MB").arg(imagePath).arg(MaxCoverBytes >> 20));
    if (tagformats::ImageTypeOf(bytes).isEmpty())
        throw Error(QStringLiteral("%1 is not a JPEG or PNG image").arg(imagePath));
    Cover cover = tagformats::DescribeImage(bytes, QString());
    if (cover.width <= 0 || cover.height <= 0)
        throw Error(QStringLiteral("The image %1 is damaged: its size cannot be read").arg(imagePath));
    return cover;
}

void AudioInformation::SaveCover(const QString &path, const QString &imagePath) {
    const Cover cover = ReadCoverImage(imagePath);
    writeChecked(
        path, [&](TagLib::File &file, bool save) { return tagformats::WriteFrontCover(file, &cover, save); });
}

void AudioInformation::RemoveCover(const QString &path) {
    writeChecked(path, [&](TagLib::File &file, bool save) {
        return tagformats::WriteFrontCover(file, nullptr, save);
    });
}

void AudioInformation::SaveFields(const QString &path, const QMap<QString, QString> &fields,
                                  bool justEncoded) {
    writeChecked(
        path, [&](TagLib::File &file, bool save) { return tagformats::WriteFields(file, fields, save); },
        justEncoded ? tagformats::AudioCheck::Bytes : tagformats::AudioCheck::Decode);
}

} // namespace varnelo
