#pragma once
#include <QStringList>
#include <QTextStream>

namespace varnelo::cli {

// Exit codes shared by every command.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

using CommandFn = int (*)(const QStringList& args);

// Each command file registers itself with a static CommandRegistration, so the
// commands stay independent of each other and of main.cpp.
struct CommandRegistration {
    CommandRegistration(const char* name, CommandFn fn, const char* usage);
};

QTextStream& out();
QTextStream& err();

// Prints the command's usage to stderr and returns ExitUsage.
int usageError(const QString& command, const QString& problem);

} // namespace varnelo::cli
