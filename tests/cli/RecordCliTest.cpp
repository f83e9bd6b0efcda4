// varnelo-cli record end to end against the test server.
#include "support/AudioCheck.h"
#include "support/ChildProcess.h"
#include "support/IcyServer.h"
#include "support/Wait.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace varnelo::test {
namespace {

const QByteArray &tone440() {
    static QTemporaryDir dir;
    static const QByteArray audio = makeTone({ToneFormat::Mp3, 440, 6.0}, dir.path());
    return audio;
}

class RecordCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(tone440().isEmpty());
        ASSERT_TRUE(server.start());
        IcyMount mount;
        mount.audio = tone440();
        mount.headers = {"icy-name:Radio X", "icy-genre:Jazz"};
        mount.metadata = {streamTitle(QStringLiteral("Artist - Song"))};
        server.addMount(QStringLiteral("/live"), mount);
    }
    // Runs the command to its end; the lines it printed on stdout.
    QStringList run(const QStringList &args) {
        ChildProcess cli;
        EXPECT_TRUE(cli.start(QStringLiteral(VARNELO_CLI_PATH), QStringList{QStringLiteral("record")} + args,
                              dir.path()));
        EXPECT_TRUE(cli.waitForFinished(60000));
        exitCode = cli.exitedNormally() ? cli.exitCode() : -1;
        errors = QString::fromUtf8(cli.standardError());
        return QString::fromUtf8(cli.standardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString out() const { return dir.filePath(QStringLiteral("out")); }

    IcyServer server;
    QTemporaryDir dir;
    int exitCode = -1;
    QString errors;
};

TEST_F(RecordCli, RecordsForTheGivenSecondsAndPrintsEachFinishedFile) {
    // No sound server is needed to record a stream, and none is asked for: not
    // a word on stderr where there is none.
    const QByteArray server0 = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:/nonexistent/native");
    const QStringList lines = run({server.url(QStringLiteral("/live")), QStringLiteral("--seconds"),
                                   QStringLiteral("3"), QStringLiteral("--out"), out()});
    server0.isNull() ? qunsetenv("PULSE_SERVER") : qputenv("PULSE_SERVER", server0);
    EXPECT_EQ(exitCode, 0) << errors.toStdString();
    EXPECT_EQ(errors.toStdString(), "");
    const QString path = QDir(out()).filePath(QStringLiteral("Artist - Song.mp3"));
    EXPECT_EQ(lines, QStringList{QStringLiteral("file: ") + path});
    const AudioFacts facts = probeAudio(path);
    EXPECT_EQ(facts.codec, QStringLiteral("mp3"));
    EXPECT_NEAR(facts.seconds, 3.0, 0.5);
    EXPECT_EQ(facts.title, QStringLiteral("Artist - Song"));
    EXPECT_EQ(facts.genre, QStringLiteral("Jazz"));
    EXPECT_NEAR(frequencyAt(decodeFirstChannel(path), 0.5, 1.5), 440.0, 2.0);

    // The same again never overwrites; by genre, as WAV.
    run({server.url(QStringLiteral("/live")), QStringLiteral("--seconds"), QStringLiteral("1"),
         QStringLiteral("--out"), out()});
    EXPECT_TRUE(QFileInfo::exists(QDir(out()).filePath(QStringLiteral("Artist - Song (2).mp3"))));
    const QStringList wav =
        run({server.url(QStringLiteral("/live")), QStringLiteral("--seconds"), QStringLiteral("1"),
             QStringLiteral("--out"), out(), QStringLiteral("--name"), QStringLiteral("genre"),
             QStringLiteral("--to"), QStringLiteral("wav")});
    EXPECT_EQ(wav, QStringList{QStringLiteral("file: ") + QDir(out()).filePath(QStringLiteral("Jazz.wav"))});
    EXPECT_EQ(probeAudio(QDir(out()).filePath(QStringLiteral("Jazz.wav"))).codec,
              QStringLiteral("pcm_s16le"));
}

TEST_F(RecordCli, ControlCClosesTheLastFileProperly) {
    ChildProcess cli;
    ASSERT_TRUE(cli.start(QStringLiteral(VARNELO_CLI_PATH),
                          {QStringLiteral("record"), server.url(QStringLiteral("/live")),
                           QStringLiteral("--out"), out(), QStringLiteral("--as-broadcast")},
                          dir.path()));
    const QString path = QDir(out()).filePath(QStringLiteral("Artist - Song.mp3"));
    ASSERT_TRUE(waitUntil(
        [&] {
            cli.poll(10);
            return QFileInfo(path).size() > 24000;
        },
        30000));
    cli.sendSignal(SIGINT);
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_TRUE(cli.exitedNormally());
    EXPECT_EQ(cli.exitCode(), 0) << cli.standardError().constData();
    EXPECT_EQ(QString::fromUtf8(cli.standardOutput()).trimmed(), QStringLiteral("file: ") + path);
    const AudioFacts facts = probeAudio(path);
    EXPECT_EQ(facts.title, QStringLiteral("Artist - Song"));
    EXPECT_GT(facts.seconds, 1.0);
}

TEST_F(RecordCli, KilledAfterAFewSecondsTheFileHoldsWhatWasRecorded) {
    for (const QString format : {QStringLiteral("wma"), QStringLiteral("ogg")}) {
        ChildProcess cli;
        ASSERT_TRUE(cli.start(QStringLiteral(VARNELO_CLI_PATH),
                              {QStringLiteral("record"), server.url(QStringLiteral("/live")),
                               QStringLiteral("--out"), out(), QStringLiteral("--to"), format},
                              dir.path()));
        const QString path = QDir(out()).filePath(QStringLiteral("Artist - Song.") + format);
        // Data reaches the disk within a second or two, not after hundreds of kilobytes.
        EXPECT_TRUE(waitUntil([&] { return QFileInfo(path).size() > 8000; }, 5000)) << format.toStdString();
        cli.sendSignal(SIGKILL);
        ASSERT_TRUE(cli.waitForFinished(30000));
        // Its header lacks the length only the end writes, but the audio decodes.
        EXPECT_GT(decodeFirstChannel(path).size(), 0u) << format.toStdString();
    }
}

TEST_F(RecordCli, ATitleEverySixteenBytesGivesAFewFilesAndSecondsStillEnds) {
    IcyMount flood;
    flood.audio = tone440();
    flood.metaint = 16;
    for (qint64 at = 0; at < flood.audio.size(); at += 16)
        flood.metadataAt.append({at, streamTitle(QString(4000, QLatin1Char((at / 16) % 2 ? 'a' : 'b')))});
    server.addMount(QStringLiteral("/flood"), flood);
    for (const QString mode : {QStringLiteral("--split-by-title"), QStringLiteral("--as-broadcast")}) {
        QDir(out()).removeRecursively();
        ChildProcess cli;
        ASSERT_TRUE(cli.start(QStringLiteral(VARNELO_CLI_PATH),
                              {QStringLiteral("record"), server.url(QStringLiteral("/flood")),
                               QStringLiteral("--split-by-title"), mode, QStringLiteral("--seconds"),
                               QStringLiteral("3"), QStringLiteral("--out"), out()},
                              dir.path()));
        ASSERT_TRUE(cli.waitForFinished(20000)) << mode.toStdString();
        EXPECT_TRUE(cli.exitedNormally());
        EXPECT_LE(QDir(out()).entryList(QDir::Files).size(), 3) << mode.toStdString();
    }
}

TEST_F(RecordCli, AStationThatCannotBeReachedOrBadArgumentsAreSaidSo) {
    QStringList lines = run({server.url(QStringLiteral("/nowhere")), QStringLiteral("--out"), out()});
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(lines.isEmpty());
    EXPECT_TRUE(errors.startsWith(QStringLiteral("varnelo-cli record: The server answered 404")))
        << errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out()));

    struct Bad {
        QStringList args;
        QString named;
    };
    const Bad bad[] = {
        {{}, QStringLiteral("no station address")},
        {{QStringLiteral("http://x"), QStringLiteral("--to"), QStringLiteral("aiff")},
         QStringLiteral("aiff")},
        {{QStringLiteral("http://x"), QStringLiteral("--seconds"), QStringLiteral("soon")},
         QStringLiteral("soon")},
        {{QStringLiteral("http://x"), QStringLiteral("--name"), QStringLiteral("artist")},
         QStringLiteral("artist")},
        {{QStringLiteral("http://x"), QStringLiteral("--loud")}, QStringLiteral("loud")},
        {{QStringLiteral("http://x"), QStringLiteral("--settings"), QStringLiteral("none.ini")},
         QStringLiteral("none.ini")},
    };
    for (const Bad &b : bad) {
        run(b.args);
        EXPECT_EQ(exitCode, 2) << b.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(errors.contains(b.named)) << errors.toStdString();
    }
}

} // namespace
} // namespace varnelo::test
