#pragma once
#include <QStringList>
#include <QTextStream>

#include "common/DataFolder.h"
#include "common/Seams.h"

namespace varnelo::cli {

// Exit codes shared by every command.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

using CommandFn = int (*)(const QStringList &args);

// Each command file registers itself with a static CommandRegistration, so the
// commands stay independent of each other and of main.cpp.
struct CommandRegistration {
    CommandRegistration(const char *name, CommandFn fn, const char *usage);
};

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
    QString chooseFolder(const QString &, const QString &) override { return {}; }
};

// Takes a leading "--data-folder DIR" off `args` (default: the program's data
// folder). Returns false, after printing the usage, when DIR is missing.
bool takeDataFolder(const QString &command, QStringList &args, DataFolder &folder);

// Prints the command's usage to stderr and returns ExitUsage.
int usageError(const QString &command, const QString &problem);

// Text from files and servers as the terminal gets it: control characters escaped.
QString shown(const QString &text);

} // namespace varnelo::cli
