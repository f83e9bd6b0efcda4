// A cue sheet as a user may hand it over (see DiscSheetFuzz.h).
#include "DiscSheetFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return varnelo::fuzz::fuzzSheet(data, size, &varnelo::cd::parseCueSheet, QStringLiteral("disc.cue"));
}
