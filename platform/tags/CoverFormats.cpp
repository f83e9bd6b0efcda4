#include "platform/tags/CoverFormats.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <taglib/aifffile.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/oggfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

namespace varnelo::tagformats {
namespace {

using Cover = AudioInformation::Cover;

// Picture types shared by ID3v2, FLAC and ASF.
constexpr int OtherType = 0;
constexpr int FrontCoverType = 3;

QByteArray fromVector(const TagLib::ByteVector &v) {
    return QByteArray(v.data(), static_cast<qsizetype>(v.size()));
}

TagLib::ByteVector toVector(const QByteArray &b) {
    return TagLib::ByteVector(b.constData(), static_cast<unsigned int>(b.size()));
}

struct Stored {
    int type = OtherType;
    QString mime;
    QByteArray data;
};

// One format's list of pictures, changed in memory and saved by the caller.
class Pictures {
public:
    virtual ~Pictures() = default;
    virtual std::vector<Stored> list() = 0;
    // Indices into list(), ascending.
    virtual void remove(const std::vector<int> &indices) = 0;
    virtual void addFront(const Cover &cover) = 0;
};

class Id3v2Pictures final : public Pictures {
public:
    explicit Id3v2Pictures(TagLib::ID3v2::Tag &tag) : tag_(tag) {}
    std::vector<Stored> list() override {
        std::vector<Stored> out;
        for (auto *frame : frames())
            out.push_back({static_cast<int>(frame->type()), FromTagLib(frame->mimeType()),
                           fromVector(frame->picture())});
        return out;
    }
    void remove(const std::vector<int> &indices) override {
        const auto all = frames();
        for (int i : indices)
            tag_.removeFrame(all[std::size_t(i)], true);
    }
    void addFront(const Cover &cover) override {
        auto *frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        frame->setMimeType(ToTagLib(cover.mime));
        frame->setPicture(toVector(cover.data));
        tag_.addFrame(frame);
    }

private:
    std::vector<TagLib::ID3v2::AttachedPictureFrame *> frames() {
        std::vector<TagLib::ID3v2::AttachedPictureFrame *> out;
        const auto &map = tag_.frameListMap();
        if (const auto it = map.find("APIC"); it != map.end())
            for (auto *frame : it->second)
                if (auto *picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(frame))
                    out.push_back(picture);
        return out;
    }
    TagLib::ID3v2::Tag &tag_;
};

// FLAC's own PICTURE blocks and the same structure in a Vorbis comment.
template <typename Owner> class FlacPictures final : public Pictures {
public:
    explicit FlacPictures(Owner &owner) : owner_(owner) {}
    std::vector<Stored> list() override {
        std::vector<Stored> out;
        for (auto *p : owner_.pictureList())
            out.push_back({static_cast<int>(p->type()), FromTagLib(p->mimeType()), fromVector(p->data())});
        return out;
    }
    // The pictures kept are re-added as copies: whether removePicture frees a
    // picture its list frees too differs between the owners.
    void remove(const std::vector<int> &indices) override {
        std::vector<TagLib::ByteVector> kept;
        int i = 0;
        for (auto *p : owner_.pictureList())
            if (std::find(indices.begin(), indices.end(), i++) == indices.end())
                kept.push_back(p->render());
        if constexpr (std::is_same_v<Owner, TagLib::FLAC::File>)
            owner_.removePictures();
        else
            owner_.removeAllPictures();
        for (const auto &block : kept)
            owner_.addPicture(new TagLib::FLAC::Picture(block));
    }
    void addFront(const Cover &cover) override {
        auto *p = new TagLib::FLAC::Picture;
        p->setType(TagLib::FLAC::Picture::FrontCover);
        p->setMimeType(ToTagLib(cover.mime));
        p->setData(toVector(cover.data));
        p->setWidth(cover.width);
        p->setHeight(cover.height);
        p->setColorDepth(cover.mime == QLatin1String("image/png") ? 32 : 24);
        owner_.addPicture(p);
    }

private:
    Owner &owner_;
};

// M4A pictures carry no type: every one of them is the cover.
class Mp4Pictures final : public Pictures {
public:
    explicit Mp4Pictures(TagLib::MP4::Tag &tag) : tag_(tag) {}
    std::vector<Stored> list() override {
        std::vector<Stored> out;
        for (const auto &art : arts())
            out.push_back({FrontCoverType,
                           art.format() == TagLib::MP4::CoverArt::PNG    ? QStringLiteral("image/png")
                           : art.format() == TagLib::MP4::CoverArt::JPEG ? QStringLiteral("image/jpeg")
                                                                         : QString(),
                           fromVector(art.data())});
        return out;
    }
    void remove(const std::vector<int> &indices) override {
        TagLib::MP4::CoverArtList kept;
        int i = 0;
        for (const auto &art : arts())
            if (std::find(indices.begin(), indices.end(), i++) == indices.end())
                kept.append(art);
        store(kept);
    }
    void addFront(const Cover &cover) override {
        TagLib::MP4::CoverArtList all = arts();
        all.prepend(TagLib::MP4::CoverArt(cover.mime == QLatin1String("image/png")
                                              ? TagLib::MP4::CoverArt::PNG
                                              : TagLib::MP4::CoverArt::JPEG,
                                          toVector(cover.data)));
        store(all);
    }

private:
    TagLib::MP4::CoverArtList arts() const {
        return tag_.contains("covr") ? tag_.item("covr").toCoverArtList() : TagLib::MP4::CoverArtList();
    }
    void store(const TagLib::MP4::CoverArtList &list) {
        if (list.isEmpty())
            tag_.removeItem("covr");
        else
            tag_.setItem("covr", TagLib::MP4::Item(list));
    }
    TagLib::MP4::Tag &tag_;
};

constexpr const char *AsfPicture = "WM/Picture";

class AsfPictures final : public Pictures {
public:
    explicit AsfPictures(TagLib::ASF::Tag &tag) : tag_(tag) {}
    std::vector<Stored> list() override {
        std::vector<Stored> out;
        for (const auto &a : attributes()) {
            const TagLib::ASF::Picture p = a.toPicture();
            if (p.isValid())
                out.push_back(
                    {static_cast<int>(p.type()), FromTagLib(p.mimeType()), fromVector(p.picture())});
        }
        return out;
    }
    void remove(const std::vector<int> &indices) override {
        // Indices count valid pictures only; an unreadable attribute stays.
        TagLib::ASF::AttributeList kept;
        int i = 0;
        for (const auto &a : attributes()) {
            if (a.toPicture().isValid() && std::find(indices.begin(), indices.end(), i++) != indices.end())
                continue;
            kept.append(a);
        }
        if (kept.isEmpty())
            tag_.removeItem(AsfPicture);
        else
            tag_.setAttribute(AsfPicture, kept);
    }
    void addFront(const Cover &cover) override {
        TagLib::ASF::Picture p;
        p.setType(TagLib::ASF::Picture::FrontCover);
        p.setMimeType(ToTagLib(cover.mime));
        p.setPicture(toVector(cover.data));
        TagLib::ASF::AttributeList all;
        all.append(TagLib::ASF::Attribute(p));
        for (const auto &a : attributes())
            all.append(a);
        tag_.setAttribute(AsfPicture, all);
    }

private:
    TagLib::ASF::AttributeList attributes() const {
        return tag_.contains(AsfPicture) ? tag_.attribute(AsfPicture) : TagLib::ASF::AttributeList();
    }
    TagLib::ASF::Tag &tag_;
};

// The pictures of `file` and how to save them; no pictures for a format that
// holds none, or (without `create`) for an MP3 without an ID3v2 tag.
struct Access {
    std::unique_ptr<Pictures> pictures;
    std::function<bool()> save;
};

Access accessOf(TagLib::File &file, bool create) {
    Access a;
    if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(&file)) {
        if (!mpeg->hasID3v2Tag() && !create)
            return a;
        const auto version = Id3v2VersionFor(mpeg->hasID3v2Tag() ? mpeg->ID3v2Tag() : nullptr);
        a.pictures = std::make_unique<Id3v2Pictures>(*mpeg->ID3v2Tag(true));
        // Only the ID3v2 tag changes; an ID3v1 or APE tag stays as it is.
        a.save = [mpeg, version] {
            return mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, version,
                              TagLib::File::DoNotDuplicate);
        };
    } else if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(&file)) {
        if (!wav->hasID3v2Tag() && !create)
            return a;
        const auto version = Id3v2VersionFor(wav->hasID3v2Tag() ? wav->ID3v2Tag() : nullptr);
        a.pictures = std::make_unique<Id3v2Pictures>(*wav->ID3v2Tag());
        a.save = [wav, version] {
            return wav->save(TagLib::RIFF::WAV::File::ID3v2, TagLib::File::StripNone, version);
        };
    } else if (auto *aiff = dynamic_cast<TagLib::RIFF::AIFF::File *>(&file)) {
        if ((!aiff->hasID3v2Tag() && !create) || !aiff->tag())
            return a;
        const auto version = Id3v2VersionFor(aiff->hasID3v2Tag() ? aiff->tag() : nullptr);
        a.pictures = std::make_unique<Id3v2Pictures>(*aiff->tag());
        a.save = [aiff, version] { return aiff->save(version); };
    } else if (auto *flac = dynamic_cast<TagLib::FLAC::File *>(&file)) {
        a.pictures = std::make_unique<FlacPictures<TagLib::FLAC::File>>(*flac);
    } else if (auto *xiph = dynamic_cast<TagLib::Ogg::XiphComment *>(file.tag());
               xiph && dynamic_cast<TagLib::Ogg::File *>(&file)) {
        a.pictures = std::make_unique<FlacPictures<TagLib::Ogg::XiphComment>>(*xiph);
    } else if (auto *mp4 = dynamic_cast<TagLib::MP4::File *>(&file); mp4 && mp4->tag()) {
        a.pictures = std::make_unique<Mp4Pictures>(*mp4->tag());
    } else if (auto *asf = dynamic_cast<TagLib::ASF::File *>(&file); asf && asf->tag()) {
        a.pictures = std::make_unique<AsfPictures>(*asf->tag());
    }
    if (a.pictures && !a.save)
        a.save = [&file] { return file.save(); };
    return a;
}

