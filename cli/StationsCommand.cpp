#include "cli/Commands.h"
#include "cli/StationsSearch.h"

#include "common/Error.h"
#include "common/FileGuards.h"
#include "common/Seams.h"
#include "common/ShownPage.h"
#include "common/TreeText.h"
#include "radio/DataFiles.h"
#include "radio/PlaylistImport.h"
#include "radio/StationCatalogue.h"

#include <QCommandLineParser>
#include <QFile>

namespace varnelo::cli {
namespace {

const char *const kUsage = "stations [--data-folder DIR] list [NODE]\n"
                           "stations [--data-folder DIR] add --name N --genre G --url U [--home H]\n"
                           "stations [--data-folder DIR] import FILE\n"
                           "stations [--data-folder DIR] search TEXT [--tag T] [--country CC] [--limit N] "
                           "[--server URL] [--add]";
const QString Command = QStringLiteral("stations");

int list(StationCatalogue &catalogue, const DataFolder &folder, const QStringList &argsIn) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("NODE"),
                                 QStringLiteral("Catalogue node to list (default \"Radio Stations\")."),
                                 QStringLiteral("[NODE]"));
    if (auto rc = parseArguments(parser, Command + QStringLiteral(" list"), argsIn))
        return *rc;
    const QStringList args = parser.positionalArguments();
    if (args.size() > 1)
        return usageError(Command,
                          QStringLiteral("list takes at most one NODE; unexpected '%1'").arg(args[1]));
    const QString nodeText = args.value(0, QStringLiteral("Radio Stations"));
    // A catalogue tree not read whole is kept aside and named; the list is
    // still printed, and the exit code tells.
    int rc = ExitOk;
    if (QFile::exists(folder.file(QStringLiteral("treetext.txt")))) {
        try {
            catalogue.LoadCatalogueTree(folder.file(QStringLiteral("treetext.txt")));
        } catch (const Error &e) {
            err() << "varnelo-cli stations: " << shown(e.message()) << '\n';
            rc = ExitFailure;
        }
    }
    QStandardItem *node = tree::FindNodeByText(catalogue.tv, nodeText);
    if (!node) {
        err() << "varnelo-cli stations: no catalogue node \"" << shown(nodeText) << "\"\n";
        return ExitFailure;
    }
    const auto print = [](const StationRecord &r) {
        out() << shown(r.Name) << '\t' << shown(r.Genre) << '\t' << shown(r.StreamUrl) << '\t'
              << shown(r.HomeUrl) << '\n';
    };
    catalogue.setRowSink(print);
    catalogue.selectNode(node);
    catalogue.ShowCatalogueNode();
    for (int row = 0; row < catalogue.LV.rowCount(); ++row)
        print(catalogue.stationRow(row));
    return rc;
}

// Before a station file is written: a tail that is not a whole record is kept
// aside and named. True when the file was whole.
bool keptWhole(const QString &path) {
    const QString note = stationFile(path).keepDamagedTail();
    if (!note.isEmpty())
        err() << "varnelo-cli stations: " << shown(note) << '\n';
    return note.isEmpty();
}

