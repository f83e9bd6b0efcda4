#pragma once
#include <QByteArray>
#include <QString>

// Guards for the files the program reads and rewrites: only regular files are
// opened as audio or data files, and a data file that was not read whole is
// kept aside before anything is saved over it.
namespace varnelo::files {

// True for a regular file, or a link to one. A FIFO, a device or a socket
// under an audio or data file's name would block a reader or never end.
bool isRegularFile(const QString &path);
// Throws varnelo::Error naming the file unless it is missing or regular.
void requireRegularOrMissing(const QString &path);
// Throws varnelo::Error naming the file unless it is regular.
void requireRegular(const QString &path);

// Keeps the file as it is now beside it, as "<name>.damaged" (or ".damaged.2",
// ... when an older, different copy holds that name), and returns the copy's
// file name. A copy with the same bytes is reused. Throws varnelo::Error when
// no copy could be made.
QString keepDamaged(const QString &path);

// A data file that is a link is replaced by a regular file holding the same
// bytes, in one step, before it is rewritten: a write never goes through a link
// to a place outside the data folder. Throws varnelo::Error when it cannot.
void replaceLinkWithCopy(const QString &path);

// Reads at most `limit` bytes of a file that was checked to be regular.
// Throws varnelo::Error when it cannot be opened.
QByteArray readBounded(const QString &path, qint64 limit);

// Replaces `path` with `bytes` at once (never half written); false with the
// reason in `error` when it could not.
bool writeAtomically(const QString &path, const QByteArray &bytes, QString &error);

// Moves `path` to the desktop's trash; false when it could not. Qt puts the
// file into a "files" folder of the working directory when the user's data
// folder does not exist yet: that folder is made first, and a move that did
// not land in a trash is undone.
bool moveToTrash(const QString &path);

} // namespace varnelo::files
