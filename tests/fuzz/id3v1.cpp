// ID3v1 tag reading: the last 128 bytes of an MP3 or MP2 file.
#include "FuzzSupport.h"
#include "platform/tags/TrackTagReaders.h"

using namespace varnelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    // The reader sees the file's tail; shorter files have no tag.
    const QByteArray file = fuzz::bytesOf(data, size);
    const QByteArrayView tail = size >= 128 ? QByteArrayView(file).last(128) : QByteArrayView(file);
    const std::optional<TrackFields> tag = ParseId3v1Tag(tail);
    FUZZ_CHECK(tag.has_value() == (tail.size() == 128 && tail.startsWith("TAG")));
    TrackFields f = tag.value_or(TrackFields{});
    if (tag) {
        FUZZ_CHECK(!f.genre.isEmpty());
        // Each text field is 30 bytes at most: never more than 30 characters.
        FUZZ_CHECK(f.title.size() <= 30 && f.artist.size() <= 30 && f.album.size() <= 30);
    }
    ApplyTrackDefaults(f, QStringLiteral("/music/fuzz.mp3"));
    FUZZ_CHECK(!f.title.isEmpty() && !f.artist.isEmpty() && !f.album.isEmpty());
    return 0;
}
