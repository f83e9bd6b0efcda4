#pragma once
#include <QString>
#include <QStringList>
#include <optional>

namespace varnelo {

// The title a metadata text carries, as the connect worker and the metadata
// callback take it. std::nullopt means "no change": the text was null or holds
// no "StreamTitle=". A value between "StreamTitle='" and the "';" that closes
// it is the title when it holds a ";" itself. Otherwise the title spans from
// the character after the opening quote to two characters before the first ";"
// of the whole text (the closing quote dropped); a ";" before "StreamTitle="
// or none at all gives an empty title.
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

// What the status line says when a connect fails: "Can't find the server or the
// address is wrong. Please try again later" when the server cannot be reached,
// otherwise what happened, with the stream library's reason.
QString StreamFailureText(int errorCode, const QString &reason);

} // namespace varnelo
