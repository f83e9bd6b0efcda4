#include "platform/tags/TrackTagReaders.h"

#include "common/Error.h"
#include "common/FileGuards.h"
#include "platform/tags/AsfHeaderParser.h"
#include "platform/tags/AudioInformation.h"
#include "platform/tags/GenreTable.h"
#include "platform/tags/LegacyText.h"
#include "platform/tags/TagFormats.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/asffile.h>
#include <taglib/fileref.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/tfilestream.h>
#include <taglib/xiphcomment.h>
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

// None of the readers below changes the file: each opens it for reading only
// and leaves its permissions and times alone.
namespace varnelo {
namespace {

// ---- ID3v1 -----------------------------------------------------------------

constexpr qint64 Id3v1Size = 128;
constexpr int GenreWithoutTag = 3;  // "Dance"
constexpr int GenreOutOfTable = 12; // "Other"

QString id3v1Text(QByteArrayView tag, int offset) {
    QByteArrayView field = tag.sliced(offset, 30);
    const qsizetype nul = field.indexOf('\0');
    if (nul >= 0)
        field = field.first(nul);
    return DecodeLegacyText(field); // trailing spaces stay part of the value
}

// ---- Vorbis comments -------------------------------------------------------

class VorbisSource {
public:
    explicit VorbisSource(QIODevice &file) : file_(file), left_(file.size() - file.pos()) {}

