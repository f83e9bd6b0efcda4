#include "platform/tags/TagFormats.h"

#include "platform/tags/GenreTable.h"
#include "platform/tags/LegacyText.h"

#include <QStringList>

#include <taglib/aifffile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include <algorithm>
#include <mutex>

namespace varnelo::tagformats {
namespace {

using Tags = AudioInformation::Tags;
using Facts = AudioInformation::Facts;

// ID3v1 fields are 30 bytes (28 for the comment of a v1.1 tag). Text outside
// Latin-1 is stored as UTF-8 cut at a character boundary, short enough for
// every field, rather than as question marks.
constexpr int Id3v1TextBytes = 28;

QByteArray cutUtf8(const QString &text, int maxBytes) {
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= maxBytes)
        return bytes;
    int end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
        --end;
    return bytes.left(end);
}

QByteArray renderId3v1(const QString &text) {
    for (QChar c : text)
        if (c.unicode() > 0xFF)
            return cutUtf8(text, Id3v1TextBytes);
    return text.toLatin1();
}

QString parseLegacy(const TagLib::ByteVector &data) {
    QByteArrayView bytes(data.data(), static_cast<qsizetype>(data.size()));
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes = bytes.first(nul);
    return DecodeLegacyText(bytes);
}

class Id3v1TextHandler final : public TagLib::ID3v1::StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector &data) const override {
        return ToTagLib(parseLegacy(data).trimmed());
    }
    TagLib::ByteVector render(const TagLib::String &s) const override {
        const QByteArray bytes = renderId3v1(FromTagLib(s));
        return TagLib::ByteVector(bytes.constData(), static_cast<unsigned int>(bytes.size()));
    }
};

class InfoTextHandler final : public TagLib::RIFF::Info::StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector &data) const override {
        return ToTagLib(parseLegacy(data));
    }
    TagLib::ByteVector render(const TagLib::String &s) const override { return s.data(TagLib::String::UTF8); }
};

// What an ID3v1 field will read back as once written, for change detection.
QString id3v1RoundTrip(const QString &text, int width) {
    QByteArray bytes = renderId3v1(text).left(width);
    return parseLegacy(TagLib::ByteVector(bytes.constData(), static_cast<unsigned int>(bytes.size())))
        .trimmed();
}

QString joined(const TagLib::StringList &values) {
    QStringList out;
    for (const auto &v : values)
        out << FromTagLib(v);
    return out.join(QStringLiteral("; "));
}

// Looks a key up without inserting it, which operator[] of a non-const map does.
TagLib::StringList valuesOf(const TagLib::PropertyMap &map, const char *key) {
    const auto it = map.find(key);
    return it == map.end() ? TagLib::StringList() : it->second;
}

// "2004-05-01" → 2004, "3/12" → 3.
int leadingNumber(const QString &text) {
    const QString t = text.trimmed();
    qsizetype n = 0;
    while (n < t.size() && n < 9 && t[n] >= QLatin1Char('0') && t[n] <= QLatin1Char('9'))
        ++n;
    return n == 0 ? 0 : t.left(n).toInt();
}

struct TextKey {
    const char *key;
    QString Tags::*field;
};
constexpr TextKey TextKeys[] = {
    {"TITLE", &Tags::title},         {"ARTIST", &Tags::artist},       {"ALBUM", &Tags::album},
    {"COMMENT", &Tags::comments},    {"COPYRIGHT", &Tags::copyright}, {"URL", &Tags::url},
    {"ENCODEDBY", &Tags::encodedBy}, {"COMPOSER", &Tags::composer},   {"GENRE", &Tags::genreS},
};
struct NumberKey {
    const char *key;
    int Tags::*field;
};
constexpr NumberKey NumberKeys[] = {{"DATE", &Tags::year}, {"TRACKNUMBER", &Tags::track}};

