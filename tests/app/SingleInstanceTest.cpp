#include "app/SingleInstance.h"

#include "support/Wait.h"
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

using namespace varnelo;

namespace {
void startProgram(QProcess &p, const QTemporaryDir &dir, const QStringList &args = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(VARNELO_APP_PATH), args);
    ASSERT_TRUE(p.waitForStarted(10000));
}
} // namespace

// The hand-off runs on its own thread, as a second process would: it blocks
// while the running copy answers from its event loop.
TEST(SingleInstance, AHandOffReachesTheRunningCopyAndNothingElseDoes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("varnelo.socket"));
    SingleInstance later(path);
    EXPECT_FALSE(later.handOff({QStringLiteral("/a.mp3")}, 500)); // nobody runs
    QFile stale(path);                                            // left by a copy that crashed
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    EXPECT_FALSE(later.handOff({}, 500));

    SingleInstance running(path);
    ASSERT_TRUE(running.listen());
    QSignalSpy handed(&running, &SingleInstance::handedOver);
    const QStringList files{QStringLiteral("/music/a b.mp3"), QStringLiteral("/odd\nname.ogg")};
    bool taken = false;
    std::thread second([&] { taken = later.handOff(files); });
    ASSERT_TRUE(test::waitUntil([&] { return handed.size() == 1; }));
    second.join();
    EXPECT_TRUE(taken);
    EXPECT_EQ(handed.at(0).at(0).toStringList(), files);

    // Anything else on the socket is dropped without a word.
    for (const QByteArray &junk : {QByteArray("hello\nend\n"), QByteArray("varnelo-open 1\n!!\nend\n"),
                                   QByteArray(SingleInstance::MessageLimit + 10, 'x')}) {
        QLocalSocket socket;
        socket.connectToServer(path);
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write(junk);
        socket.flush();
        ASSERT_TRUE(test::waitUntil([&] { return socket.state() == QLocalSocket::UnconnectedState; }));
    }
    EXPECT_EQ(handed.size(), 1);
}

TEST(SingleInstance, ASecondCopyHandsOverAndTheFirstRunsOn) {
    QTemporaryDir dir;
    QProcess first;
    startProgram(first, dir);
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(dir.filePath(QStringLiteral("varnelo.socket"))); },
                                15000));
    QProcess second;
    startProgram(second, dir, {dir.filePath(QStringLiteral("song.mp3"))});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running); // not ended: a recording would go on
    first.kill();
    first.waitForFinished(5000);
}
