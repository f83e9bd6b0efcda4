#pragma once
#include <QString>
#include <QStringList>
#include <optional>

namespace varnelo {

// The title a metadata text carries, as the connect worker and the metadata
// callback take it. std::nullopt means "no change": the text was null or holds
// no "StreamTitle=". The title spans from the character after the opening
// quote to two characters before the first ";" of the whole text, so a ";"
// inside the title cuts it and costs the character before it; a ";" before
// "StreamTitle=" or none at all gives an empty title.
std::optional<QString> ParseStreamTitle(const std::optional<QString> &metadata);

// Station name, genre and home address taken from the stream's header lines.
struct IcyStationInfo {
    QString name;
    QString genre;
    QString url;
};

// Lines starting with "icy-name:", "icy-genre:" or "icy-url:" (exact case) give
// the rest of the line untouched (a blank after the colon stays); later lines
// overwrite earlier ones; anything else is ignored.
IcyStationInfo MapIcyHeaders(const QStringList &lines);

} // namespace varnelo
