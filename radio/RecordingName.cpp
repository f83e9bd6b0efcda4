#include "radio/RecordingName.h"

#include "common/TextRules.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace varnelo {

namespace {
// A file name holds 255 bytes; room is left for " (9999)" and the extension.
constexpr int MaxBaseBytes = 255 - 7 - 8;
constexpr int MaxNumber = 9999;
} // namespace

QString DateTimeName(const QDateTime &moment) {
    return moment.toString(QStringLiteral("dd-MM-yyyy--HH;mm;ss"));
}

QString SafeBaseName(const QString &name) {
    QString out = name;
    bool leading = true;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u == u'/' || text::isControl(c) || (leading && u == u'.'))
            c = u'_';
        else
            leading = false;
    }
    if (out.toUtf8().size() > MaxBaseBytes)
        out = QString::fromUtf8(text::encodeCut(out, MaxBaseBytes));
    return out;
}

namespace {

QString partOf(const QString &folder, const QString &name) {
    return folder + QLatin1Char('.') + name + QStringLiteral(".part");
}

} // namespace

NewRecordingFile CreateRecordingFile(const QString &folder, const QString &base, const QString &extension) {
    NewRecordingFile result;
    for (int n = 1; n <= MaxNumber; ++n) {
        const QString name = (n == 1 ? base : QStringLiteral("%1 (%2)").arg(base).arg(n)) + extension;
        if (QFileInfo::exists(folder + name) || QFileInfo(folder + name).isSymLink())
            continue;
        QFile part(partOf(folder, name));
        // Made only when no file of the name exists, in one step: nothing is overwritten.
        if (part.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            result.path = folder + name;
            result.part = part.fileName();
            return result;
        }
        if (!part.exists()) {
            result.error = QStringLiteral("Cannot create \"%1\": %2").arg(folder + name, part.errorString());
            return result;
        }
    }
    result.error =
        QStringLiteral("Cannot create \"%1\": every numbered name is taken").arg(folder + base + extension);
    return result;
}

QString PublishRecording(const QString &part, const QString &wanted) {
    const QFileInfo want(wanted);
    const QString folder = want.absolutePath() + QLatin1Char('/');
    const QString base = want.completeBaseName();
    const QString extension = want.suffix().isEmpty() ? QString() : QLatin1Char('.') + want.suffix();
    const QByteArray from = QFile::encodeName(part);
    for (int n = 1; n <= MaxNumber; ++n) {
        const QString name =
            n == 1 ? wanted : folder + QStringLiteral("%1 (%2)").arg(base).arg(n) + extension;
        // A hard link fails where the name exists: the move never replaces a file.
        if (::link(from.constData(), QFile::encodeName(name).constData()) == 0) {
            ::unlink(from.constData());
            return name;
        }
        if (errno == EPERM || errno == EOPNOTSUPP) {
            // A file system without hard links: the name is checked, then taken.
            if (!QFileInfo::exists(name) &&
                ::rename(from.constData(), QFile::encodeName(name).constData()) == 0)
                return name;
            continue;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

void RemoveStaleParts(const QString &folder) {
    const QDateTime minuteAgo = QDateTime::currentDateTime().addSecs(-60);
    // Only the recording formats' part files: others' hidden files stay.
    QStringList ours;
    for (const char *extension : {"mp3", "wav", "wma", "ogg", "flac", "opus"})
        ours << QStringLiteral(".*.%1.part").arg(QLatin1String(extension));
    for (const QFileInfo &file :
         QDir(folder).entryInfoList(ours, QDir::Files | QDir::Hidden | QDir::NoSymLinks))
        if (file.lastModified() < minuteAgo)
            QFile::remove(file.absoluteFilePath());
}

} // namespace varnelo