Tags fromProperties(const TagLib::PropertyMap &map) {
    Tags t;
    for (const auto &k : TextKeys)
        t.*k.field = joined(valuesOf(map, k.key));
    for (const auto &k : NumberKeys)
        t.*k.field = leadingNumber(joined(valuesOf(map, k.key)));
    t.genre = GenreNumberOf(t.genreS);
    return t;
}

// Fields the map cannot hold come back as unsupported from setProperties and
// are left alone; only keys whose value changes are touched.
bool applyToProperties(TagLib::PropertyMap &map, const Tags &t, bool withUrl = true) {
    bool changed = false;
    for (const auto &k : TextKeys) {
        if (!withUrl && k.field == &Tags::url)
            continue;
        const QString &value = t.*k.field;
        if (joined(valuesOf(map, k.key)) == value)
            continue;
        if (value.isEmpty())
            map.erase(k.key);
        else
            map.replace(k.key, TagLib::StringList(ToTagLib(value)));
        changed = true;
    }
    for (const auto &k : NumberKeys) {
        const int value = t.*k.field;
        if (leadingNumber(joined(valuesOf(map, k.key))) == value)
            continue;
        if (value == 0)
            map.erase(k.key);
        else
            map.replace(k.key, TagLib::StringList(TagLib::String::number(value)));
        changed = true;
    }
    return changed;
}

// Fills every empty field of `primary` from `fallback`.
Tags merged(Tags primary, const Tags &fallback) {
    for (const auto &k : TextKeys)
        if ((primary.*k.field).isEmpty() && k.field != &Tags::genreS)
            primary.*k.field = fallback.*k.field;
    for (const auto &k : NumberKeys)
        if (primary.*k.field == 0)
            primary.*k.field = fallback.*k.field;
    if (primary.genreS.isEmpty()) {
        primary.genreS = fallback.genreS;
        primary.genre = fallback.genre;
    }
    return primary;
}

Tags fromId3v1(const TagLib::ID3v1::Tag &tag) {
    Tags t;
    t.title = FromTagLib(tag.title());
    t.artist = FromTagLib(tag.artist());
    t.album = FromTagLib(tag.album());
    t.comments = FromTagLib(tag.comment());
    t.year = static_cast<int>(tag.year());
    t.track = static_cast<int>(tag.track());
    const unsigned int number = tag.genreNumber();
    if (number < static_cast<unsigned int>(GenreCount)) {
        t.genre = static_cast<int>(number);
        t.genreS = GenreName(t.genre);
    }
    return t;
}

bool applyToId3v1(TagLib::ID3v1::Tag &tag, const Tags &t) {
    bool changed = false;
    auto text = [&](const TagLib::String &current, const QString &value, int width, auto setter) {
        if (FromTagLib(current) != id3v1RoundTrip(value, width)) {
            (tag.*setter)(ToTagLib(value));
            changed = true;
        }
    };
    text(tag.title(), t.title, 30, &TagLib::ID3v1::Tag::setTitle);
    text(tag.artist(), t.artist, 30, &TagLib::ID3v1::Tag::setArtist);
    text(tag.album(), t.album, 30, &TagLib::ID3v1::Tag::setAlbum);
    text(tag.comment(), t.comments, 28, &TagLib::ID3v1::Tag::setComment);
    const unsigned int year = t.year <= 9999 ? static_cast<unsigned int>(t.year) : 0;
    if (tag.year() != year) {
        tag.setYear(year);
        changed = true;
    }
    const unsigned int track = t.track <= 255 ? static_cast<unsigned int>(t.track) : 0;
    if (tag.track() != track) {
        tag.setTrack(track);
        changed = true;
    }
    const unsigned int genre = t.genre >= 0 ? static_cast<unsigned int>(t.genre) : 255;
    if (tag.genreNumber() != genre) {
        tag.setGenreNumber(genre);
        changed = true;
    }
    return changed;
}

