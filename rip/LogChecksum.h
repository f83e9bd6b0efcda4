#pragma once
#include <QByteArray>
#include <QString>

namespace varnelo {

// A rip log ends in a line that seals the text before it:
//   "Log checksum: SHA-256 <64 lower-case hex digits>\n"
// the digest taken over the UTF-8 bytes of everything before that line. Any
// change to the text above (or to the line) no longer matches.
QString sealedLog(const QString &text);

enum class LogSeal { Intact, Edited, Missing };
LogSeal checkLogSeal(const QByteArray &bytes);

} // namespace varnelo