// The pictures that are the front cover: those marked so, else the untyped
// ones. A picture without bytes is no picture.
std::vector<int> coverIndices(const std::vector<Stored> &list) {
    for (int wanted : {FrontCoverType, OtherType}) {
        std::vector<int> found;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].type == wanted && !list[i].data.isEmpty())
                found.push_back(int(i));
        if (!found.empty())
            return found;
    }
    return {};
}

} // namespace

QString ImageTypeOf(const QByteArray &data) {
    if (data.startsWith(QByteArrayLiteral("\xFF\xD8\xFF")))
        return QStringLiteral("image/jpeg");
    if (data.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1A\n")))
        return QStringLiteral("image/png");
    return {};
}

AudioInformation::Cover DescribeImage(QByteArray data, const QString &storedMime) {
    Cover c;
    c.data = std::move(data);
    c.mime = ImageTypeOf(c.data);
    if (c.mime.isEmpty()) {
        // A stored type is outside text: kept only as a plain short token.
        const QString stored = storedMime.trimmed().left(64);
        const bool plain = std::all_of(stored.begin(), stored.end(), [](QChar ch) {
            return ch.isLetterOrNumber() || QStringLiteral("/+-.").contains(ch);
        });
        c.mime = plain ? stored.toLower() : QString();
    }
    // Only JPEG and PNG headers are looked into, by the reader of that format
    // alone: no other image parser (SVG, ICO, ...) sees bytes from a file's tags.
    const QString known = ImageTypeOf(c.data);
    if (known.isEmpty() || c.data.size() > AudioInformation::MaxCoverBytes)
        return c;
    // The header alone gives the size; nothing is decoded.
    QBuffer buffer(&c.data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, known == QLatin1String("image/png") ? "png" : "jpeg");
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (size.isValid()) {
        c.width = size.width();
        c.height = size.height();
    }
    return c;
}

AudioInformation::Cover ReadFrontCover(TagLib::File &file) {
    const Access a = accessOf(file, false);
    if (!a.pictures)
        return {};
    const std::vector<Stored> list = a.pictures->list();
    const std::vector<int> covers = coverIndices(list);
    if (covers.empty())
        return {};
    const Stored &front = list[std::size_t(covers.front())];
    Cover c;
    c.data = front.data;
    c.mime = front.mime;
    return c;
}

WriteResult WriteFrontCover(TagLib::File &file, const AudioInformation::Cover *cover, bool save) {
    const Access a = accessOf(file, cover != nullptr);
    if (!a.pictures)
        return cover ? WriteResult::Failed : WriteResult::Unchanged;
    const std::vector<Stored> list = a.pictures->list();
    const std::vector<int> covers = coverIndices(list);
    if (!cover && covers.empty())
        return WriteResult::Unchanged;
    if (cover && covers.size() == 1 && list[std::size_t(covers.front())].type == FrontCoverType &&
        list[std::size_t(covers.front())].data == cover->data &&
        list[std::size_t(covers.front())].mime == cover->mime)
        return WriteResult::Unchanged;
    if (!save)
        return WriteResult::Changed;
    a.pictures->remove(covers);
    if (cover)
        a.pictures->addFront(*cover);
    return a.save() ? WriteResult::Changed : WriteResult::Failed;
}

} // namespace varnelo::tagformats