// RIFF INFO has no field for the composer or a URL; those live in the "id3 "
// chunk of the same file.
struct InfoKey {
    const char *id;
    QString Tags::*field;
};
constexpr InfoKey InfoKeys[] = {
    {"INAM", &Tags::title},     {"IART", &Tags::artist},    {"IPRD", &Tags::album},
    {"ICMT", &Tags::comments},  {"ICOP", &Tags::copyright}, {"IGNR", &Tags::genreS},
    {"ITCH", &Tags::encodedBy},
};

Tags fromInfo(const TagLib::RIFF::Info::Tag &tag) {
    Tags t;
    for (const auto &k : InfoKeys)
        t.*k.field = FromTagLib(tag.fieldText(k.id));
    t.year = leadingNumber(FromTagLib(tag.fieldText("ICRD")));
    t.track = leadingNumber(FromTagLib(tag.fieldText("IPRT")));
    if (t.track == 0)
        t.track = leadingNumber(FromTagLib(tag.fieldText("ITRK")));
    t.genre = GenreNumberOf(t.genreS);
    return t;
}

bool applyToInfo(TagLib::RIFF::Info::Tag &tag, const Tags &t) {
    bool changed = false;
    auto set = [&](const char *id, const QString &value) {
        if (FromTagLib(tag.fieldText(id)) == value)
            return;
        if (value.isEmpty())
            tag.removeField(id);
        else
            tag.setFieldText(id, ToTagLib(value));
        changed = true;
    };
    for (const auto &k : InfoKeys)
        set(k.id, t.*k.field);
    const Tags current = fromInfo(tag);
    if (current.year != t.year)
        set("ICRD", t.year ? QString::number(t.year) : QString());
    if (current.track != t.track) {
        set("IPRT", t.track ? QString::number(t.track) : QString());
        set("ITRK", QString());
    }
    return changed;
}

bool isEmpty(const Tags &t) {
    for (const auto &k : TextKeys)
        if (!(t.*k.field).isEmpty())
            return false;
    return t.year == 0 && t.track == 0 && t.genre < 0;
}

TagLib::ID3v2::Version id3v2VersionFor(const TagLib::ID3v2::Tag *tag) {
    // Keep a 2.4 tag at 2.4; new tags are 2.3, which every player reads.
    return tag && tag->header()->majorVersion() == 4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3;
}

// Only a save that went through counts; a dry run tells that one would change the file.
template <typename Save> WriteResult saveIf(bool save, Save doSave) {
    if (!save)
        return WriteResult::Changed;
    return doSave() ? WriteResult::Changed : WriteResult::Failed;
}

WriteResult writeMpeg(TagLib::MPEG::File &f, const Tags &t, int version, bool save) {
    const bool wantV1 = version != 2 || f.hasID3v1Tag();
    const bool wantV2 = version != 1 || f.hasID3v2Tag();
    const bool nothing = isEmpty(t);
    int mask = TagLib::MPEG::File::NoTags;
    const TagLib::ID3v2::Version v2 = id3v2VersionFor(f.hasID3v2Tag() ? f.ID3v2Tag() : nullptr);
    if (wantV2 && (f.hasID3v2Tag() || !nothing)) {
        TagLib::ID3v2::Tag *tag = f.ID3v2Tag(true);
        TagLib::PropertyMap map = tag->properties();
        if (applyToProperties(map, t) || !f.hasID3v2Tag()) {
            tag->setProperties(map);
            mask |= TagLib::MPEG::File::ID3v2;
        }
    }
    if (wantV1 && (f.hasID3v1Tag() || !nothing)) {
        const bool had = f.hasID3v1Tag();
        if (applyToId3v1(*f.ID3v1Tag(true), t) || !had)
            mask |= TagLib::MPEG::File::ID3v1;
    }
    if (f.hasAPETag()) {
        TagLib::PropertyMap map = f.APETag()->properties();
        if (applyToProperties(map, t)) {
            f.APETag()->setProperties(map);
            mask |= TagLib::MPEG::File::APE;
        }
    }
    if (mask == TagLib::MPEG::File::NoTags)
        return WriteResult::Unchanged;
    return saveIf(save,
                  [&] { return f.save(mask, TagLib::File::StripNone, v2, TagLib::File::DoNotDuplicate); });
}

