#include "cli/Commands.h"

#include "common/Error.h"
#include "common/Seams.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "library/LibraryRecord.h"
#include "radio/DataFiles.h"

#include <QCommandLineParser>
#include <QFile>

namespace varnelo::cli {
namespace {

const char *const kUsage = "scan [--data-folder DIR] [--no-subfolders] FOLDER";

int run(const QStringList &argsIn) {
    const QString command = QStringLiteral("scan");
    QCommandLineParser parser;
    const QCommandLineOption dataFolder(QStringLiteral("data-folder"),
                                        QStringLiteral("Data folder (default: the program's)."),
                                        QStringLiteral("DIR"));
    parser.addOption(dataFolder);
    const QCommandLineOption noSubfolders(
        QStringLiteral("no-subfolders"),
        QStringLiteral("Only the folder's own files, not its sub-folders'."));
    parser.addOption(noSubfolders);
    parser.addPositionalArgument(QStringLiteral("FOLDER"),
                                 QStringLiteral("Folder whose audio files are added."));
    if (auto rc = parseArguments(parser, command, argsIn))
        return *rc;
    const DataFolder folder =
        parser.isSet(dataFolder) ? DataFolder(parser.value(dataFolder)) : programDataFolder();
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(command, QStringLiteral("no FOLDER given"));
    if (args.size() > 1)
        return usageError(command, QStringLiteral("give exactly one FOLDER; unexpected '%1'").arg(args[1]));

    NoPrompts prompts;
    LibraryCatalogue library(folder);
    LibraryEntries entries(library, prompts);
    // A data file that was not read whole is kept aside and named; the scan
    // still runs, and the exit code tells.
    int rc = ExitOk;
    const auto damaged = [&rc](const QString &message) {
        err() << "varnelo-cli scan: " << shown(message) << '\n';
        rc = ExitFailure;
    };
    try {
        const bool hadTree = QFile::exists(library.treePath());
        CreateMissingDataFiles(folder);
        if (hadTree) {
            try {
                library.LoadLibraryTree(library.treePath());
            } catch (const Error &e) {
                damaged(e.message());
            }
        }
        if (const QString note = libraryFile(library.musicPath()).keepDamagedTail(); !note.isEmpty())
            damaged(note);
        const ScanResult result = entries.ScanFolderAt(args[0], !parser.isSet(noSubfolders));
        library.SaveLibraryTree();
        for (const SkippedFile &skip : result.skipped)
            err() << "varnelo-cli scan: skipped " << shown(skip.path) << ": " << shown(skip.reason) << '\n';
        out() << "read " << result.filesRead << " files, added " << result.recordsAdded << " records\n";
        if (result.filesRead == 0 && result.skipped.empty())
            err() << "varnelo-cli scan: no audio files in " << shown(args[0]) << '\n';
    } catch (const Error &e) {
        err() << "varnelo-cli scan: " << shown(e.message()) << '\n';
        return ExitFailure;
    }
    return rc;
}

const CommandRegistration registration("scan", &run, kUsage,
                                       "Add the audio files of a folder and its sub-folders to the library.");

} // namespace
} // namespace varnelo::cli
