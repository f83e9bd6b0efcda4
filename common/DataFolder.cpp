#include "common/DataFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace varnelo {

DataFolder::DataFolder(const QString &folder) : path_(QDir::cleanPath(folder)) {
    if (!path_.endsWith(QLatin1Char('/')))
        path_ += QLatin1Char('/');
}

DataFolder DataFolder::besideExecutable() {
    return DataFolder(QCoreApplication::applicationDirPath() + QStringLiteral("/record"));
}

void DataFolder::create() const {
    QDir().mkpath(path_);
}

} // namespace varnelo