WriteResult writeWav(TagLib::RIFF::WAV::File &f, const Tags &t, bool save) {
    int mask = TagLib::RIFF::WAV::File::NoTags;
    const bool hadInfo = f.hasInfoTag();
    if (applyToInfo(*f.InfoTag(), t) || (!hadInfo && !isEmpty(t)))
        mask |= TagLib::RIFF::WAV::File::Info;
    const bool needsId3 = !t.composer.isEmpty() || !t.url.isEmpty();
    const TagLib::ID3v2::Version v2 = id3v2VersionFor(f.hasID3v2Tag() ? f.ID3v2Tag() : nullptr);
    if (f.hasID3v2Tag() || needsId3) {
        TagLib::PropertyMap map = f.ID3v2Tag()->properties();
        if (applyToProperties(map, t)) {
            f.ID3v2Tag()->setProperties(map);
            mask |= TagLib::RIFF::WAV::File::ID3v2;
        }
    }
    if (mask == TagLib::RIFF::WAV::File::NoTags)
        return WriteResult::Unchanged;
    return saveIf(save, [&] {
        return f.save(static_cast<TagLib::RIFF::WAV::File::TagTypes>(mask), TagLib::File::StripNone, v2);
    });
}

// ASF keeps the URL in an attribute of its own; the Windows Media "Description"
// is where other writers put the comment.
constexpr const char *AsfUrl = "WM/AuthorURL";

QString asfAttribute(const TagLib::ASF::Tag &tag, const char *name) {
    if (!tag.contains(name))
        return {};
    const auto list = tag.attribute(name);
    for (const auto &a : list)
        if (a.type() == TagLib::ASF::Attribute::UnicodeType)
            return FromTagLib(a.toString());
    return {};
}

// Some writers repeat the content description's texts as attributes
// ("title", "Author", "Description"); other readers prefer those, so they
// follow the new values instead of going stale.
bool syncAsfDuplicates(TagLib::ASF::Tag &tag, const Tags &t) {
    static const std::pair<const char *, QString Tags::*> Duplicates[] = {
        {"title", &Tags::title},
        {"author", &Tags::artist},
        {"description", &Tags::comments},
        {"copyright", &Tags::copyright},
    };
    bool changed = false;
    TagLib::StringList names;
    for (const auto &entry : tag.attributeListMap())
        names.append(entry.first);
    for (const auto &name : names) {
        const QString lower = FromTagLib(name).toLower();
        for (const auto &[duplicate, field] : Duplicates) {
            if (lower != QLatin1String(duplicate))
                continue;
            const QString &value = t.*field;
            const auto list = tag.attribute(name);
            if (list.size() == 1 && list.front().type() == TagLib::ASF::Attribute::UnicodeType &&
                FromTagLib(list.front().toString()) == value)
                continue;
            if (value.isEmpty())
                tag.removeItem(name);
            else
                tag.setAttribute(name, TagLib::ASF::Attribute(ToTagLib(value)));
            changed = true;
        }
    }
    return changed;
}

WriteResult writeGeneric(TagLib::File &file, const Tags &t, bool save) {
    auto *asf = dynamic_cast<TagLib::ASF::File *>(&file);
    TagLib::PropertyMap map = file.properties();
    bool changed = applyToProperties(map, t, asf == nullptr);
    if (changed)
        file.setProperties(map);
    if (asf)
        changed |= syncAsfDuplicates(*asf->tag(), t);
    if (asf && asfAttribute(*asf->tag(), AsfUrl) != t.url) {
        if (t.url.isEmpty())
            asf->tag()->removeItem(AsfUrl);
        else
            asf->tag()->setAttribute(AsfUrl, TagLib::ASF::Attribute(ToTagLib(t.url)));
        changed = true;
    }
    if (!changed)
        return WriteResult::Unchanged;
    return saveIf(save, [&] { return file.save(); });
}

