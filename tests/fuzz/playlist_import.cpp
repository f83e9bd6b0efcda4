// Station playlists imported from a file (pls, m3u, m3u8), then stored as
// station records.
#include "FuzzSupport.h"
#include "common/Error.h"
#include "radio/PlaylistImport.h"

#include <iterator>

using namespace varnelo;

namespace {
const char *const Names[] = {"stations.pls", "stations.m3u", "stations.M3U8", "stations.txt"};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    fuzz::Input input(data, size);
    const QString name = QString::fromLatin1(Names[input.byte() % std::size(Names)]);
    std::vector<StationRecord> stations;
    try {
        stations = ReadPlaylistStations(input.rest(), name);
    } catch (const Error &e) {
        FUZZ_CHECK(!e.message().isEmpty());
        return 0;
    }
    for (const StationRecord &r : stations) {
        FUZZ_CHECK(!r.StreamUrl.isEmpty() && !r.Name.isEmpty());
        const StationRecord stored = r.stored();
        FUZZ_CHECK(stored.toBytes().size() == StationRecord::Size);
    }
    return 0;
}
