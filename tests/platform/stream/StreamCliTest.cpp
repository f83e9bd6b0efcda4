// varnelo-cli stream end to end against the test server.
#include "StreamTestUtil.h"

#include "support/ChildProcess.h"
#include "support/SilentListener.h"

#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>

namespace varnelo::streamtest {
namespace {

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
    EXPECT_EQ(lines[0], QStringLiteral("name: Radio X"));
    EXPECT_EQ(lines[1], QStringLiteral("genre: Bebop"));
    EXPECT_EQ(lines[2], QStringLiteral("url: http://radio.example/"));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("title: ")));
    // A ";" inside the quotes stays part of the title.
    EXPECT_EQ(lines.last(), QStringLiteral("title: Two; Three"));
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

TEST_F(StreamCli, AFailedConnectionSaysWhatHappenedAndExitsOne) {
    // A server that cannot be reached gets the old text; one that answers
    // with something else is named for what it did.
    QString closed;
    {
        IcyServer gone;
        ASSERT_TRUE(gone.start());
        closed = gone.url(QStringLiteral("/x"));
    }
    server.addFile(QStringLiteral("/page"), "text/html", "<html><body>Please log in first</body></html>");
    const std::pair<QString, QString> cases[] = {
        {closed, QStringLiteral("varnelo-cli stream: Connection refused by 127.0.0.1:")},
        {server.url(QStringLiteral("/nowhere")),
         QStringLiteral("varnelo-cli stream: The server answered 404")},
        {server.url(QStringLiteral("/page")),
         QStringLiteral("varnelo-cli stream: No audio in the answer (text/html) (error code 41)")},
    };
    int exitCode = 0;
    QString errors;
    for (const auto &[url, opening] : cases) {
        const QStringList lines = run({url, QStringLiteral("--silent")}, &exitCode, &errors);
        EXPECT_EQ(exitCode, 1);
        EXPECT_TRUE(lines.isEmpty());
        EXPECT_TRUE(errors.startsWith(opening)) << errors.toStdString();
    }

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

// --seconds counts from the start, connect included, and an interrupt or a
// termination ends a connect that would otherwise wait its full time.
TEST_F(StreamCli, SecondsCountFromTheStartAndSignalsEndAConnect) {
    test::SilentListener silent;
    ASSERT_TRUE(silent.listening());
    QByteArray playlist = "[playlist]\n";
    for (int i = 1; i <= 16; ++i)
        playlist +=
            "File" + QByteArray::number(i) + "=" + silent.url(QStringLiteral("/%1").arg(i)).toUtf8() + "\n";
    server.addFile(QStringLiteral("/dead.pls"), "audio/x-scpls", playlist);
    const QString url = server.url(QStringLiteral("/dead.pls"));

    QElapsedTimer clock;
    clock.start();
    int exitCode = 0;
    QString errors;
    run({url, QStringLiteral("--seconds"), QStringLiteral("2"), QStringLiteral("--silent")}, &exitCode,
        &errors);
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("no audio within 2 seconds"))) << errors.toStdString();

    for (const int signal : {SIGINT, SIGTERM}) {
        const int before = server.connections(QStringLiteral("/dead.pls"));
        test::ChildProcess cli;
        ASSERT_TRUE(cli.start(QStringLiteral(VARNELO_CLI_PATH),
                              {QStringLiteral("stream"), url, QStringLiteral("--silent")}));
        ASSERT_TRUE(waitFor([&] { return server.connections(QStringLiteral("/dead.pls")) > before; }));
        cli.sendSignal(signal);
        clock.restart();
        ASSERT_TRUE(cli.waitForFinished(WaitMs));
        EXPECT_LT(clock.elapsed(), 5000) << signal;
        EXPECT_TRUE(cli.exitedNormally()) << signal;
        EXPECT_EQ(cli.exitCode(), 1);
        EXPECT_TRUE(cli.standardError().contains("interrupted while connecting"))
            << cli.standardError().constData();
    }
}

// What a server sends reaches the terminal with its control characters escaped.
TEST_F(StreamCli, ServerTextReachesTheTerminalEscaped) {
    IcyMount mount = mp3Mount();
    mount.headers = {"icy-name:Clear\x1b[2JScreen", "icy-genre:Bell\x07", "icy-url:http://x/\x08over"};
    mount.metadata = {"StreamTitle='Tit\x1b]0;le\r';"};
    server.addMount(QStringLiteral("/evil"), mount);
    int exitCode = 0;
    QString errors;
    const QStringList lines = run({server.url(QStringLiteral("/evil")), QStringLiteral("--seconds"),
                                   QStringLiteral("2"), QStringLiteral("--silent")},
                                  &exitCode, &errors);
    EXPECT_EQ(exitCode, 0) << errors.toStdString();
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("name: Clear\\x1B[2JScreen"));
    EXPECT_EQ(lines[1], QStringLiteral("genre: Bell\\x07"));
    EXPECT_EQ(lines[2], QStringLiteral("url: http://x/\\x08over"));
    EXPECT_TRUE(lines.contains(QStringLiteral("title: Tit\\x1B]0;le\\x0D")))
        << lines.join(QLatin1Char('|')).toStdString();

    // A station name stored with them is listed the same way.
    QTemporaryDir data;
    const QString name = QStringLiteral("Bad\x1b[2J\x07Name");
    ASSERT_EQ(test::runTool(QStringLiteral(VARNELO_CLI_PATH),
                            {QStringLiteral("stations"), QStringLiteral("--data-folder"), data.path(),
                             QStringLiteral("add"), QStringLiteral("--name"), name, QStringLiteral("--url"),
                             QStringLiteral("http://x/1"), QStringLiteral("--genre"), QStringLiteral("G")}),
              0);
    test::ChildProcess list;
    ASSERT_TRUE(list.start(
        QStringLiteral(VARNELO_CLI_PATH),
        {QStringLiteral("stations"), QStringLiteral("--data-folder"), data.path(), QStringLiteral("list")}));
    ASSERT_TRUE(list.waitForFinished(WaitMs));
    EXPECT_EQ(list.standardOutput(), QByteArray("Bad\\x1B[2J\\x07Name\tG\thttp://x/1\t\n"));
}

} // namespace
} // namespace varnelo::streamtest
