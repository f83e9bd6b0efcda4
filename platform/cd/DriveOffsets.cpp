#include "platform/cd/DriveOffsets.h"

#include "common/FileGuards.h"

#include "platform/cd/HttpGet.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QtEndian>
#include <algorithm>

namespace varnelo::cd {

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("DriveOffsets", text);
}

// The record layout, as the open-source rippers that read the list describe it
// (the rip-rip-hooray build script and the cdtoc crate, each reading 69-byte
// records of a little-endian i16 offset and a NUL-padded 32-byte name; a
// whipper front end's refresh script, checked against a drive of known offset
// +667):
//   0  int16 LE   read offset in samples
//   2  char[32]   "VENDOR - MODEL", NUL-padded
//   34 NUL        the name's terminator
//   35 uint32 LE  submissions (the scripts read its low byte as the count)
//   39 char[30]   the share that agrees, text such as "100%", NUL-padded
constexpr int NameAt = 2, NameBytes = 32, TerminatorAt = 34, SubmissionsAt = 35, PercentAt = 39;
constexpr int PercentBytes = DriveOffsetRecordBytes - PercentAt;
// Beyond ten sectors either way no drive reads: such a record is not one.
constexpr int MaxOffset = 5880;

QString simplified(const QString &text) {
    return text.simplified().toUpper();
}

// NUL-padded printable ASCII; false for anything else.
bool fieldText(const char *data, int size, QString &text) {
    const int length = int(std::find(data, data + size, '\0') - data);
    if (std::any_of(data + length, data + size, [](char c) { return c != '\0'; }))
        return false;
    if (std::any_of(data, data + length, [](char c) { return c < 0x20 || c > 0x7e; }))
        return false;
    text = QString::fromLatin1(data, length);
    return true;
}

} // namespace

DriveOffsetList parseDriveOffsets(const QByteArray &data) {
    DriveOffsetList list;
    if (data.isEmpty()) {
        list.error = tr("The drive offset list is empty.");
        return list;
    }
    if (data.size() % DriveOffsetRecordBytes != 0) {
        list.error = tr("The drive offset list is cut short: %1 bytes, not a whole number of %2-byte records "
                        "(record %3 is incomplete).")
                         .arg(data.size())
                         .arg(DriveOffsetRecordBytes)
                         .arg(data.size() / DriveOffsetRecordBytes + 1);
        return list;
    }
    const int count = int(data.size() / DriveOffsetRecordBytes);
    list.records.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const char *r = data.constData() + qsizetype(i) * DriveOffsetRecordBytes;
        DriveOffsetRecord record;
        record.offset = qFromLittleEndian<qint16>(r);
        record.submissions = qFromLittleEndian<quint32>(r + SubmissionsAt);
        QString percent;
        const auto bad = [&](const QString &why) {
            list.records.clear();
            list.error = tr("Record %1 of the drive offset list is not valid: %2").arg(i + 1).arg(why);
            return list;
        };
        if (!fieldText(r + NameAt, NameBytes, record.name) || record.name.trimmed().isEmpty())
            return bad(tr("its drive name is not text"));
        if (r[TerminatorAt] != '\0')
            return bad(tr("its drive name is not ended"));
        if (!record.name.startsWith(QLatin1String("- ")) && !record.name.contains(QLatin1String(" - ")))
            return bad(tr("\"%1\" is not \"VENDOR - MODEL\"").arg(record.name));
        if (std::abs(record.offset) > MaxOffset)
            return bad(tr("an offset of %1 samples").arg(record.offset));
        if (!fieldText(r + PercentAt, PercentBytes, percent))
            return bad(tr("its share of agreeing submissions is not text"));
        // The share's digits, when it gives some.
        const QString digits = percent.trimmed().section(QLatin1Char('%'), 0, 0).trimmed();
        bool ok = false;
        const int value = digits.toInt(&ok);
        if (ok && value >= 0 && value <= 100)
            record.percent = value;
        list.records.push_back(record);
    }
    return list;
}

QString driveOffsetKey(const QString &vendor, const QString &model) {
    return (simplified(vendor) + QStringLiteral(" - ") + simplified(model)).trimmed();
}

std::optional<DriveOffsetRecord> findDriveOffset(const std::vector<DriveOffsetRecord> &records,
                                                 const QString &vendor, const QString &model) {
    const QString key = driveOffsetKey(vendor, model);
    std::optional<DriveOffsetRecord> best;
    for (const DriveOffsetRecord &r : records) {
        const qsizetype dash =
            r.name.startsWith(QLatin1String("- ")) ? -1 : r.name.indexOf(QLatin1String(" - "));
        const QString name = dash < 0 ? driveOffsetKey(QString(), r.name.mid(2))
                                      : driveOffsetKey(r.name.left(dash), r.name.mid(dash + 3));
        if (name == key && (!best || r.submissions > best->submissions))
            best = r;
    }
    return best;
}

QUrl driveOffsetsUrl(const QUrl &base) {
    QUrl folder = base;
    if (!folder.path().endsWith(QLatin1Char('/')))
        folder.setPath(folder.path() + QLatin1Char('/'));
    return folder.resolved(QUrl(QString::fromLatin1(DriveOffsetsFileName)));
}

bool keepDriveOffsets(const QString &path, const QByteArray &data, QString &error) {
    return files::writeAtomically(path, data, error);
}

void loadDriveOffsets(const QString &path, const QUrl &base, bool refresh, QObject *context,
                      std::function<void(const DriveOffsetList &)> done) {
    const auto kept = [path] {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return DriveOffsetList{{}, tr("No drive offset list is kept (%1).").arg(path)};
        // A real list is a few hundred kilobytes.
        if (f.size() > MaxListBytes)
            return DriveOffsetList{{}, tr("%1 is too large to be a drive offset list.").arg(path)};
        return parseDriveOffsets(f.readAll());
    };
    if (!refresh && QFile::exists(path)) {
        done(kept());
        return;
    }
    auto *network = new QNetworkAccessManager(context);
    HttpOptions options;
    options.maxBytes = MaxListBytes;
    options.timeoutMs = 20000;
    const QUrl url = driveOffsetsUrl(base);
    httpGet(*network, url, options, context, [=](const HttpAnswer &answer) {
        network->deleteLater();
        DriveOffsetList list;
        if (!answer.error.isEmpty() || answer.status != 200) {
            list.error =
                tr("The drive offset list could not be fetched from %1: %2")
                    .arg(url.toString(),
                         answer.error.isEmpty() ? tr("HTTP status %1").arg(answer.status) : answer.error);
        } else {
            list = parseDriveOffsets(answer.body);
            QString error;
            // Only a list that reads is kept: a bad answer leaves the older copy.
            if (list.error.isEmpty() && !keepDriveOffsets(path, answer.body, error))
                list.error = tr("The drive offset list could not be kept as %1: %2").arg(path, error);
        }
        done(list);
    });
}

} // namespace varnelo::cd
