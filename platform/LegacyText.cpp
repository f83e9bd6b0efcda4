#include "platform/LegacyText.h"

#include <QStringDecoder>

namespace varnelo {

QString DecodeLegacyText(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder cp1252("windows-1252");
    if (cp1252.isValid())
        return cp1252.decode(bytes);
    return QString::fromLatin1(bytes.data(), bytes.size());
}

} // namespace varnelo
