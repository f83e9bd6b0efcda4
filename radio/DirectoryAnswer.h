#pragma once
#include "radio/StationRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// The community station directory's JSON answers, read into checked values.
// Pure functions over the bytes received: no network, no files.
namespace varnelo {

// Answers larger than this are refused (a page of a hundred stations is about 100 KiB).
constexpr qint64 MaxDirectoryAnswerBytes = 4 * 1024 * 1024;

// One station of the directory, cleaned: texts hold no control characters, the
// name and genre fit the station record's fields (cut at a character boundary),
// the addresses are http or https.
struct DirectoryStation {
    QString uuid;
    QString name;
    QString tags;  // the directory's tags, comma-separated
    QString genre; // the first tag
    QString countryCode;
    QString codec;
    int bitrate = 0;
    QString address; // the resolved stream address
    QString homepage;

    // The station as "Add radio" stores it.
    StationRecord record() const;
};

struct DirectoryStations {
    // Set when the answer as a whole is unusable; nothing else is then set.
    QString error;
    std::vector<DirectoryStation> stations;
    int received = 0;     // entries in the answer
    QStringList problems; // one per entry left out, saying why
};

// The answer of /json/stations/search: a JSON array of station objects. An
// entry with a missing or wrong-typed field, text that was not valid UTF-8 or
// an address that is not http or https is left out (and said why); the rest
// are kept.
DirectoryStations ParseDirectoryStations(const QByteArray &body);

// A tag or a country with the number of stations that have it.
struct DirectoryValue {
    QString name;
    QString code; // countries: the ISO 3166-1 code
    int stationCount = 0;
};

struct DirectoryValues {
    QString error;
    std::vector<DirectoryValue> values;
    int leftOut = 0;
};

// The answers of /json/tags and /json/countries.
DirectoryValues ParseDirectoryTags(const QByteArray &body);
DirectoryValues ParseDirectoryCountries(const QByteArray &body);

namespace directory {
// A station or home address the program will connect to: http or https with a
// host, no blanks or control characters, at most 2048 bytes.
bool isStreamAddress(const QString &address);
// Control characters (C0, DEL, C1, line separators) become blanks, runs of
// blanks one, and the ends are trimmed.
QString cleanText(const QString &text);
// The reason given for an answer over MaxDirectoryAnswerBytes.
QString tooLargeText();
} // namespace directory

} // namespace varnelo
