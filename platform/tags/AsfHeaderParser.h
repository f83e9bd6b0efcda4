#pragma once
#include <QIODevice>
#include <QString>

namespace varnelo {

// Title, author, album and genre from the header of an ASF (WMA) file, read
// without any outside library. Both the current layout (Header Object with a
// Content Description and an Extended Content Description) and the legacy
// layout (old header with id-numbered description entries, which gives only
// title and author) are understood. Every size, count and length is checked
// against the bytes left before it is used; damaged headers yield what could
// be read before the damage.
struct AsfHeaderFields {
    QString title, author, album, genre;
};

AsfHeaderFields ParseAsfHeader(QIODevice &device);

} // namespace varnelo
