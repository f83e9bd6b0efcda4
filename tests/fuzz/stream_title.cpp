// Stream titles in ICY metadata and the station facts in the header lines.
#include "FuzzSupport.h"
#include "platform/stream/IcyConnection.h"
#include "radio/StreamTitle.h"

#include <QStringList>

using namespace varnelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    // The metadata callback hands over the block's text decoded like this.
    const QString text = decodeStreamText(fuzz::bytesOf(data, size));
    const std::optional<QString> title = ParseStreamTitle(text);
    FUZZ_CHECK(title.has_value() == text.contains(QStringLiteral("StreamTitle=")));
    if (title)
        FUZZ_CHECK(title->size() < text.size());
    FUZZ_CHECK(!ParseStreamTitle(std::nullopt));

    // The same bytes as a stream's header lines.
    const IcyStationInfo info = MapIcyHeaders(text.split(QLatin1Char('\n')));
    FUZZ_CHECK(info.name.size() <= text.size() && info.genre.size() <= text.size() &&
               info.url.size() <= text.size());
    return 0;
}
