#include "rip/LogChecksum.h"

#include <QCryptographicHash>

namespace varnelo {

namespace {

const QByteArray Label = "Log checksum: SHA-256 ";

QByteArray digest(const QByteArray &bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace

QString sealedLog(const QString &text) {
    QByteArray body = text.toUtf8();
    if (!body.isEmpty() && !body.endsWith('\n'))
        body += '\n';
    return QString::fromUtf8(body + Label + digest(body) + '\n');
}

LogSeal checkLogSeal(const QByteArray &bytes) {
    // The last line, its newline optional.
    const QByteArray trimmed = bytes.endsWith('\n') ? bytes.chopped(1) : bytes;
    const qsizetype start = trimmed.lastIndexOf('\n') + 1;
    const QByteArray last = trimmed.mid(start);
    if (!last.startsWith(Label))
        return LogSeal::Missing;
    return last.mid(Label.size()) == digest(bytes.left(start)) ? LogSeal::Intact : LogSeal::Edited;
}

} // namespace varnelo
