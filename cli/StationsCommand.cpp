#include "cli/Commands.h"

#include "common/AppState.h"
#include "common/Error.h"
#include "common/Seams.h"
#include "common/TreeText.h"
#include "radio/DataFiles.h"
#include "radio/PlaylistImport.h"
#include "radio/StationCatalogue.h"

#include <QFile>

namespace varnelo::cli {
namespace {

const char *const kUsage = "stations [--data-folder DIR] list [NODE]\n"
                           "         stations [--data-folder DIR] add --name N --genre G --url U [--home H]\n"
                           "         stations [--data-folder DIR] import FILE";

int list(StationCatalogue &catalogue, const DataFolder &folder, const QStringList &args) {
    if (args.size() > 1)
        return usageError(QStringLiteral("stations"), QStringLiteral("list takes at most one NODE"));
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
    catalogue.selectNode(node);
    catalogue.ShowCatalogueNode();
    for (int row = 0; row < catalogue.LV.rowCount(); ++row) {
        const StationRecord r = catalogue.stationRow(row);
        out() << shown(r.Name) << '\t' << shown(r.Genre) << '\t' << shown(r.StreamUrl) << '\t'
              << shown(r.HomeUrl) << '\n';
    }
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
    StationRecord r;
    for (int i = 0; i < args.size(); ++i) {
        const QString &opt = args[i];
        if (i + 1 >= args.size())
            return usageError(QStringLiteral("stations"), QStringLiteral("%1 needs a value").arg(opt));
        const QString value = args[++i];
        if (opt == QLatin1String("--name"))
            r.Name = value;
        else if (opt == QLatin1String("--genre"))
            r.Genre = value;
        else if (opt == QLatin1String("--url"))
            r.StreamUrl = value;
        else if (opt == QLatin1String("--home"))
            r.HomeUrl = value;
        else
            return usageError(QStringLiteral("stations"), QStringLiteral("unknown option %1").arg(opt));
    }
    if (r.StreamUrl.isEmpty())
        return usageError(QStringLiteral("stations"), QStringLiteral("add needs --url"));
    CreateMissingDataFiles(folder);
    const int rc = keptWhole(catalogue.radioPath()) ? ExitOk : ExitFailure;
    const qint64 before = QFile(catalogue.radioPath()).size();
    catalogue.setPanelSource([r] { return r; });
    catalogue.AddStation();
    if (QFile(catalogue.radioPath()).size() == before) {
        out() << "not added: the address is already known, or name, genre and home address are all empty\n";
        return rc;
    }
    out() << "added: " << shown(r.Name) << '\n';
    return rc;
}

int import(StationCatalogue &catalogue, const DataFolder &folder, const QStringList &args) {
    if (args.size() != 1)
        return usageError(QStringLiteral("stations"), QStringLiteral("import takes one FILE"));
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
    QStringList args = argsIn;
    DataFolder folder;
    if (!takeDataFolder(QStringLiteral("stations"), args, folder))
        return ExitUsage;
    if (args.isEmpty())
        return usageError(QStringLiteral("stations"), QStringLiteral("missing action"));
    const QString action = args.takeFirst();
    AppState state;
    NoPrompts prompts;
    StationCatalogue catalogue(state, folder, prompts);
    try {
        if (action == QLatin1String("list"))
            return list(catalogue, folder, args);
        if (action == QLatin1String("add"))
            return add(catalogue, folder, args);
        if (action == QLatin1String("import"))
            return import(catalogue, folder, args);
    } catch (const Error &e) {
        err() << "varnelo-cli stations: " << shown(e.message()) << '\n';
        return ExitFailure;
    }
    return usageError(QStringLiteral("stations"), QStringLiteral("unknown action %1").arg(action));
}

const CommandRegistration registration("stations", &run, kUsage);

} // namespace
} // namespace varnelo::cli
