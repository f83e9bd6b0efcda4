#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace varnelo {

SingleInstance::SingleInstance(QString lockPath) : path_(std::move(lockPath)) {
    if (path_.isEmpty()) {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (folder.isEmpty())
            folder = QDir::tempPath();
        path_ = folder + QStringLiteral("/varnelo.pid");
    }
}

bool SingleInstance::isVarneloProcess(qint64 pid) {
    if (pid <= 0 || pid == QCoreApplication::applicationPid())
        return false;
    // The executable's name, as the kernel knows it.
    const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    return QFileInfo(exe).fileName() == QLatin1String("varnelo");
}

qint64 SingleInstance::takeOver() {
    qint64 ended = 0;
    QFile old(path_);
    if (old.open(QIODevice::ReadOnly)) {
        const qint64 pid = old.readAll().trimmed().toLongLong();
        if (isVarneloProcess(pid) && ::kill(static_cast<pid_t>(pid), SIGKILL) == 0)
            ended = pid;
    }
    QSaveFile lock(path_);
    if (lock.open(QIODevice::WriteOnly)) {
        lock.write(QByteArray::number(QCoreApplication::applicationPid()));
        lock.commit();
    }
    return ended;
}

void SingleInstance::release() {
    QFile lock(path_);
    if (lock.open(QIODevice::ReadOnly) &&
        lock.readAll().trimmed().toLongLong() == QCoreApplication::applicationPid())
        QFile::remove(path_);
}

} // namespace varnelo
