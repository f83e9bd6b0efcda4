#pragma once
#include "radio/StationRecord.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace varnelo {

// Stations listed in a .pls, .m3u or .m3u8 playlist, in file order: the entry's
// title as Name (its address when it has none), a genre when the playlist
// gives one (#EXTGENRE), the address as StreamUrl. Throws varnelo::Error when
// the format is not recognised.
std::vector<StationRecord> ReadPlaylistStations(const QByteArray &bytes, const QString &fileName);

// Appends the stations whose address is not yet in `radioPath` (nor earlier
// in the list), long addresses kept in full; returns how many were added.
int ImportStations(const QString &radioPath, const std::vector<StationRecord> &stations);

} // namespace varnelo
