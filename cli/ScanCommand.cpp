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

const char* const kUsage = "scan [--data-folder DIR] FOLDER";

// A scan asks nothing: the folder comes from the command line.
class NoPrompts final : public Prompts {
public:
    PromptAnswer message(const QString&, const QString&, PromptIcon, PromptButtons buttons) override {
        return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel;
    }
    void plain(const QString&) override {}
    QStringList openFiles(const QString&, const QString&, const QString&) override { return {}; }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
};

int run(const QStringList& argsIn) {
    QStringList args = argsIn;
    DataFolder folder = DataFolder::besideExecutable();
    if (args.value(0) == QLatin1String("--data-folder")) {
        if (args.size() < 2)
            return usageError(QStringLiteral("scan"), QStringLiteral("--data-folder needs a folder"));
        folder = DataFolder(args[1]);
        args = args.mid(2);
    }
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
            } catch (const Error& e) {
                err() << "varnelo-cli scan: " << e.message() << '\n';
            }
        }
        const ScanResult result = entries.ScanFolderAt(args[0]);
        library.SaveLibraryTree();
        for (const QString& path : result.failed)
            err() << "varnelo-cli scan: skipped unreadable file " << path << '\n';
        out() << "read " << result.filesRead << " files, added " << result.recordsAdded << " records\n";
    } catch (const Error& e) {
        err() << "varnelo-cli scan: " << e.message() << '\n';
        return ExitFailure;
    }
    return ExitOk;
}

const CommandRegistration registration("scan", &run, kUsage);

} // namespace
} // namespace varnelo::cli
