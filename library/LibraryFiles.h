#pragma once
#include "library/LibraryRecord.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

namespace varnelo {

// The two file primitives of the library record files. Both read the file
// once per call, whatever the number of records they are given.
namespace libraryfiles {

// Every Path stored in `path`. Throws varnelo::Error when the file cannot be opened.
QSet<QString> StoredPaths(const QString &path);

// Appends `record` unless a record with the same Path (exact comparison) is in
// the file. False when it was present, or when the file does not exist (then
// nothing is written). Throws varnelo::Error when the file cannot be read or written.
bool AppendIfNew(const QString &path, const LibraryRecord &record);
// The same for many records in one pass: each record is compared with the file
// and with the records appended before it. Returns how many were appended.
int AppendIfNew(const QString &path, const std::vector<LibraryRecord> &records);

// Rewrites `path` without, for each of `rowPaths`, the first record whose Path
// equals it, through `scratchPath` renamed over the original; the source stays
// as it was when it cannot be replaced. Returns how many records went.
int RemoveRecords(const QString &path, const QStringList &rowPaths, const QString &scratchPath);

// Creates an empty file when it is missing. Throws varnelo::Error on failure.
void CreateIfMissing(const QString &path);

} // namespace libraryfiles
} // namespace varnelo
