#include "cli/Commands.h"

#include "common/TextRules.h"

#include <QGuiApplication>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>

namespace varnelo::cli {
namespace {
struct Entry {
    CommandFn fn;
    const char *usage;
};
std::map<std::string, Entry> &registry() {
    static std::map<std::string, Entry> commands;
    return commands;
}
void printUsage() {
    err() << "usage: varnelo-cli COMMAND ...\n";
    for (const auto &[name, entry] : registry())
        err() << "  " << QString::fromUtf8(entry.usage) << '\n';
    err().flush();
}
} // namespace

CommandRegistration::CommandRegistration(const char *name, CommandFn fn, const char *usage) {
    registry()[name] = Entry{fn, usage};
}

QTextStream &out() {
    static QTextStream stream(stdout);
    return stream;
}
QTextStream &err() {
    static QTextStream stream(stderr);
    return stream;
}

int usageError(const QString &command, const QString &problem) {
    if (!problem.isEmpty())
        err() << "varnelo-cli " << command << ": " << problem << '\n';
    auto it = registry().find(command.toStdString());
    if (it != registry().end())
        err() << "usage: " << QString::fromUtf8(it->second.usage) << '\n';
    err().flush();
    return ExitUsage;
}

QString shown(const QString &text) {
    return text::escapeControls(text);
}

bool takeDataFolder(const QString &command, QStringList &args, DataFolder &folder) {
    folder = DataFolder::besideExecutable();
    if (args.value(0) != QLatin1String("--data-folder"))
        return true;
    if (args.size() < 2) {
        usageError(command, QStringLiteral("--data-folder needs a folder"));
        return false;
    }
    folder = DataFolder(args[1]);
    args = args.mid(2);
    return true;
}

} // namespace varnelo::cli

int main(int argc, char **argv) {
    using namespace varnelo::cli;
    // The operations are the program's own and use Qt GUI types (actions, item
    // models); the offscreen platform gives them a GUI application without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt falls back to this folder itself, but warns about it on every run.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QByteArray("/tmp/runtime-") + QByteArray::number(getuid()));
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments().mid(1);
    if (args.isEmpty()) {
        printUsage();
        return ExitUsage;
    }
    auto it = registry().find(args.first().toStdString());
    if (it == registry().end()) {
        err() << "varnelo-cli: unknown command " << args.first() << '\n';
        printUsage();
        return ExitUsage;
    }
    const int rc = it->second.fn(args.mid(1));
    out().flush();
    err().flush();
    return rc;
}
