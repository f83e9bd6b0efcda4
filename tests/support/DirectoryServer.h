#pragma once
// Answers of the station directory for the tests' HTTP server.
#include "support/HttpServer.h"

#include <QJsonArray>
#include <QJsonObject>

namespace varnelo::test {

// A directory of these station objects answering as the real one does:
// /json/stations/search (name, tag and countrycode as case-insensitive
// filters, order=clickcount with reverse, offset and limit), /json/tags,
// /json/countries and /json/url/<id>.
HttpServer::Handler directoryOf(const QJsonArray &stations);
// A station object of the directory's form.
QJsonObject directoryStation(const QString &uuid, const QString &name, const QString &url,
                             const QString &tags = {}, const QString &country = {}, int clicks = 0);

} // namespace varnelo::test
