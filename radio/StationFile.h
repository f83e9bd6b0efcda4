#pragma once
#include "radio/StationRecord.h"

#include <functional>
#include <vector>

namespace varnelo {

// A station file (radio.dat, history.dat, favorites.dat) read and written with
// the full addresses its records cannot hold.
//
// A record keeps at most 50 bytes of each address, and other programs read the
// files as they are; a cut address is a station that no longer plays. So a
// longer address is stored cut in the record, as always, and in full in the
// companion file "<file>.addresses" beside it, which other readers ignore. An
// entry is keyed by a digest of the record's stored texts and, among records
// whose stored texts are all equal, by their order: it follows its record when
// other tools reorder or remove records, and two stations that share the first
// 50 bytes of an address keep their own. Entries of records that are gone are
// dropped at the next write. The companion is replaced atomically, and written
// before the records it describes are appended.
class StationFile {
public:
    explicit StationFile(QString path) : path_(std::move(path)) {}

    static QString companionPath(const QString &path) { return path + QStringLiteral(".addresses"); }
    const QString &path() const { return path_; }
    bool exists() const;

    // Every whole record in file order, with its full addresses. Throws
    // varnelo::Error when the file cannot be opened.
    void forEach(const std::function<bool(const StationRecord &)> &visit) const;
    std::vector<StationRecord> readAll() const;
    bool any(const std::function<bool(const StationRecord &)> &match) const;

    // Appends at the end of an existing file; false (nothing written) when it
    // does not exist. When an address is longer than the record holds and its
    // full form cannot be kept, throws varnelo::Error naming the station before
    // anything is appended.
    bool append(const std::vector<StationRecord> &records) const;
    bool append(const StationRecord &record) const { return append(std::vector<StationRecord>{record}); }

    // Rewrites the file without the records `drop` selects (as RecordFile does)
    // and keeps the full addresses of the others.
    int removeWhere(const std::function<bool(int index, const StationRecord &)> &drop,
                    const QString &scratchPath) const;

    // True when both addresses fit in the record as they are.
    static bool fitsRecord(const StationRecord &record);

private:
    QString path_;
};

} // namespace varnelo
