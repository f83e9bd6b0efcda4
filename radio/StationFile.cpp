#include "radio/StationFile.h"

#include "common/Error.h"
#include "common/TextRules.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <algorithm>
#include <optional>

namespace varnelo {
namespace {

constexpr RecordField AddressFields[] = {StationRecord::StreamUrlField, StationRecord::HomeUrlField};
constexpr RecordField AllFields[] = {StationRecord::HomeUrlField, StationRecord::StreamUrlField,
                                     StationRecord::GenreField, StationRecord::NameField};

int storedLength(const QByteArray &record, RecordField field) {
    return qMin(int(static_cast<unsigned char>(record.at(field.offset))), field.maxBytes);
}

// Only an address stored at (nearly) the full width can have been cut: a cut
// steps back at most three bytes to a character boundary.
bool mayBeCut(const QByteArray &record) {
    for (RecordField f : AddressFields)
        if (storedLength(record, f) >= f.maxBytes - 3)
            return true;
    return false;
}

// The digest of what readers see of a record: each field's length and text,
// not the bytes after the text (other tools fill those as they like).
QByteArray digestOf(const QByteArray &record) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (RecordField f : AllFields)
        hash.addData(QByteArrayView(record.constData() + f.offset, 1 + storedLength(record, f)));
    return hash.result().toHex();
}

QByteArray keyOf(const QByteArray &digest, int ordinal) {
    return digest + ':' + QByteArray::number(ordinal);
}

QString storedForm(const QString &text, RecordField field) {
    return text::decode8Bit(text::encodeCut(text.left(255), field.maxBytes));
}

bool isCut(const QString &text, RecordField field) {
    return storedForm(text, field) != text;
}

// Keys of the records of a file: digest and order among equal records.
class Keys {
public:
    QByteArray next(const QByteArray &record) {
        const QByteArray digest = digestOf(record);
        return keyOf(digest, seen_[digest]++);
    }

private:
    QHash<QByteArray, int> seen_;
};

struct Full {
    QString stream; // empty: the record's own
    QString home;
};
using Entries = QHash<QByteArray, Full>;

const QByteArray Header = "# Full station addresses of the records that hold them cut; kept by Varnelo\n";
const QByteArray Unencoded = "!$&'()*+,/:;=?@[]~-._";

Entries readCompanion(const QString &path) {
    Entries entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1); // not trimmed: an empty last field ends in a tab
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> parts = line.split('\t');
        if (parts.size() != 3 || !parts[0].contains(':'))
            continue; // a damaged line costs only its own entry
        entries.insert(parts[0], Full{QString::fromUtf8(QByteArray::fromPercentEncoding(parts[1])),
                                      QString::fromUtf8(QByteArray::fromPercentEncoding(parts[2]))});
    }
    return entries;
}

void writeCompanion(const QString &path, const Entries &entries) {
    if (entries.isEmpty()) {
        if (QFile::exists(path) && !QFile::remove(path))
            throw Error(QStringLiteral("Cannot remove file \"%1\"").arg(path));
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(QStringLiteral("Cannot write file \"%1\": %2").arg(path, file.errorString()));
    QByteArray text = Header;
    QList<QByteArray> keys = entries.keys();
    std::sort(keys.begin(), keys.end());
    for (const QByteArray &key : keys) {
        const Full &full = entries.value(key);
        text += key + '\t' + full.stream.toUtf8().toPercentEncoding(Unencoded) + '\t' +
                full.home.toUtf8().toPercentEncoding(Unencoded) + '\n';
    }
    file.write(text);
    if (!file.commit())
        throw Error(QStringLiteral("Cannot write file \"%1\": %2").arg(path, file.errorString()));
}

// Gives the records of one pass over a file their full addresses.
class Restorer {
public:
    explicit Restorer(const QString &recordPath)
        : entries_(readCompanion(StationFile::companionPath(recordPath))) {}
    bool empty() const { return entries_.isEmpty(); }

    // The entry of the record `bytes` (read as `r`), after putting its addresses into `r`.
    std::optional<Full> restore(const QByteArray &bytes, StationRecord &r) {
        if (entries_.isEmpty() || !mayBeCut(bytes))
            return std::nullopt;
        const auto it = entries_.constFind(keys_.next(bytes));
        if (it == entries_.constEnd())
            return std::nullopt;
        // An entry is used only for the record it was written for.
        if (!it->stream.isEmpty() && storedForm(it->stream, StationRecord::StreamUrlField) == r.StreamUrl)
            r.StreamUrl = it->stream;
        if (!it->home.isEmpty() && storedForm(it->home, StationRecord::HomeUrlField) == r.HomeUrl)
            r.HomeUrl = it->home;
        return *it;
    }
    const Entries &entries() const { return entries_; }

private:
    Entries entries_;
    Keys keys_;
};

} // namespace

