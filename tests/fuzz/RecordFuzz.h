#pragma once
// Both record layouts go through the same steps: the input is written as a
// record file and read back through RecordFile, as the program reads radio.dat
// or music.dat; every record must survive a store-and-read-back unchanged
// after its first storing (texts cut to the field widths only once).
#include "FuzzSupport.h"
#include "common/RecordFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace varnelo::fuzz {

template <typename Record> int fuzzRecordFile(const uint8_t *data, size_t size) {
    quietQt();
    // A folder in memory where there is one: a file written per input on a
    // disk would make the run many times slower.
    static const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static QTemporaryDir dir(base + QStringLiteral("/varnelo-fuzz-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("records.dat"));
    {
        QFile out(path);
        FUZZ_CHECK(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(out.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }
    const RecordFile file(path, Record::Size);
    const std::vector<QByteArray> all = file.readAll();
    FUZZ_CHECK(all.size() == size / Record::Size);
    for (const QByteArray &bytes : all) {
        FUZZ_CHECK(bytes.size() == Record::Size);
        const Record record = Record::fromBytes(bytes);
        const Record stored = record.stored();
        FUZZ_CHECK(stored.stored().toBytes() == stored.toBytes());
    }
    return 0;
}

} // namespace varnelo::fuzz
