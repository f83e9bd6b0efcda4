#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>

namespace varnelo::test {

struct CliResult {
    int code = -1;
    QString out;
    QString err;
};

// Runs the built varnelo-cli and collects what it printed.
inline CliResult runCli(const QStringList &args, const QString &workingFolder = {}, int timeoutMs = 60000) {
    QProcess p;
    if (!workingFolder.isEmpty())
        p.setWorkingDirectory(workingFolder);
    p.start(QStringLiteral(VARNELO_CLI_PATH), args);
    p.waitForFinished(timeoutMs);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace varnelo::test
