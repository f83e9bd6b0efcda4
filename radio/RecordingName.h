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

// A recording is written under a hidden name beside the one it will have and
// takes that name once audio is on disk, so that a recording killed before
// then leaves no file that plays nothing. CreateRecordingFile picks the name,
// base + extension in `folder` (ending in a separator), or "base (2)" +
// extension and so on when that is taken, and creates the hidden part file,
// empty. Empty paths and the reason when no file could be created.
struct NewRecordingFile {
    QString path; // the name it is to have (not made yet)
    QString part; // the hidden file it is written as until then
    QString error;
};
NewRecordingFile CreateRecordingFile(const QString &folder, const QString &base, const QString &extension);
// Gives the part file the name `wanted`, or the next numbered one when that
// was taken meanwhile; never over a file. The name it took, or empty.
QString PublishRecording(const QString &part, const QString &wanted);
// Removes part files that recordings killed before their audio left in
// `folder` (untouched for a minute: none of them still being written).
void RemoveStaleParts(const QString &folder);

} // namespace varnelo
