#include "cli/Commands.h"

#include "common/AppState.h"
#include "common/Error.h"
#include "common/Seams.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "radio/DataFiles.h"

#include <QFile>

namespace varnelo::cli {
namespace {

const char *const kUsage = "scan [--data-folder DIR] FOLDER";

int run(const QStringList &argsIn) {
    QStringList args = argsIn;
    DataFolder folder;
    if (!takeDataFolder(QStringLiteral("scan"), args, folder))
        return ExitUsage;
    if (args.size() != 1)
        return usageError(QStringLiteral("scan"), QStringLiteral("give exactly one FOLDER"));

    AppState state;
    NoPrompts prompts;
    LibraryCatalogue library(state, folder);
    LibraryEntries entries(library, state, prompts);
    try {
        const bool hadTree = QFile::exists(library.treePath());
        CreateMissingDataFiles(folder);
        if (hadTree) {
            try {
                library.LoadLibraryTree(library.treePath());
            } catch (const Error &e) {
                err() << "varnelo-cli scan: " << e.message() << '\n';
            }
        }
        const ScanResult result = entries.ScanFolderAt(args[0]);
        library.SaveLibraryTree();
        for (const QString &path : result.failed)
            err() << "varnelo-cli scan: skipped unreadable file " << path << '\n';
        out() << "read " << result.filesRead << " files, added " << result.recordsAdded << " records\n";
    } catch (const Error &e) {
        err() << "varnelo-cli scan: " << e.message() << '\n';
        return ExitFailure;
    }
    return ExitOk;
}

const CommandRegistration registration("scan", &run, kUsage);

} // namespace
} // namespace varnelo::cli