QString channelText(int channels) {
    switch (channels) {
    case 1:
        return QStringLiteral("Mono");
    case 2:
        return QStringLiteral("Stereo");
    default:
        return QStringLiteral("%1 channels").arg(channels);
    }
}

QString wavFormatName(int tag) {
    switch (tag) {
    case 0x0001:
        return QStringLiteral("PCM");
    case 0x0002:
        return QStringLiteral("Microsoft ADPCM");
    case 0x0003:
        return QStringLiteral("IEEE float");
    case 0x0006:
        return QStringLiteral("A-law");
    case 0x0007:
        return QStringLiteral("mu-law");
    case 0x0011:
        return QStringLiteral("IMA ADPCM");
    case 0x0045:
        return QStringLiteral("G.726 ADPCM");
    case 0x0050:
        return QStringLiteral("MPEG audio in WAV");
    case 0x0055:
        return QStringLiteral("MPEG Layer 3 in WAV");
    case 0xFFFE:
        return QStringLiteral("PCM (extensible)");
    default:
        return QStringLiteral("WAVE format 0x%1").arg(tag, 4, 16, QLatin1Char('0'));
    }
}

} // namespace

void InstallTextHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        // TagLib keeps the pointers; the handlers live for the whole run.
        static const Id3v1TextHandler id3v1;
        static const InfoTextHandler info;
        TagLib::ID3v1::Tag::setStringHandler(&id3v1);
        TagLib::RIFF::Info::Tag::setStringHandler(&info);
    });
}

TagLib::String ToTagLib(const QString &text) {
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

QString FromTagLib(const TagLib::String &text) {
    return QString::fromStdString(text.to8Bit(true));
}

TagLib::ID3v2::Version Id3v2VersionFor(const TagLib::ID3v2::Tag *tag) {
    return id3v2VersionFor(tag);
}

int GenreNumberOf(const QString &text) {
    if (text.isEmpty())
        return -1;
    int n = GenreNumber(text);
    if (n >= 0)
        return n;
    n = TagLib::ID3v1::genreIndex(ToTagLib(text));
    return n >= 0 && n < GenreCount ? n : -1;
}

AudioInformation::Tags ReadTags(TagLib::File &file) {
    if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(&file)) {
        Tags t;
        if (mpeg->hasID3v2Tag())
            t = fromProperties(mpeg->ID3v2Tag()->properties());
        if (mpeg->hasAPETag())
            t = merged(t, fromProperties(mpeg->APETag()->properties()));
        if (mpeg->hasID3v1Tag())
            t = merged(t, fromId3v1(*mpeg->ID3v1Tag()));
        return t;
    }
    if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(&file)) {
        Tags t;
        if (wav->hasID3v2Tag())
            t = fromProperties(wav->ID3v2Tag()->properties());
        return merged(t, fromInfo(*wav->InfoTag()));
    }
    Tags t = fromProperties(file.properties());
    if (auto *asf = dynamic_cast<TagLib::ASF::File *>(&file)) {
        t.url = asfAttribute(*asf->tag(), AsfUrl);
        if (t.comments.isEmpty())
            t.comments = asfAttribute(*asf->tag(), "Description");
    }
    return t;
}

