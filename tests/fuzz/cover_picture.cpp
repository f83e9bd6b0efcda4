// Front cover reading from the tags of a whole file: the first byte of the
// input picks the format TagLib reads the rest as, the cover found is described
// from its image header as `tags show` does, and a removal is planned (not
// saved). The seeds are short files made by ffmpeg with a small PNG cover set
// by `varnelo-cli tags set --cover`, each behind its format byte.
#include "FuzzSupport.h"
#include "platform/tags/CoverFormats.h"

#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/vorbisfile.h>

#include <algorithm>
#include <memory>

using namespace varnelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    if (size < 1)
        return 0;
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(reinterpret_cast<const char *>(data) + 1, static_cast<unsigned int>(size - 1)));
    std::unique_ptr<TagLib::File> file;
    switch (data[0] % 6) {
    case 0:
        file = std::make_unique<TagLib::MPEG::File>(&stream, TagLib::ID3v2::FrameFactory::instance());
        break;
    case 1:
        file = std::make_unique<TagLib::FLAC::File>(&stream, TagLib::ID3v2::FrameFactory::instance());
        break;
    case 2:
        file = std::make_unique<TagLib::Ogg::Vorbis::File>(&stream);
        break;
    case 3:
        file = std::make_unique<TagLib::Ogg::Opus::File>(&stream);
        break;
    case 4:
        file = std::make_unique<TagLib::MP4::File>(&stream);
        break;
    default:
        file = std::make_unique<TagLib::ASF::File>(&stream);
        break;
    }
    if (!file->isValid())
        return 0;
    const AudioInformation::Cover stored = tagformats::ReadFrontCover(*file);
    if (!stored.isNull()) {
        const AudioInformation::Cover cover = tagformats::DescribeImage(stored.data, stored.mime);
        FUZZ_CHECK(cover.data == stored.data);
        FUZZ_CHECK(cover.width >= 0 && cover.height >= 0);
        // The type is printed to terminals and shown in the window.
        FUZZ_CHECK(std::none_of(cover.mime.begin(), cover.mime.end(),
                                [](QChar c) { return c.category() == QChar::Other_Control; }));
    }
    const auto plan = tagformats::WriteFrontCover(*file, nullptr, false);
    FUZZ_CHECK(plan != tagformats::WriteResult::Failed);
    FUZZ_CHECK((plan == tagformats::WriteResult::Changed) == !stored.isNull());
    return 0;
}