bool StationFile::exists() const {
    return QFile::exists(path_);
}

bool StationFile::fitsRecord(const StationRecord &r) {
    return !isCut(r.StreamUrl, StationRecord::StreamUrlField) &&
           !isCut(r.HomeUrl, StationRecord::HomeUrlField);
}

void StationFile::forEach(const std::function<bool(const StationRecord &)> &visit) const {
    Restorer restorer(path_);
    stationFile(path_).forEach([&](const QByteArray &bytes) {
        StationRecord r = StationRecord::fromBytes(bytes);
        restorer.restore(bytes, r);
        return visit(r);
    });
}

std::vector<StationRecord> StationFile::readAll() const {
    std::vector<StationRecord> out;
    forEach([&](const StationRecord &r) {
        out.push_back(r);
        return true;
    });
    return out;
}

bool StationFile::any(const std::function<bool(const StationRecord &)> &match) const {
    bool found = false;
    forEach([&](const StationRecord &r) {
        found = match(r);
        return !found;
    });
    return found;
}

bool StationFile::append(const std::vector<StationRecord> &records) const {
    const RecordFile file = stationFile(path_);
    if (!file.exists())
        return false;
    std::vector<QByteArray> bytes;
    bytes.reserve(records.size());
    bool needed = false;
    for (const StationRecord &r : records) {
        bytes.push_back(r.toBytes());
        needed = needed || !fitsRecord(r);
    }
    if (needed) {
        // The entries of the records that are there, then those of the new ones.
        const Entries old = readCompanion(companionPath(path_));
        Entries entries;
        Keys keys;
        file.forEach([&](const QByteArray &record) {
            if (mayBeCut(record)) {
                const QByteArray key = keys.next(record);
                if (old.contains(key))
                    entries.insert(key, old.value(key));
            }
            return true;
        });
        for (size_t i = 0; i < records.size(); ++i) {
            if (!mayBeCut(bytes[i]))
                continue;
            const QByteArray key = keys.next(bytes[i]);
            const StationRecord &r = records[i];
            if (fitsRecord(r))
                continue;
            entries.insert(key,
                           Full{isCut(r.StreamUrl, StationRecord::StreamUrlField) ? r.StreamUrl : QString(),
                                isCut(r.HomeUrl, StationRecord::HomeUrlField) ? r.HomeUrl : QString()});
        }
        try {
            writeCompanion(companionPath(path_), entries);
        } catch (const Error &e) {
            QString name;
            for (const StationRecord &r : records)
                if (!fitsRecord(r)) {
                    name = r.Name;
                    break;
                }
            throw Error(
                QStringLiteral("The station \"%1\" was not saved: its address is longer than a station "
                               "record holds, and the full address could not be kept. %2")
                    .arg(name, e.message()));
        }
    }
    return file.append(bytes);
}

int StationFile::removeWhere(const std::function<bool(int, const StationRecord &)> &drop,
                             const QString &scratchPath) const {
    Restorer restorer(path_);
    Keys keys;
    Entries kept;
    const int dropped = stationFile(path_).removeWhere(
        [&](int index, const QByteArray &bytes) {
            StationRecord r = StationRecord::fromBytes(bytes);
            const std::optional<Full> full = restorer.restore(bytes, r);
            const bool gone = drop(index, r);
            if (!gone && !restorer.empty() && mayBeCut(bytes)) {
                const QByteArray key = keys.next(bytes); // its key in the new file
                if (full)
                    kept.insert(key, *full);
            }
            return gone;
        },
        scratchPath);
    if (dropped > 0 && !restorer.empty())
        writeCompanion(companionPath(path_), kept);
    return dropped;
}

} // namespace varnelo