    // Each call moves size × count bytes at most and reports whole items; no
    // more than the file held when it was opened is read.
    static size_t read(void *ptr, size_t size, size_t count, void *self) {
        if (size == 0 || count == 0)
            return 0;
        auto *source = static_cast<VorbisSource *>(self);
        const qint64 want = std::min<qint64>(source->left_, static_cast<qint64>(size * count));
        const qint64 got = want <= 0 ? 0 : source->file_.read(static_cast<char *>(ptr), want);
        if (got > 0)
            source->left_ -= got;
        return got <= 0 ? 0 : static_cast<size_t>(got) / size;
    }

private:
    QIODevice &file_;
    qint64 left_;
};

struct VorbisFileDeleter {
    void operator()(OggVorbis_File *vf) const {
        ov_clear(vf); // safe after a failed open, which leaves the struct cleared
        delete vf;
    }
};

QString vorbisError(int code) {
    switch (code) {
    case OV_EREAD:
        return QStringLiteral("a read from the file failed");
    case OV_ENOTVORBIS:
        return QStringLiteral("not Vorbis data");
    case OV_EVERSION:
        return QStringLiteral("Vorbis version mismatch");
    case OV_EBADHEADER:
        return QStringLiteral("invalid Vorbis bitstream header");
    case OV_EFAULT:
        return QStringLiteral("internal logic fault");
    default:
        return QStringLiteral("error %1").arg(code);
    }
}

// The comment keys in the reader's order; only the first four reach the record.
enum VorbisKey { Album, Title, Artist, Comment, Genre, Date, TrackNumber, KeyCount };
constexpr std::array<const char *, KeyCount> VorbisKeys = {"album", "title", "artist",     "comment",
                                                           "genre", "date",  "tracknumber"};

bool isBlankOrControl(QChar c) {
    return c.isSpace() || c.category() == QChar::Other_Control;
}

QString trimBlanksAndControls(const QString &s) {
    qsizetype begin = 0, end = s.size();
    while (begin < end && isBlankOrControl(s[begin]))
        ++begin;
    while (end > begin && isBlankOrControl(s[end - 1]))
        --end;
    return s.sliced(begin, end - begin);
}

class VorbisCommentMap {
public:
    // A name is split off at the first "=" only when it is plain printable
    // ASCII (32…125 without "="); anything else is a nameless value, which
    // no key matches.
    void add(QByteArrayView comment) {
        const qsizetype eq = comment.indexOf('=');
        if (eq < 0)
            return;
        const QByteArrayView name = comment.first(eq);
        for (char ch : name) {
            const auto b = static_cast<unsigned char>(ch);
            if (b < 32 || b > 125)
                return;
        }
        const QString key = QString::fromLatin1(name).toLower();
        for (int k = 0; k < KeyCount; ++k)
            if (key == QLatin1String(VorbisKeys[static_cast<std::size_t>(k)]))
                values_[static_cast<std::size_t>(k)] = QString::fromUtf8(comment.sliced(eq + 1));
    }
    TrackFields fields() const {
        auto v = [this](VorbisKey k) { return trimBlanksAndControls(values_[static_cast<std::size_t>(k)]); };
        return TrackFields{v(Genre), v(Title), v(Artist), v(Album)};
    }

private:
    std::array<QString, KeyCount> values_;
};

// Opus, FLAC or Speex in an .ogg file: the same comments through TagLib.
std::optional<TrackFields> readOtherOggComments(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    TagLib::FileStream stream(name.constData(), true);
    if (!stream.isOpen())
        return std::nullopt;
    TagLib::FileRef ref(&stream, false);
    TagLib::Ogg::XiphComment *xiph = nullptr;
    if (auto *opus = dynamic_cast<TagLib::Ogg::Opus::File *>(ref.file()))
        xiph = opus->tag();
    else if (auto *flac = dynamic_cast<TagLib::Ogg::FLAC::File *>(ref.file()))
        xiph = flac->tag();
    else if (auto *speex = dynamic_cast<TagLib::Ogg::Speex::File *>(ref.file()))
        xiph = speex->tag();
    if (!xiph)
        return std::nullopt;
    VorbisCommentMap map;
    for (const auto &[key, values] : xiph->fieldListMap())
        for (const auto &value : values)
            map.add(QString(tagformats::FromTagLib(key) + QLatin1Char('=') + tagformats::FromTagLib(value))
                        .toUtf8());
    return map.fields();
}

// ---- WMA -------------------------------------------------------------------

QString asfText(const TagLib::ASF::Tag &tag, const char *name) {
    if (!tag.contains(name))
        return {};
    for (const auto &a : tag.attribute(name))
        if (a.type() == TagLib::ASF::Attribute::UnicodeType)
            return tagformats::FromTagLib(a.toString());
    return {};
}

std::optional<TrackFields> readAsfWithTagLib(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    TagLib::FileStream stream(name.constData(), true);
    if (!stream.isOpen())
        return std::nullopt;
    TagLib::ASF::File file(&stream, false);
    if (!file.isValid() || !file.tag())
        return std::nullopt;
    const TagLib::ASF::Tag &tag = *file.tag();
    TrackFields f;
    f.title = tagformats::FromTagLib(tag.title());
    if (f.title.isEmpty())
        f.title = asfText(tag, "Title");
    f.artist = tagformats::FromTagLib(tag.artist());
    if (f.artist.isEmpty())
        f.artist = asfText(tag, "Author");
    f.album = asfText(tag, "WM/AlbumTitle");
    f.genre = asfText(tag, "WM/Genre");
    return f;
}

} // namespace

namespace {

// The ID3v1 tag in the last 128 bytes, when there is one.
std::optional<TrackFields> readId3v1Tag(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    QByteArray tag;
    if (file.size() >= Id3v1Size) {
        tag.resize(Id3v1Size);
        if (!file.seek(file.size() - Id3v1Size) || file.read(tag.data(), Id3v1Size) != Id3v1Size)
            throw Error(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    }
    return ParseId3v1Tag(tag);
}

} // namespace

std::optional<TrackFields> ParseId3v1Tag(QByteArrayView tail) {
    if (tail.size() != Id3v1Size || !tail.startsWith("TAG"))
        return std::nullopt;
    TrackFields f;
    const int number = static_cast<unsigned char>(tail[127]);
    f.genre = GenreName(number < GenreCount ? number : GenreOutOfTable);
    f.title = id3v1Text(tail, 3);
    f.artist = id3v1Text(tail, 33);
    f.album = id3v1Text(tail, 63);
    return f;
}

TrackFields ReadId3v1Fields(const QString &path) {
    if (std::optional<TrackFields> f = readId3v1Tag(path))
        return *f;
    TrackFields f;
    f.genre = GenreName(GenreWithoutTag);
    return f;
}

std::optional<TrackFields> ReadId3v2Fields(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    TagLib::FileStream stream(name.constData(), true);
    if (!stream.isOpen())
        return std::nullopt;
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid() || !file.hasID3v2Tag())
        return std::nullopt;
    const TagLib::ID3v2::Tag *tag = file.ID3v2Tag();
    TrackFields f;
    f.genre = tagformats::FromTagLib(tag->genre());
    f.title = tagformats::FromTagLib(tag->title());
    f.artist = tagformats::FromTagLib(tag->artist());
    f.album = tagformats::FromTagLib(tag->album());
    return f;
}

TrackFields ReadMp3Fields(const QString &path) {
    if (std::optional<TrackFields> v1 = readId3v1Tag(path))
        return *v1;
    if (std::optional<TrackFields> v2 = ReadId3v2Fields(path))
        return *v2;
    return ReadId3v1Fields(path);
}

TrackFields ReadVorbisFields(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    if (auto fields = ReadVorbisComments(file, path))
        return *fields;
    file.close();
    if (auto other = readOtherOggComments(path))
        return *other;
    throw Error(QStringLiteral("Cannot open %1: %2").arg(path, vorbisError(OV_ENOTVORBIS)));
}

std::optional<TrackFields> ReadVorbisComments(QIODevice &device, const QString &name) {
    VorbisSource source(device);
    // No seek callback: only the headers are read, never the whole stream.
    const ov_callbacks callbacks{&VorbisSource::read, nullptr, nullptr, nullptr};
    std::unique_ptr<OggVorbis_File, VorbisFileDeleter> vf(new OggVorbis_File{});
    const int rc = ov_open_callbacks(&source, vf.get(), nullptr, 0, callbacks);
    if (rc == OV_ENOTVORBIS)
        return std::nullopt;
    if (rc != 0)
        throw Error(QStringLiteral("Cannot open %1: %2").arg(name, vorbisError(rc)));
    VorbisCommentMap map;
    if (const vorbis_comment *vc = ov_comment(vf.get(), -1)) {
        for (int i = 0; i < vc->comments; ++i)
            if (vc->user_comments[i] && vc->comment_lengths[i] >= 0)
                map.add(QByteArrayView(vc->user_comments[i], vc->comment_lengths[i]));
    }
    return map.fields();
}

TrackFields ReadWmaFields(const QString &path) {
    if (auto f = readAsfWithTagLib(path))
        return *f;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const AsfHeaderFields h = ParseAsfHeader(file);
    return TrackFields{h.genre, h.title, h.author, h.album};
}

TrackFields ReadWavFields(const QString &path) {
    AudioInformation info;
    info.LoadInfo(path);
    TrackFields f;
    f.genre = info.infoGenreS();
    f.title = info.infoTitle();
    f.artist = info.infoArtist();
    f.album = info.infoAlbum();
    return f;
}

void ApplyTrackDefaults(TrackFields &fields, const QString &path) {
    if (fields.artist.isEmpty())
        fields.artist = QStringLiteral("Unknown Artist");
    if (fields.album.isEmpty())
        fields.album = QStringLiteral("Unknown Album");
    if (fields.title.isEmpty())
        fields.title = QFileInfo(path).fileName();
}

const QStringList &TrackFileExtensions() {
    static const QStringList extensions{
        QStringLiteral(".mp3"), QStringLiteral(".mp2"),  QStringLiteral(".wav"),  QStringLiteral(".wma"),
        QStringLiteral(".ogg"), QStringLiteral(".flac"), QStringLiteral(".opus"), QStringLiteral(".m4a")};
    return extensions;
}

TrackFields ReadTrackFields(const QString &path, const QString &extension) {
    // A FIFO or a device under an audio file's name would block or never end;
    // a missing file is each reader's to answer.
    files::requireRegularOrMissing(path);
    const QString ext = extension.toLower();
    TrackFields f;
    if (ext == QLatin1String(".mp3") || ext == QLatin1String(".mp2"))
        f = ReadMp3Fields(path);
    else if (ext == QLatin1String(".wma"))
        f = ReadWmaFields(path);
    else if (ext == QLatin1String(".ogg"))
        f = ReadVorbisFields(path);
    else if (ext == QLatin1String(".wav") || ext == QLatin1String(".flac") || ext == QLatin1String(".opus") ||
             ext == QLatin1String(".m4a"))
        f = ReadWavFields(path);
    ApplyTrackDefaults(f, path);
    return f;
}

} // namespace varnelo
