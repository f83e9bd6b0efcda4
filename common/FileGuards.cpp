#include "common/FileGuards.h"

#include "common/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <sys/stat.h>

namespace varnelo::files {

bool isRegularFile(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

void requireRegularOrMissing(const QString &path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return; // missing (or unreachable): opening it says so
    if (!S_ISREG(st.st_mode))
        throw Error(QStringLiteral("Cannot read \"%1\": it is not a regular file").arg(path));
}

void requireRegular(const QString &path) {
    if (!QFileInfo::exists(path))
        throw Error(QStringLiteral("File not found: %1").arg(path));
    requireRegularOrMissing(path);
}

QByteArray readBounded(const QString &path, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open file \"%1\": %2").arg(path, file.errorString()));
    return file.read(std::min(limit, file.size()));
}

void replaceLinkWithCopy(const QString &path) {
    const QFileInfo info(path);
    if (!info.isSymLink())
        return;
    QByteArray bytes;
    if (info.exists()) { // a dangling link is replaced by an empty file
        requireRegular(path);
        bytes = readBounded(path, std::numeric_limits<qint64>::max());
    }
    const QString scratch = path + QStringLiteral(".link-copy");
    QFile out(scratch);
    const bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         out.write(bytes) == bytes.size() && out.flush();
    out.close();
    // rename(2) replaces the link itself, not the file it points to.
    if (!written ||
        std::rename(QFile::encodeName(scratch).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(scratch);
        throw Error(QStringLiteral("Cannot write \"%1\": it is a link and could not be replaced by a file")
                        .arg(path));
    }
}

QString keepDamaged(const QString &path) {
    requireRegular(path);
    const QByteArray bytes = readBounded(path, std::numeric_limits<qint64>::max());
    for (int n = 1;; ++n) {
        const QString copy =
            path + (n == 1 ? QStringLiteral(".damaged") : QStringLiteral(".damaged.%1").arg(n));
        if (QFileInfo::exists(copy)) {
            if (isRegularFile(copy) && QFileInfo(copy).size() == bytes.size() &&
                readBounded(copy, bytes.size()) == bytes)
                return QFileInfo(copy).fileName();
            continue;
        }
        QSaveFile out(copy);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
            throw Error(QStringLiteral("Cannot keep a copy of the damaged file \"%1\": %2")
                            .arg(path, out.errorString()));
        return QFileInfo(copy).fileName();
    }
}

bool writeAtomically(const QString &path, const QByteArray &bytes, QString &error) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        error = f.errorString();
        return false;
    }
    return true;
}

bool moveToTrash(const QString &path) {
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QString trashed;
    if (!QFile::moveToTrash(path, &trashed))
        return false;
    const QFileInfo landed(trashed);
    if (landed.isAbsolute() && landed.absolutePath().contains(QLatin1String("Trash")))
        return true;
    QFile::rename(landed.absoluteFilePath(), path);
    return false;
}

} // namespace varnelo::files
