#pragma once
#include <QByteArrayView>
#include <QString>

namespace varnelo {

// Tag formats without a declared character set (ID3v1, RIFF INFO) hold UTF-8
// in files of current tools and the Windows code page in old ones: valid UTF-8
// is taken as such, anything else is read as Windows-1252.
QString DecodeLegacyText(QByteArrayView bytes);

} // namespace varnelo
