#include "platform/tags/LegacyText.h"

#include "common/TextRules.h"

namespace varnelo {

QString DecodeLegacyText(QByteArrayView bytes) {
    return text::decode8Bit(bytes.toByteArray());
}

} // namespace varnelo
