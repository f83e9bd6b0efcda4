// radio.dat, history.dat and favorites.dat: 234-byte station records.
#include "RecordFuzz.h"
#include "radio/StationRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return varnelo::fuzz::fuzzRecordFile<varnelo::StationRecord>(data, size);
}
