#pragma once
#include <QStringList>
#include <QTextStream>
#include <optional>

class QCommandLineParser;

#include "common/DataFolder.h"
#include "common/Seams.h"

namespace varnelo {
class SettingsFile;
}

namespace varnelo::cli {

// Exit codes shared by every command.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

using CommandFn = int (*)(const QStringList &args);

// Each command file registers itself with a static CommandRegistration, so the
// commands stay independent of each other and of main.cpp.
// `usage` is the synopsis (several lines for several forms), `summary` one
// sentence for "varnelo-cli --help".
struct CommandRegistration {
    CommandRegistration(const char *name, CommandFn fn, const char *usage, const char *summary = "");
};

// Every command parses its arguments through here with its own parser (its
// options and positional arguments added first): "--help" anywhere prints the
// command's usage, summary and options and gives ExitOk; a bad argument prints
// the parser's error, which names it, with the usage and gives ExitUsage.
// Empty when the command goes on. `command` may name a sub-command
// ("stations add"); the usage shown is that of its first word.
std::optional<int> parseArguments(QCommandLineParser &parser, const QString &command,
                                  const QStringList &args);

QTextStream &out();
QTextStream &err();

// The command line has no one to ask: questions are answered No / Cancel and
// dialogs choose nothing.
class NoPrompts final : public Prompts {
public:
    PromptAnswer message(const QString &, const QString &, PromptIcon, PromptButtons buttons) override {
        return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel;
    }
    void plain(const QString &) override {}
    QStringList openFiles(const QString &, const QString &, const QString &) override { return {}; }
    QString chooseFolder(const QString &, const QString &, FolderPurpose) override { return {}; }
};

// Takes a leading "--data-folder DIR" off `args` (default: the program's data
// folder). Returns false, after printing the usage, when DIR is missing.
bool takeDataFolder(const QString &command, QStringList &args, DataFolder &folder);
// The program's data folder and settings file, as the window finds them.
DataFolder programDataFolder();
QString programSettingsPath();
// Reads the settings file; false, with the reason on stderr, when it exists but
// cannot be read or is not text (a pipe, a folder, a damaged file).
bool openSettings(SettingsFile &settings, const QString &path);

// Prints the command's usage to stderr and returns ExitUsage.
int usageError(const QString &command, const QString &problem);

// Text from files and servers as the terminal gets it: control characters escaped.
QString shown(const QString &text);

} // namespace varnelo::cli
