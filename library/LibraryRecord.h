#pragma once
#include "common/RecordFile.h"

#include <QByteArray>
#include <QString>

namespace varnelo {

// One local track as stored in music.dat, tp.dat and fav.dat: 550 bytes, five
// length-prefixed fields with Genre first. The Path is the record's identity,
// compared exactly.
struct LibraryRecord {
    static constexpr int Size = 550;
    static constexpr RecordField GenreField{0, 10};
    static constexpr RecordField TitleField{11, 100};
    static constexpr RecordField ArtistField{112, 80};
    static constexpr RecordField AlbumField{193, 100};
    static constexpr RecordField PathField{294, 255};

    QString Genre;
    QString Title;
    QString Artist;
    QString Album;
    QString Path;

    QByteArray toBytes() const;
    static LibraryRecord fromBytes(const QByteArray &bytes);
    // Only the Path of a stored record: duplicate scans need nothing else.
    static QString pathOf(const QByteArray &bytes) { return records::readField(bytes, PathField); }
    // The record as it reads back after storing (texts cut to the field widths).
    LibraryRecord stored() const { return fromBytes(toBytes()); }

    friend bool operator==(const LibraryRecord &, const LibraryRecord &) = default;
};

inline RecordFile libraryFile(const QString &path) {
    return RecordFile(path, LibraryRecord::Size);
}

} // namespace varnelo
