// The station directory's JSON answers: station searches, tags and countries.
#include "FuzzSupport.h"
#include "radio/DirectoryAnswer.h"

using namespace varnelo;

namespace {

bool clean(const QString &text) {
    return directory::cleanText(text) == text;
}

void checkValues(const DirectoryValues &values, bool withCode) {
    if (!values.error.isEmpty())
        FUZZ_CHECK(values.values.empty() && values.leftOut == 0);
    for (const DirectoryValue &v : values.values) {
        FUZZ_CHECK(!v.name.isEmpty() && clean(v.name) && v.stationCount >= 0);
        FUZZ_CHECK(!withCode || (v.code.size() == 2 && v.code == v.code.toUpper()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    fuzz::Input input(data, size);
    const uint8_t kind = input.byte() % 3;
    const QByteArray body = input.rest();
    if (kind == 1)
        return checkValues(ParseDirectoryTags(body), false), 0;
    if (kind == 2)
        return checkValues(ParseDirectoryCountries(body), true), 0;

    const DirectoryStations answer = ParseDirectoryStations(body);
    if (!answer.error.isEmpty()) {
        FUZZ_CHECK(answer.stations.empty() && answer.problems.isEmpty() && answer.received == 0);
        return 0;
    }
    // Every entry is either kept or left out with its reason.
    FUZZ_CHECK(qsizetype(answer.stations.size()) + answer.problems.size() == answer.received);
    for (const DirectoryStation &s : answer.stations) {
        FUZZ_CHECK(!s.uuid.isEmpty() && !s.name.isEmpty());
        FUZZ_CHECK(clean(s.name) && clean(s.genre) && clean(s.codec));
        FUZZ_CHECK(directory::isStreamAddress(s.address));
        FUZZ_CHECK(s.homepage.isEmpty() || directory::isStreamAddress(s.homepage));
        FUZZ_CHECK(s.name.toUtf8().size() <= StationRecord::NameField.maxBytes);
        FUZZ_CHECK(s.genre.toUtf8().size() <= StationRecord::GenreField.maxBytes);
        FUZZ_CHECK(s.tags.startsWith(s.genre) && s.bitrate >= 0);
        // What "Add radio" stores reads back as it was given.
        const StationRecord r = s.record();
        const StationRecord back = StationRecord::fromBytes(r.toBytes());
        FUZZ_CHECK(back.Name == s.name && back.Genre == s.genre);
    }
    return 0;
}
