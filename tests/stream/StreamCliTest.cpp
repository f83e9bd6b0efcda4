// varnelo-cli stream end to end against the test server.
#include "StreamTestUtil.h"

#include "support/ChildProcess.h"

#include <csignal>
#include <gtest/gtest.h>

namespace varnelo::streamtest {
namespace {

const QString FailureText =
    QStringLiteral("Cann't find server or the address is wrong. Please try again later");

class StreamCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }

    QStringList run(const QStringList &args, int *exitCode, QString *errors) {
        test::ChildProcess cli;
        EXPECT_TRUE(
            cli.start(QStringLiteral(VARNELO_CLI_PATH), QStringList{QStringLiteral("stream")} + args));
        EXPECT_TRUE(cli.waitForFinished(WaitMs));
        *exitCode = cli.exitedNormally() ? cli.exitCode() : -1;
        *errors = QString::fromUtf8(cli.standardError());
        return QString::fromUtf8(cli.standardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    IcyServer server;
};

TEST_F(StreamCli, PrintsTheStationAsTheHeadersGiveItThenEachTitle) {
    IcyMount mount = mp3Mount();
    mount.metaint = 4000;
    mount.headers = {"icy-name: Radio X", "Icy-Genre:Jazz", "icy-genre:Bebop",
                     "icy-url:http://radio.example/"};
    mount.metadata = {test::streamTitle(QStringLiteral("One")),
                      test::streamTitle(QStringLiteral("Two; Three"))};
    mount.metadataIntervalMs = 1500;
    server.addMount(QStringLiteral("/live"), mount);

    int exitCode = 0;
    QString errors;
    const QStringList lines = run({server.url(QStringLiteral("/live")), QStringLiteral("--seconds"),
                                   QStringLiteral("4"), QStringLiteral("--silent")},
                                  &exitCode, &errors);
    EXPECT_EQ(exitCode, 0) << errors.toStdString();
    ASSERT_GE(lines.size(), 5) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("name:  Radio X"));
    EXPECT_EQ(lines[1], QStringLiteral("genre: Bebop"));
    EXPECT_EQ(lines[2], QStringLiteral("url: http://radio.example/"));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("title: ")));
    // "Two; Three" is cut at the ";" and loses the character before it.
    EXPECT_EQ(lines.last(), QStringLiteral("title: Tw"));
    EXPECT_TRUE(lines.contains(QStringLiteral("title: One")));
}

TEST_F(StreamCli, AStreamWithoutHeadersOrMetadataPrintsEmptyValues) {
    IcyMount mount = mp3Mount();
    mount.metaint = 0;
    mount.statusLine = "HTTP/1.0 200 OK";
    server.addMount(QStringLiteral("/bare"), mount);
    int exitCode = 0;
    QString errors;
    const QStringList lines = run({server.url(QStringLiteral("/bare")), QStringLiteral("--seconds"),
                                   QStringLiteral("1"), QStringLiteral("--silent")},
                                  &exitCode, &errors);
    EXPECT_EQ(exitCode, 0) << errors.toStdString();
    EXPECT_EQ(lines, (QStringList{QStringLiteral("name: "), QStringLiteral("genre: "),
                                  QStringLiteral("url: "), QStringLiteral("title: ")}));
}

TEST_F(StreamCli, AFailedConnectionPrintsTheFailureTextAndExitsOne) {
    int exitCode = 0;
    QString errors;
    const QStringList lines =
        run({server.url(QStringLiteral("/nowhere")), QStringLiteral("--silent")}, &exitCode, &errors);
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(lines.isEmpty());
    EXPECT_TRUE(errors.startsWith(FailureText + QLatin1Char('\n'))) << errors.toStdString();

    run({}, &exitCode, &errors);
    EXPECT_EQ(exitCode, 2);
    run({server.url(QStringLiteral("/x")), QStringLiteral("--seconds"), QStringLiteral("soon")}, &exitCode,
        &errors);
    EXPECT_EQ(exitCode, 2);
}

TEST_F(StreamCli, InterruptStopsCleanly) {
    server.addMount(QStringLiteral("/live"), mp3Mount());
    test::ChildProcess cli;
    ASSERT_TRUE(cli.start(
        QStringLiteral(VARNELO_CLI_PATH),
        {QStringLiteral("stream"), server.url(QStringLiteral("/live")), QStringLiteral("--silent")}));
    ASSERT_TRUE(waitFor([&] {
        cli.poll(10);
        return cli.standardOutput().contains("title: ");
    }));
    cli.sendSignal(SIGINT);
    ASSERT_TRUE(cli.waitForFinished(WaitMs));
    EXPECT_TRUE(cli.exitedNormally());
    EXPECT_EQ(cli.exitCode(), 0) << cli.standardError().constData();
    EXPECT_TRUE(waitFor([&] { return server.openConnections() == 0; }));
}

} // namespace
} // namespace varnelo::streamtest
