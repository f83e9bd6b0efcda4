#pragma once
#include <QDateTime>
#include <QString>

namespace varnelo {

// The date-time name of a recording: "dd-mm-yyyy--hh;mm;ss" (24-hour clock).
QString DateTimeName(const QDateTime &moment);

// A base name that comes from outside (a stream title, a genre) made safe to
// be a file name in the recording folder: "/", NUL and control characters
// become "_", as do dots at its start (no hidden file, no "." or ".."); every
// other character stays. Cut at a character boundary so that a numbered name
// with its extension still fits a file name.
QString SafeBaseName(const QString &name);

// Creates the recording's file, empty, in `folder` (ending in a separator) as
// base + extension, or "base (2)" + extension and so on when that name is
// taken: a recording never overwrites a file. Empty path and the reason when no
// file could be created.
struct NewRecordingFile {
    QString path;
    QString error;
};
NewRecordingFile CreateRecordingFile(const QString &folder, const QString &base, const QString &extension);

} // namespace varnelo
