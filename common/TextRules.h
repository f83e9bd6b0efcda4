#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

// The matching and text rules the whole program shares.
namespace varnelo::text {

// Removes leading and trailing characters with codes up to 32.
QString trimControl(const QString &s);
// Letter case changes for ASCII letters only; everything else stays.
QString asciiLower(const QString &s);
QString asciiUpper(const QString &s);
// The list filters' rule: `field` lower-cased contains `search` trimmed and
// lower-cased; an empty or blank search text matches nothing.
bool filterMatches(const QString &field, const QString &search);
// Elapsed time as hours:minutes:seconds, each at least two digits (100 hours and
// more are shown in full).
QString elapsedText(std::int64_t seconds);

// Bytes as stored by older files: valid UTF-8 is read as such, anything else as Windows-1252.
QString decode8Bit(QByteArrayView bytes);
// UTF-8 of `s` cut to at most `maxBytes`, never inside a character's sequence.
QByteArray encodeCut(const QString &s, int maxBytes);

// C0 controls (NUL included), DEL and the C1 controls.
bool isControl(QChar c);
// Every control character of `s` replaced by `with`: names made from outside
// text (titles, tags) are never cut short at a NUL nor carry terminal codes.
QString replaceControls(const QString &s, QChar with);

// Text from outside (stream headers and titles, station names, tags, file
// names) made safe to show: control characters (C0, DEL, C1) and the
// direction overrides become visible escapes such as "\x1B" and "\u202E", so a
// terminal or label shows them instead of acting on them.
QString escapeControls(const QString &s);

} // namespace varnelo::text