namespace {

Facts factsOf(TagLib::File &file) {
    Facts f;
    f.size = file.length();
    const TagLib::AudioProperties *p = file.audioProperties();
    if (!p)
        return f;
    f.frequency = p->sampleRate();
    f.channels = p->channels();
    f.duration = p->lengthInMilliseconds();
    f.bitrate = qint64(p->bitrate()) * 1000;
    f.samples = static_cast<qint64>(f.duration) * f.frequency / 1000;
    QString codec;
    if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(&file)) {
        const auto *mp = mpeg->audioProperties();
        const int layer = mp->layer();
        if (layer == 0 || f.frequency == 0) {
            // Tags can still be edited, but nothing here is audio.
            f.formatString = QStringLiteral("No MPEG audio frames found");
            return f;
        }
        f.formatTag = layer == 3 ? 0x0055 : 0x0050;
        const char *version = mp->version() == TagLib::MPEG::Header::Version1   ? "1"
                              : mp->version() == TagLib::MPEG::Header::Version2 ? "2"
                                                                                : "2.5";
        codec = QStringLiteral("MPEG-%1 Layer %2").arg(QLatin1String(version)).arg(layer);
        f.formatString =
            QStringLiteral("%1, %2 kbps, %3 Hz, %4")
                .arg(codec)
                .arg(p->bitrate())
                .arg(f.frequency)
                .arg(mp->channelMode() == TagLib::MPEG::Header::JointStereo   ? QStringLiteral("Joint Stereo")
                     : mp->channelMode() == TagLib::MPEG::Header::DualChannel ? QStringLiteral("Dual Channel")
                                                                              : channelText(f.channels));
        return f;
    }
    if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(&file)) {
        const auto *wp = wav->audioProperties();
        // The header's 16-bit fields are unsigned; TagLib reads them signed.
        f.formatTag = wp->format() & 0xFFFF;
        f.channels &= 0xFFFF;
        f.bitsPerSample = wp->bitsPerSample() & 0xFFFF;
        f.samples = wp->sampleFrames();
        if (f.formatTag == 1 || f.formatTag == 3 || f.formatTag == 0xFFFE)
            f.bitrate = qint64(f.frequency) * f.channels * f.bitsPerSample;
        codec = wavFormatName(f.formatTag);
        f.formatString = QStringLiteral("%1, %2 Hz, %3 bit, %4")
                             .arg(codec)
                             .arg(f.frequency)
                             .arg(f.bitsPerSample)
                             .arg(channelText(f.channels));
        return f;
    }
    if (auto *asf = dynamic_cast<TagLib::ASF::File *>(&file)) {
        const auto *ap = asf->audioProperties();
        static constexpr int AsfTags[] = {0, 0x0160, 0x0161, 0x0162, 0x0163};
        const int c = static_cast<int>(ap->codec());
        f.formatTag = c >= 0 && c <= 4 ? AsfTags[c] : 0;
        codec = FromTagLib(ap->codecName());
        if (codec.isEmpty())
            codec = QStringLiteral("Windows Media Audio");
        if (ap->codec() == TagLib::ASF::Properties::WMA9Lossless)
            f.bitsPerSample = ap->bitsPerSample();
    } else if (dynamic_cast<TagLib::Ogg::Vorbis::File *>(&file)) {
        f.formatTag = 0x674F;
        codec = QStringLiteral("Ogg Vorbis");
    } else if (dynamic_cast<TagLib::Ogg::Opus::File *>(&file)) {
        f.formatTag = 0x704F;
        codec = QStringLiteral("Ogg Opus");
    } else if (auto *flac = dynamic_cast<TagLib::FLAC::File *>(&file)) {
        f.formatTag = 0xF1AC;
        f.bitsPerSample = flac->audioProperties()->bitsPerSample();
        f.samples = static_cast<qint64>(flac->audioProperties()->sampleFrames());
        codec = QStringLiteral("FLAC");
    } else if (auto *oflac = dynamic_cast<TagLib::Ogg::FLAC::File *>(&file)) {
        f.formatTag = 0xF1AC;
        f.bitsPerSample = oflac->audioProperties()->bitsPerSample();
        f.samples = static_cast<qint64>(oflac->audioProperties()->sampleFrames());
        codec = QStringLiteral("Ogg FLAC");
    } else if (auto *mp4 = dynamic_cast<TagLib::MP4::File *>(&file)) {
        const bool alac = mp4->audioProperties()->codec() == TagLib::MP4::Properties::ALAC;
        f.formatTag = alac ? 0 : 0x00FF;
        if (alac)
            f.bitsPerSample = mp4->audioProperties()->bitsPerSample();
        codec = alac ? QStringLiteral("Apple Lossless") : QStringLiteral("AAC");
    } else if (auto *aiff = dynamic_cast<TagLib::RIFF::AIFF::File *>(&file)) {
        f.bitsPerSample = aiff->audioProperties()->bitsPerSample();
        f.samples = aiff->audioProperties()->sampleFrames();
        codec = QStringLiteral("AIFF");
    } else {
        codec = QStringLiteral("Audio");
    }
    f.formatString = QStringLiteral("%1, %2 kbps, %3 Hz, %4")
                         .arg(codec)
                         .arg(p->bitrate())
                         .arg(f.frequency)
                         .arg(channelText(f.channels));
    return f;
}

