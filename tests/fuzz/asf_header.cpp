// The ASF (WMA) header parser, current and legacy layouts.
#include "FuzzSupport.h"
#include "platform/tags/AsfHeaderParser.h"

#include <QBuffer>

using namespace varnelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    QByteArray bytes = fuzz::bytesOf(data, size);
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const AsfHeaderFields fields = ParseAsfHeader(device);
    // Every text comes out of the input: two bytes per character at least.
    const qsizetype chars = qsizetype(size / 2);
    FUZZ_CHECK(fields.title.size() <= chars && fields.author.size() <= chars);
    FUZZ_CHECK(fields.album.size() <= chars && fields.genre.size() <= chars);
    return 0;
}
