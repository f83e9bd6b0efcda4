#include "common/ProgramFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace varnelo {

ProgramFiles ProgramFiles::forExecutableIn(const QString &exeDir) {
    const QDir dir(exeDir);
    const QFileInfo beside(dir.filePath(QStringLiteral("record")));
    const bool installed =
        QFileInfo::exists(dir.filePath(QStringLiteral("../share/metainfo/org.varnelo.varnelo.metainfo.xml")));
    ProgramFiles files;
    files.perUser = !beside.isDir() && (installed || !QFileInfo(exeDir).isWritable());
    if (!files.perUser) {
        files.dataFolder = DataFolder(beside.filePath());
        files.settingsPath = QStringLiteral("temp.ini");
        return files;
    }
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    files.dataFolder = DataFolder(data + QStringLiteral("/varnelo/record"));
    files.settingsPath = config + QStringLiteral("/varnelo/temp.ini");
    // The settings file is opened by name; its folder must be there.
    QDir().mkpath(QFileInfo(files.settingsPath).path());
    return files;
}

ProgramFiles ProgramFiles::current() {
    return forExecutableIn(QCoreApplication::applicationDirPath());
}

} // namespace varnelo
