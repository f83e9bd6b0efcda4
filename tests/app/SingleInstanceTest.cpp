#include "app/SingleInstance.h"

#include "support/Wait.h"
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {
qint64 lockedPid(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}

void startProgram(QProcess &p, const QTemporaryDir &dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(VARNELO_APP_PATH), {});
    ASSERT_TRUE(p.waitForStarted(10000));
}
} // namespace

TEST(SingleInstance, ASecondCopyEndsTheFirst) {
    QTemporaryDir dir;
    const QString lock = dir.filePath(QStringLiteral("varnelo.pid"));
    QProcess first;
    startProgram(first, dir);
    ASSERT_TRUE(test::waitUntil([&] { return lockedPid(lock) == first.processId(); }, 15000));

    QProcess second;
    startProgram(second, dir);
    ASSERT_TRUE(first.waitForFinished(15000));
    EXPECT_EQ(first.exitStatus(), QProcess::CrashExit); // ended from outside
    ASSERT_TRUE(test::waitUntil([&] { return lockedPid(lock) == second.processId(); }, 15000));
    EXPECT_EQ(second.state(), QProcess::Running);
    second.kill();
    second.waitForFinished(5000);
}

TEST(SingleInstance, AStaleLockNamingAnotherProgramIsNotEnded) {
    QTemporaryDir dir;
    const QString lock = dir.filePath(QStringLiteral("varnelo.pid"));
    QProcess sleeper;
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(sleeper.waitForStarted());
    QFile f(lock);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::number(sleeper.processId()));
    f.close();
    SingleInstance instance(lock);
    EXPECT_EQ(instance.takeOver(), 0);
    EXPECT_EQ(sleeper.state(), QProcess::Running);
    EXPECT_EQ(lockedPid(lock), QCoreApplication::applicationPid());
    instance.release();
    EXPECT_FALSE(QFile::exists(lock));
    sleeper.kill();
    sleeper.waitForFinished();
}
