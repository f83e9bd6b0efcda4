#pragma once
#include <QString>

namespace varnelo {

// The ID3v1 genre numbers 0…147 with their classic short names. The tag
// editor's genre list, the ID3v1 reader of the library and the information
// component all share this one table.
constexpr int GenreCount = 148;

// Name of genre number `number`; empty outside 0…147.
QString GenreName(int number);

// Number of the genre called `name` (letter case ignored), −1 when the table
// has no such name.
int GenreNumber(const QString &name);

} // namespace varnelo