// Limits no audio file passes: the highest sample rate in use, the most
// channels and bits a sample format has, and no more bits per second than
// uncompressed samples of those take.
QString implausible(const Facts &f) {
    constexpr int MaxRate = 768000, MaxChannels = 64, MaxBits = 64;
    if (f.frequency < 0 || f.frequency > MaxRate)
        return QStringLiteral("a sample rate of %1 Hz").arg(f.frequency);
    if (f.channels < 0 || f.channels > MaxChannels || (f.channels == 0 && f.frequency > 0 && f.samples > 0))
        return QStringLiteral("%1 channels").arg(f.channels);
    if (f.bitsPerSample < 0 || f.bitsPerSample > MaxBits)
        return QStringLiteral("%1 bits per sample").arg(f.bitsPerSample);
    const qint64 most = qint64(std::max(f.frequency, 1)) * std::max(f.channels, 1) * MaxBits;
    if (f.bitrate < 0 || f.bitrate > most)
        return QStringLiteral("%1 bits per second").arg(f.bitrate);
    if (f.duration < 0 || f.samples < 0)
        return QStringLiteral("a negative length");
    return {};
}

} // namespace

AudioInformation::Facts ReadFacts(TagLib::File &file) {
    Facts f = factsOf(file);
    f.damage = implausible(f);
    return f;
}

QMap<QString, QString> ReadFields(TagLib::File &file, const QStringList &names) {
    auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(&file);
    if (mpeg && !mpeg->hasID3v2Tag())
        return {};
    const TagLib::PropertyMap map = mpeg ? mpeg->ID3v2Tag()->properties() : file.properties();
    QMap<QString, QString> found;
    for (const QString &name : names)
        if (const auto values = valuesOf(map, name.toUpper().toLatin1().constData()); !values.isEmpty())
            found.insert(name, joined(values));
    return found;
}

WriteResult WriteFields(TagLib::File &file, const QMap<QString, QString> &fields, bool save) {
    auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(&file);
    const auto version = id3v2VersionFor(mpeg && mpeg->hasID3v2Tag() ? mpeg->ID3v2Tag() : nullptr);
    TagLib::PropertyMap map = mpeg ? mpeg->ID3v2Tag(true)->properties() : file.properties();
    bool changed = false;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const TagLib::String key = ToTagLib(it.key().toUpper());
        if (joined(valuesOf(map, key.toCString(true))) == it.value())
            continue;
        map.replace(key, TagLib::StringList(ToTagLib(it.value())));
        changed = true;
    }
    if (!changed)
        return WriteResult::Unchanged;
    if (!save)
        return WriteResult::Changed;
    if (mpeg) {
        if (!mpeg->ID3v2Tag()->setProperties(map).isEmpty())
            return WriteResult::Failed;
        return mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, version,
                          TagLib::File::DoNotDuplicate)
                   ? WriteResult::Changed
                   : WriteResult::Failed;
    }
    if (!file.setProperties(map).isEmpty())
        return WriteResult::Failed;
    return file.save() ? WriteResult::Changed : WriteResult::Failed;
}

WriteResult WriteTags(TagLib::File &file, const Tags &tags, int mpegVersion, bool save) {
    if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(&file))
        return writeMpeg(*mpeg, tags, mpegVersion, save);
    if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(&file))
        return writeWav(*wav, tags, save);
    return writeGeneric(file, tags, save);
}

} // namespace varnelo::tagformats
