#include "cli/Commands.h"
#include "common/ProgramFiles.h"
#include "common/SettingsFile.h"
#include "common/TextRules.h"
#include "platform/sound/FFmpegLog.h"

#include <QCommandLineParser>
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
    const char *summary;
};
std::map<std::string, Entry> &registry() {
    static std::map<std::string, Entry> commands;
    return commands;
}
const char *const kVersion = "1.00";

void printUsage(QTextStream &stream) {
    stream << "usage: varnelo-cli [--help] [--version] COMMAND [ARGUMENTS]\n";
    for (const auto &[name, entry] : registry())
        for (const QString &line : QString::fromUtf8(entry.usage).split(QLatin1Char('\n')))
            stream << "  " << line.trimmed() << '\n';
    stream.flush();
}

void printHelp() {
    out() << "usage: varnelo-cli [--help] [--version] COMMAND [ARGUMENTS]\n\n"
          << "Varnelo's radio, library, conversion and tag operations without a window.\n\n"
          << "Commands:\n";
    for (const auto &[name, entry] : registry())
        out() << "  " << QString::fromStdString(name).leftJustified(10) << QString::fromUtf8(entry.summary)
              << '\n';
    out() << "\nOptions:\n"
          << "  -h, --help     Show this help.\n"
          << "  -v, --version  Show the version.\n\n"
          << "Run \"varnelo-cli COMMAND --help\" for the arguments of a command.\n";
    out().flush();
}

// The usage lines of `command` ("name ..."), each after "usage: varnelo-cli ".
void printCommandUsage(QTextStream &stream, const QString &command) {
    auto it = registry().find(command.section(QLatin1Char(' '), 0, 0).toStdString());
    if (it == registry().end())
        return;
    const QStringList lines = QString::fromUtf8(it->second.usage).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i)
        stream << (i == 0 ? "usage: varnelo-cli " : "       varnelo-cli ") << lines[i].trimmed() << '\n';
}
} // namespace

CommandRegistration::CommandRegistration(const char *name, CommandFn fn, const char *usage,
                                         const char *summary) {
    registry()[name] = Entry{fn, usage, summary};
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
    printCommandUsage(err(), command);
    err() << "Run \"varnelo-cli " << command << " --help\" for more.\n";
    err().flush();
    return ExitUsage;
}

QString shown(const QString &text) {
    return text::escapeControls(text);
}

std::optional<int> parseArguments(QCommandLineParser &parser, const QString &command,
                                  const QStringList &args) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    // The parser reads the first entry as the program's name.
    if (!parser.parse(QStringList{QStringLiteral("varnelo-cli")} + args))
        return usageError(command, parser.errorText());
    if (parser.isSet(help)) {
        printCommandUsage(out(), command);
        auto it = registry().find(command.section(QLatin1Char(' '), 0, 0).toStdString());
        if (it != registry().end() && *it->second.summary)
            out() << '\n' << QString::fromUtf8(it->second.summary) << '\n';
        // The parser's own text after its usage line: the options and arguments.
        const QString text = parser.helpText();
        const qsizetype options = text.indexOf(QLatin1String("\nOptions:"));
        if (options >= 0)
            out() << text.mid(options) << (text.endsWith(QLatin1Char('\n')) ? "" : "\n");
        out().flush();
        return ExitOk;
    }
    return std::nullopt;
}

bool takeDataFolder(const QString &command, QStringList &args, DataFolder &folder) {
    folder = programDataFolder();
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

DataFolder programDataFolder() {
    return ProgramFiles::current().dataFolder;
}

bool openSettings(SettingsFile &settings, const QString &path) {
    if (settings.open(path))
        return true;
    err() << "varnelo-cli: " << settings.problem() << '\n';
    return false;
}

QString programSettingsPath() {
    return ProgramFiles::current().settingsPath;
}

} // namespace varnelo::cli

int main(int argc, char **argv) {
    using namespace varnelo::cli;
    // The operations are the program's own and use Qt GUI types (actions, item
    // models); the minimal platform gives them a GUI application without a
    // display, and without the font set-up (and its teardown at exit) that the
    // command line never draws with.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "minimal");
    // Qt falls back to this folder itself, but warns about it on every run.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QByteArray("/tmp/runtime-") + QByteArray::number(getuid()));
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    varnelo::RouteFFmpegLog();
    const QStringList args = QGuiApplication::arguments().mid(1);
    if (args.isEmpty()) {
        printUsage(err());
        return ExitUsage;
    }
    const QString first = args.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        printHelp();
        return ExitOk;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        out() << "varnelo-cli " << kVersion << '\n';
        out().flush();
        return ExitOk;
    }
    auto it = registry().find(first.toStdString());
    if (it == registry().end()) {
        err() << "varnelo-cli: "
              << (first.startsWith(QLatin1Char('-')) ? "unknown option '" : "unknown command '") << first
              << "'\n";
        printUsage(err());
        return ExitUsage;
    }
    const int rc = it->second.fn(args.mid(1));
    out().flush();
    err().flush();
    return rc;
}
