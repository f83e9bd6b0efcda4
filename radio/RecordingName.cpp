#include "radio/RecordingName.h"

#include "common/TextRules.h"

#include <QFile>

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

NewRecordingFile CreateRecordingFile(const QString &folder, const QString &base, const QString &extension) {
    NewRecordingFile result;
    for (int n = 1; n <= MaxNumber; ++n) {
        const QString name = n == 1 ? base : QStringLiteral("%1 (%2)").arg(base).arg(n);
        QFile file(folder + name + extension);
        // Made only when no file of the name exists, in one step: nothing is overwritten.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            result.path = file.fileName();
            return result;
        }
        if (!file.exists()) {
            result.error =
                QStringLiteral("Cannot create \"%1\": %2").arg(file.fileName(), file.errorString());
            return result;
        }
    }
    result.error =
        QStringLiteral("Cannot create \"%1\": every numbered name is taken").arg(folder + base + extension);
    return result;
}

} // namespace varnelo