int add(StationCatalogue &catalogue, const DataFolder &folder, const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("Station name."),
                                  QStringLiteral("N"));
    const QCommandLineOption genre(QStringLiteral("genre"), QStringLiteral("Genre."), QStringLiteral("G"));
    const QCommandLineOption url(QStringLiteral("url"), QStringLiteral("Stream address."),
                                 QStringLiteral("U"));
    const QCommandLineOption home(QStringLiteral("home"), QStringLiteral("Home page."), QStringLiteral("H"));
    parser.addOptions({name, genre, url, home});
    if (auto rc = parseArguments(parser, Command + QStringLiteral(" add"), args))
        return *rc;
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            Command,
            QStringLiteral("add: unexpected argument '%1'").arg(parser.positionalArguments().first()));
    StationRecord r;
    r.Name = parser.value(name);
    r.Genre = parser.value(genre);
    r.StreamUrl = parser.value(url);
    r.HomeUrl = parser.value(home);
    if (r.StreamUrl.isEmpty())
        return usageError(Command, QStringLiteral("add needs --url"));
    CreateMissingDataFiles(folder);
    const int rc = keptWhole(catalogue.radioPath()) ? ExitOk : ExitFailure;
    // A write that fails throws, so it is never taken for a known address.
    switch (catalogue.AddStationRecord(r)) {
    case StationCatalogue::AddResult::Added:
        out() << "added: " << shown(r.Name) << '\n';
        return rc;
    case StationCatalogue::AddResult::Known:
        err() << "varnelo-cli stations: not added: the address is already in the list\n";
        return ExitFailure;
    case StationCatalogue::AddResult::Empty:
        err() << "varnelo-cli stations: not added: give a name, a genre or a home address\n";
        return ExitFailure;
    case StationCatalogue::AddResult::NoFile:
        break;
    }
    err() << "varnelo-cli stations: not added: " << catalogue.radioPath() << " does not exist\n";
    return ExitFailure;
}

int import(StationCatalogue &catalogue, const DataFolder &folder, const QStringList &argsIn) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A .pls or .m3u playlist."));
    if (auto rc = parseArguments(parser, Command + QStringLiteral(" import"), argsIn))
        return *rc;
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1)
        return usageError(
            Command, args.isEmpty() ? QStringLiteral("import needs a FILE")
                                    : QStringLiteral("import takes one FILE; unexpected '%1'").arg(args[1]));
    files::requireRegular(args[0]); // a FIFO would block the read
    QFile file(args[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        err() << "varnelo-cli stations: cannot open " << args[0] << ": " << file.errorString() << '\n';
        return ExitFailure;
    }
    const auto stations = ReadPlaylistStations(file.readAll(), args[0]);
    CreateMissingDataFiles(folder);
    const int rc = keptWhole(catalogue.radioPath()) ? ExitOk : ExitFailure;
    const int added = ImportStations(catalogue.radioPath(), stations);
    out() << "imported " << added << " of " << stations.size() << " stations\n";
    return rc;
}

int run(const QStringList &argsIn) {
    QCommandLineParser parser;
    // The action's own options follow it; they are parsed by the action.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption dataFolder(QStringLiteral("data-folder"),
                                        QStringLiteral("Data folder (default: the program's)."),
                                        QStringLiteral("DIR"));
    parser.addOption(dataFolder);
    parser.addPositionalArgument(QStringLiteral("ACTION"), QStringLiteral("list, add, import or search."),
                                 QStringLiteral("ACTION [ARGUMENTS]"));
    if (auto rc = parseArguments(parser, Command, argsIn))
        return *rc;
    const DataFolder folder =
        parser.isSet(dataFolder) ? DataFolder(parser.value(dataFolder)) : programDataFolder();
    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(Command, QStringLiteral("missing action (list, add, import or search)"));
    const QString action = args.takeFirst();
    const SetPage page{Page::Radio};
    NoPrompts prompts;
    StationCatalogue catalogue(page, folder, prompts);
    try {
        if (action == QLatin1String("list"))
            return list(catalogue, folder, args);
        if (action == QLatin1String("add"))
            return add(catalogue, folder, args);
        if (action == QLatin1String("import"))
            return import(catalogue, folder, args);
        if (action == QLatin1String("search"))
            return stationsSearch(folder, args);
    } catch (const Error &e) {
        err() << "varnelo-cli stations: " << shown(e.message()) << '\n';
        return ExitFailure;
    }
    return usageError(Command, QStringLiteral("unknown action '%1'").arg(action));
}

const CommandRegistration
    registration("stations", &run, kUsage,
                 "List, add and import the radio stations of the catalogue; search the station directory.");

} // namespace
} // namespace varnelo::cli
