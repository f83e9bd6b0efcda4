#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <vector>

namespace varnelo::cd {

// AccurateRip's list of drives' read offsets, as its server offers it
// ("DriveOffsets.bin"): the offsets people found for each drive model.
struct DriveOffsetRecord {
    int offset = 0; // samples, AccurateRip's convention
    QString name;   // "VENDOR - MODEL" ("- MODEL" without a vendor)
    quint32 submissions = 0;
    int percent = -1; // of the submissions that agree, -1 when the record does not say
};

struct DriveOffsetList {
    std::vector<DriveOffsetRecord> records;
    QString error; // why the data is not a drive offset list; records empty then
};

constexpr auto DriveOffsetsFileName = "DriveOffsets.bin";
constexpr int DriveOffsetRecordBytes = 69;
constexpr qint64 MaxListBytes = 8 << 20;

// Every record is checked; one bad record, or a file cut inside a record,
// rejects the file with a message naming the record.
DriveOffsetList parseDriveOffsets(const QByteArray &data);

// A drive's name as the list writes it, for comparing: upper case, runs of
// spaces as one, "VENDOR - MODEL".
QString driveOffsetKey(const QString &vendor, const QString &model);

// The record of the drive: among those whose name matches the vendor and
// model, the one most submissions back. Nullopt when none matches.
std::optional<DriveOffsetRecord> findDriveOffset(const std::vector<DriveOffsetRecord> &records,
                                                 const QString &vendor, const QString &model);

// Where the list lies under the AccurateRip server's base address
// (http://www.accuraterip.com/accuraterip/ by default).
QUrl driveOffsetsUrl(const QUrl &base);

// Keeps the list's bytes as `path`, replacing any older copy at once (never
// half written); false with the reason when it could not.
bool keepDriveOffsets(const QString &path, const QByteArray &data, QString &error);

// The list kept at `path`; fetched from `base` and kept first when `refresh`
// or when none is kept. `done` is called once on the calling thread (its
// event loop runs the fetch), unless `context` is gone by then.
void loadDriveOffsets(const QString &path, const QUrl &base, bool refresh, QObject *context,
                      std::function<void(const DriveOffsetList &)> done);

} // namespace varnelo::cd
