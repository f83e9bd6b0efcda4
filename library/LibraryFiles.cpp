#include "library/LibraryFiles.h"

#include "common/Error.h"

#include <QFile>

namespace varnelo::libraryfiles {

QSet<QString> StoredPaths(const QString &path) {
    QSet<QString> paths;
    libraryFile(path).forEach([&](const QByteArray &bytes) {
        paths.insert(LibraryRecord::pathOf(bytes));
        return true;
    });
    return paths;
}

bool AppendIfNew(const QString &path, const LibraryRecord &record) {
    return AppendIfNew(path, std::vector<LibraryRecord>{record}) == 1;
}

int AppendIfNew(const QString &path, const std::vector<LibraryRecord> &list) {
    const RecordFile file = libraryFile(path);
    if (!file.exists() || list.empty())
        return 0;
    QSet<QString> known = StoredPaths(path);
    std::vector<QByteArray> fresh;
    for (const LibraryRecord &r : list) {
        const QByteArray bytes = r.toBytes();
        // Compare the Path as it is stored: a path longer than the field is
        // known by its stored part.
        const QString stored = LibraryRecord::pathOf(bytes);
        if (known.contains(stored))
            continue;
        known.insert(stored);
        fresh.push_back(bytes);
    }
    if (!fresh.empty())
        file.append(fresh);
    return static_cast<int>(fresh.size());
}

int RemoveRecords(const QString &path, const QStringList &rowPaths, const QString &scratchPath) {
    // Each row takes away the first record with its Path; rows sharing a Path
    // all point at that same first record.
    QSet<QString> pending(rowPaths.begin(), rowPaths.end());
    if (pending.isEmpty())
        return 0;
    if (!QFile::exists(path))
        throw Error(QStringLiteral("Cannot open file \"%1\"").arg(path));
    return libraryFile(path).removeWhere(
        [&](int, const QByteArray &bytes) { return pending.remove(LibraryRecord::pathOf(bytes)); },
        scratchPath);
}

void CreateIfMissing(const QString &path) {
    if (QFile::exists(path))
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(QStringLiteral("Cannot create file \"%1\": %2").arg(path, file.errorString()));
}

} // namespace varnelo::libraryfiles
