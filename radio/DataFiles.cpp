#include "radio/DataFiles.h"

#include <QFile>

namespace varnelo {

QStringList StartupDataFiles() {
    return {QStringLiteral("radio.dat"), QStringLiteral("history.dat"), QStringLiteral("favorites.dat"),
            QStringLiteral("tp.dat"),    QStringLiteral("tt.txt"),      QStringLiteral("treetext.txt"),
            QStringLiteral("music.dat")};
}

QStringList CreateMissingDataFiles(const DataFolder &folder) {
    folder.create();
    QStringList created;
    for (const QString &name : StartupDataFiles()) {
        const QString path = folder.file(name);
        if (QFile::exists(path))
            continue;
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            created.append(name);
    }
    return created;
}

} // namespace varnelo
