#include "cli/StationsSearch.h"

#include "cli/Commands.h"
#include "common/Error.h"
#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "common/ShownPage.h"
#include "platform/shell/DnsMirrorLookup.h"
#include "radio/DataFiles.h"
#include "radio/DirectoryClient.h"
#include "radio/StationCatalogue.h"

#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QRegularExpression>

namespace varnelo::cli {
namespace {

constexpr int MaxLimit = 1000;

int usage(const QString &problem) {
    return usageError(QStringLiteral("stations"), problem);
}

int addAll(const DataFolder &folder, const std::vector<DirectoryStation> &stations) {
    CreateMissingDataFiles(folder);
    const SetPage page{Page::Radio};
    NoPrompts prompts;
    StationCatalogue catalogue(page, folder, prompts);
    int added = 0;
    int known = 0;
    try {
        for (const DirectoryStation &s : stations) {
            const StationCatalogue::AddResult result = catalogue.AddStationRecord(s.record());
            added += result == StationCatalogue::AddResult::Added;
            known += result == StationCatalogue::AddResult::Known;
        }
    } catch (const Error &e) {
        err() << "varnelo-cli stations: " << e.message() << '\n';
        err() << "varnelo-cli stations: added " << added << " stations before the error\n";
        return ExitFailure;
    }
    out() << "added " << added << " of " << stations.size() << " stations";
    if (known > 0)
        out() << " (" << known << " already present)";
    out() << '\n';
    return ExitOk;
}

} // namespace

int stationsSearch(const DataFolder &folder, const QStringList &args) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption tagOption(QStringLiteral("tag"), QStringLiteral("Only stations with this tag."),
                                       QStringLiteral("T"));
    const QCommandLineOption countryOption(QStringLiteral("country"),
                                           QStringLiteral("Only stations of this country (ISO 3166-1 code)."),
                                           QStringLiteral("CC"));
    const QCommandLineOption limitOption(QStringLiteral("limit"), QStringLiteral("At most N stations."),
                                         QStringLiteral("N"), QStringLiteral("50"));
    const QCommandLineOption serverOption(
        QStringLiteral("server"), QStringLiteral("The directory server to ask."), QStringLiteral("URL"));
    const QCommandLineOption addOption(QStringLiteral("add"),
                                       QStringLiteral("Add the stations to radio.dat."));
    parser.addOptions({tagOption, countryOption, limitOption, serverOption, addOption});
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("Part of the station names."));
    if (auto rc = parseArguments(parser, QStringLiteral("stations search"), args))
        return *rc;
    const QStringList texts = parser.positionalArguments();
    if (texts.size() != 1)
        return usage(
            texts.isEmpty()
                ? QStringLiteral("search needs a TEXT (\"\" for any name)")
                : QStringLiteral("search takes one TEXT, not \"%1\"").arg(texts.join(QLatin1Char(' '))));
    bool ok = false;
    const int limit = parser.value(limitOption).toInt(&ok);
    if (!ok || limit < 1 || limit > MaxLimit)
        return usage(QStringLiteral("--limit needs a number from 1 to %1, not \"%2\"")
                         .arg(MaxLimit)
                         .arg(parser.value(limitOption)));
    const QString country = parser.value(countryOption).trimmed();
    if (!country.isEmpty() && !QRegularExpression(QStringLiteral("^[A-Za-z]{2}$")).match(country).hasMatch())
        return usage(QStringLiteral("--country needs a two-letter country code, not \"%1\"").arg(country));

    DnsMirrorLookup lookup;
    DirectoryClient client(lookup);
    if (parser.isSet(serverOption)) {
        if (!client.setServer(parser.value(serverOption).trimmed()))
            return usage(QStringLiteral("--server needs an http or https address, not \"%1\"")
                             .arg(parser.value(serverOption)));
    } else {
        // The server the program is set to, as in its settings file.
        SettingsFile settings;
        if (!openSettings(settings, QDir::current().filePath(QStringLiteral("temp.ini"))))
            return ExitFailure;
        const QString server = keys::read(settings, keys::DirectoryServer, QString()).trimmed();
        if (!client.setServer(server)) {
            err() << "varnelo-cli stations: the directory server \"" << server
                  << "\" in section \"directory\", key \"server\" of temp.ini is not an http or https "
                     "address\n";
            return ExitFailure;
        }
    }

    DirectoryQuery query;
    query.name = texts.first().trimmed();
    query.tag = parser.value(tagOption).trimmed();
    query.countryCode = country.toUpper();
    query.limit = limit;
    DirectoryStations result;
    QEventLoop loop;
    client.searchStations(query, [&](const DirectoryStations &answer) {
        result = answer;
        loop.quit();
    });
    loop.exec();
    if (!result.error.isEmpty()) {
        err() << "varnelo-cli stations: " << result.error << '\n';
        if (client.server().isEmpty())
            err() << "varnelo-cli stations: or name one with --server URL\n";
        return ExitFailure;
    }
    if (!result.problems.isEmpty()) {
        err() << "varnelo-cli stations: " << result.problems.size() << " of " << result.received
              << " stations of the directory's answer were left out:\n";
        for (const QString &problem : result.problems)
            err() << "  " << problem << '\n';
    }
    for (const DirectoryStation &s : result.stations)
        out() << s.name << '\t' << s.tags << '\t' << s.countryCode << '\t' << s.codec << '\t' << s.bitrate
              << '\t' << s.address << '\n';
    if (parser.isSet(addOption))
        return addAll(folder, result.stations);
    return ExitOk;
}

} // namespace varnelo::cli
