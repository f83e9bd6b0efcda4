#pragma once
#include "common/RecordFile.h"

#include <QByteArray>
#include <QString>

namespace varnelo {

// One radio station as stored in radio.dat, history.dat and favorites.dat:
// 234 bytes, four length-prefixed fields.
struct StationRecord {
    static constexpr int Size = 234;
    static constexpr RecordField HomeUrlField{0, 50};
    static constexpr RecordField StreamUrlField{51, 50};
    static constexpr RecordField GenreField{102, 30};
    static constexpr RecordField NameField{133, 100};

    QString HomeUrl;
    QString StreamUrl;
    QString Genre;
    QString Name;

    QByteArray toBytes() const;
    static StationRecord fromBytes(const QByteArray &bytes);
    // The record as it reads back after storing (texts cut to the field widths).
    StationRecord stored() const { return fromBytes(toBytes()); }
};

inline RecordFile stationFile(const QString &path) {
    return RecordFile(path, StationRecord::Size);
}

} // namespace varnelo
