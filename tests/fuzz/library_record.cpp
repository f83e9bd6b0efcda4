// music.dat, tp.dat and fav.dat: 550-byte library records.
#include "RecordFuzz.h"
#include "library/LibraryRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return varnelo::fuzz::fuzzRecordFile<varnelo::LibraryRecord>(data, size);
}
