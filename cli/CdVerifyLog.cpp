// varnelo-cli cd verify-log: whether a rip log is as the ripper wrote it.
#include "cli/Commands.h"
#include "common/FileGuards.h"
#include "rip/LogChecksum.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

namespace varnelo::cli {

// Logs are a few kilobytes per track; anything far larger is not one.
constexpr qint64 LogLimit = 16 << 20;

int verifyRipLog(const QStringList &args) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("LOG"), QStringLiteral("The rip log to check."));
    if (auto rc = parseArguments(parser, QStringLiteral("cd verify-log"), args))
        return *rc;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return usageError(QStringLiteral("cd"), files.isEmpty() ? QStringLiteral("verify-log needs a LOG")
                                                                : QStringLiteral("verify-log takes one LOG"));
    const QString path = files.first();
    const QString name = shown(QDir::toNativeSeparators(path));
    QFile f(path);
    const QString why = !f.exists()                    ? QStringLiteral("no such file")
                        : !files::isRegularFile(path)  ? QStringLiteral("not a file")
                        : !f.open(QIODevice::ReadOnly) ? f.errorString()
                                                       : QString();
    if (!why.isEmpty()) {
        err() << "varnelo-cli cd verify-log: cannot read " << name << ": " << why << '\n';
        return ExitFailure;
    }
    if (f.size() > LogLimit) {
        err() << "varnelo-cli cd verify-log: " << name << " is too large to be a rip log\n";
        return ExitFailure;
    }
    switch (checkLogSeal(f.readAll())) {
    case LogSeal::Intact:
        out() << name << ": the log is as it was written\n";
        return ExitOk;
    case LogSeal::Edited:
        err() << "varnelo-cli cd verify-log: " << name << " was changed after it was written\n";
        return ExitFailure;
    case LogSeal::Missing:
        break;
    }
    err() << "varnelo-cli cd verify-log: " << name << " has no checksum line\n";
    return ExitFailure;
}

} // namespace varnelo::cli
