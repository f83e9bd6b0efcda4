#include "common/RecordFile.h"

#include "common/Error.h"
#include "common/FileGuards.h"
#include "common/TextRules.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cstdio>

namespace varnelo {

namespace records {

QString readField(const QByteArray &record, RecordField field) {
    const int length =
        qMin(static_cast<int>(static_cast<unsigned char>(record.at(field.offset))), field.maxBytes);
    const qsizetype start = std::min<qsizetype>(field.offset + 1, record.size());
    return text::decode8Bit(
        QByteArrayView(record).sliced(start, std::min<qsizetype>(length, record.size() - start)));
}

void writeField(QByteArray &record, RecordField field, const QString &value) {
    const QByteArray bytes = text::encodeCut(value.left(255), field.maxBytes);
    record[field.offset] = static_cast<char>(bytes.size());
    char *area = record.data() + field.offset + 1;
    std::fill(area, area + field.maxBytes, '\0');
    std::copy(bytes.begin(), bytes.end(), area);
}

} // namespace records

namespace {
[[noreturn]] void fail(const QString &what, const QFileDevice &file) {
    throw Error(QStringLiteral("%1 \"%2\": %3").arg(what, file.fileName(), file.errorString()));
}
} // namespace

bool RecordFile::exists() const {
    return QFile::exists(path_);
}

void RecordFile::forEach(const std::function<bool(const QByteArray &)> &visit) const {
    files::requireRegularOrMissing(path_);
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot open file"), file);
    // Read in large chunks; a record file may hold tens of thousands of records.
    // A chunk is never larger than what is left of the file: most files are small.
    const qint64 chunkRecords = 4096;
    QByteArray pending;
    for (qint64 left = file.size(); left > 0;) {
        QByteArray chunk = file.read(std::min(left, chunkRecords * size_));
        if (chunk.isEmpty())
            break;
        left -= chunk.size();
        pending += chunk;
        qsizetype pos = 0;
        while (pending.size() - pos >= size_) {
            if (!visit(pending.mid(pos, size_)))
                return;
            pos += size_;
        }
        pending.remove(0, pos);
    }
}

bool RecordFile::any(const std::function<bool(const QByteArray &)> &match) const {
    bool found = false;
    forEach([&](const QByteArray &r) {
        found = match(r);
        return !found;
    });
    return found;
}

std::vector<QByteArray> RecordFile::readAll() const {
    std::vector<QByteArray> out;
    forEach([&](const QByteArray &r) {
        out.push_back(r);
        return true;
    });
    return out;
}

bool RecordFile::append(const QByteArray &record) const {
    return append(std::vector<QByteArray>{record});
}

bool RecordFile::append(const std::vector<QByteArray> &list) const {
    if (!exists())
        return false;
    // A tail shorter than a record would shift every appended record: the new
    // ones start on a record boundary, and the file with its tail is kept.
    keepDamagedTail();
    files::replaceLinkWithCopy(path_);
    QSaveFile out(path_);
    if (!out.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Cannot open file"), out);
    bool written = true;
    forEach([&](const QByteArray &r) {
        written = out.write(r) == r.size();
        return written;
    });
    for (const QByteArray &r : list) {
        Q_ASSERT(r.size() == size_);
        written = written && out.write(r) == r.size();
    }
    if (!written || !out.commit())
        fail(QStringLiteral("Cannot write file"), out);
    return true;
}

QString RecordFile::keepDamagedTail() const {
    if (!exists())
        return {};
    files::requireRegular(path_);
    const qint64 size = QFileInfo(path_).size();
    const qint64 tail = size % size_;
    if (tail == 0)
        return {};
    const QString kept = files::keepDamaged(path_);
    QFile file(path_);
    if (!file.resize(size - tail))
        fail(QStringLiteral("Cannot write file"), file);
    return QStringLiteral(
               "\"%1\" ended in %2 bytes that are not a whole record; the file as it was is kept as \"%3\"")
        .arg(QFileInfo(path_).fileName())
        .arg(tail)
        .arg(kept);
}

int RecordFile::removeWhere(const std::function<bool(int, const QByteArray &)> &drop,
                            const QString &scratchPath) const {
    files::requireRegularOrMissing(path_);
    QFile scratch(scratchPath);
    if (!scratch.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("Cannot create file"), scratch);
    int index = 0;
    int dropped = 0;
    bool writeFailed = false;
    forEach([&](const QByteArray &r) {
        if (drop(index++, r))
            ++dropped;
        else if (scratch.write(r) != r.size())
            writeFailed = true;
        return !writeFailed;
    });
    if (writeFailed || !scratch.flush()) {
        const QString reason = scratch.errorString();
        scratch.close();
        scratch.remove();
        throw Error(QStringLiteral("Cannot write file \"%1\": %2").arg(scratchPath, reason));
    }
    scratch.close();
    if (dropped == 0) {
        scratch.remove();
        return 0;
    }
    keepDamagedTail(); // the rewrite leaves out a tail that is not a whole record
    // rename(2) replaces the target in one step: no moment without the file.
    if (std::rename(QFile::encodeName(scratchPath).constData(), QFile::encodeName(path_).constData()) != 0) {
        QFile::remove(scratchPath);
        throw Error(QStringLiteral("Cannot replace file \"%1\"").arg(path_));
    }
    return dropped;
}

} // namespace varnelo
