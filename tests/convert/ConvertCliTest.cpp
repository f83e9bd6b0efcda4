// varnelo-cli convert end to end, checked with ffprobe and sox.
#include "Media.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <csignal>
#include <gtest/gtest.h>

namespace varnelo {
namespace {

const QString kCli = QStringLiteral(VARNELO_CLI_PATH);

class ConvertCliTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString out = dir.filePath(QStringLiteral("out"));
    QString stdoutText, stderrText;

    int convert(const QStringList &args) {
        return test::run(kCli, QStringList{QStringLiteral("convert")} + args, &stdoutText, &stderrText);
    }
    QString settingsFile(const QString &text) {
        const QString path = dir.filePath(QStringLiteral("settings.ini"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        return path;
    }
    // A tagged 3-second 1 kHz MP3 made by lame itself.
    QString taggedMp3() {
        const QString wav = test::makeTone(dir.filePath(QStringLiteral("tone.wav")), 1000, 3, 44100, 2);
        const QString mp3 = dir.filePath(QStringLiteral("song.mp3"));
        EXPECT_EQ(
            test::run(QStringLiteral("lame"),
                      {QStringLiteral("--quiet"), QStringLiteral("--tt"), QStringLiteral("Title Ü"),
                       QStringLiteral("--ta"), QStringLiteral("Artist"), QStringLiteral("--tl"),
                       QStringLiteral("Album"), QStringLiteral("--tg"), QStringLiteral("Jazz"), wav, mp3}),
            0);
        return mp3;
    }
};

TEST_F(ConvertCliTest, EveryFormatWithTagsCarriedOver) {
    const QString source = taggedMp3();
    for (const char *to : {"mp3", "wav", "wma", "ogg", "flac", "opus"}) {
        SCOPED_TRACE(to);
        ASSERT_EQ(convert({QStringLiteral("--to"), QString::fromLatin1(to), QStringLiteral("--out"), out,
                           QStringLiteral("--settings"), settingsFile({}), source}),
                  0)
            << stderrText.toStdString();
        const QString result = QDir(out).filePath(QStringLiteral("N_song.") + QString::fromLatin1(to));
        EXPECT_EQ(stdoutText.trimmed(), QDir::toNativeSeparators(result));
        const test::AudioFacts p = test::probeAudio(result);
        ASSERT_TRUE(p.ok);
        // One MP3 frame (1152 samples) of padding at most, plus the decoder's delay.
        EXPECT_NEAR(p.seconds, 3.0, 0.06);
        EXPECT_EQ(p.title, QStringLiteral("Title Ü"));
        EXPECT_EQ(p.artist, QStringLiteral("Artist"));
        EXPECT_EQ(p.album, QStringLiteral("Album"));
        EXPECT_EQ(p.genre, QStringLiteral("Jazz"));
        EXPECT_NEAR(test::measuredFrequency(result), 1000, 20);
    }
    EXPECT_EQ(test::probeAudio(QDir(out).filePath(QStringLiteral("N_song.wma"))).codec,
              QStringLiteral("wmav2"));
    EXPECT_EQ(test::probeAudio(QDir(out).filePath(QStringLiteral("N_song.ogg"))).codec,
              QStringLiteral("vorbis"));
    EXPECT_EQ(test::probeAudio(QDir(out).filePath(QStringLiteral("N_song.opus"))).codec,
              QStringLiteral("opus"));
    // Converting to the source's own format never touches the source.
    EXPECT_TRUE(QFileInfo::exists(source));
    EXPECT_NE(QFileInfo(source).size(), QFileInfo(QDir(out).filePath(QStringLiteral("N_song.mp3"))).size());
}

TEST_F(ConvertCliTest, SettingsFileDecidesTheFormat) {
    const QString a = test::makeTone(dir.filePath(QStringLiteral("a.wav")), 440, 1, 44100, 2);
    const QString b = test::makeTone(dir.filePath(QStringLiteral("b.flac")), 440, 1, 48000, 1);
    const QString ini =
        settingsFile(QStringLiteral("[wav]\nmode=2\nfrequency=4\nchannel=0\nbit=4\n[video]\npath=") + out +
                     QStringLiteral("\n"));
    ASSERT_EQ(convert({QStringLiteral("--to"), QStringLiteral("wav"), QStringLiteral("--settings"), ini,
                       QStringLiteral("--jobs"), QStringLiteral("2"), a, b}),
              0)
        << stderrText.toStdString();
    for (const char *name : {"N_a.wav", "N_b.wav"}) {
        const test::AudioFacts p = test::probeAudio(QDir(out).filePath(QString::fromLatin1(name)));
        EXPECT_EQ(p.codec, QStringLiteral("pcm_u8")) << name;
        EXPECT_EQ(p.sampleRate, 16000) << name;
        EXPECT_EQ(p.channels, 1) << name;
        EXPECT_NEAR(p.seconds, 1.0, 0.001) << name;
    }
}

TEST_F(ConvertCliTest, FailuresAreReportedPerFile) {
    const QString good = test::makeTone(dir.filePath(QStringLiteral("good.wav")), 440, 1, 44100, 2);
    const QString garbage = dir.filePath(QStringLiteral("garbage.mp3"));
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, 'x'));
    f.close();
    const QString missing = dir.filePath(QStringLiteral("missing.ogg"));
    // A WMA whose header is whole and whose packets are zeros: no audio decodes.
    const QString silent = dir.filePath(QStringLiteral("silent.wma"));
    ASSERT_EQ(test::run(QStringLiteral("ffmpeg"),
                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                         QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=duration=2"),
                         QStringLiteral("-c:a"), QStringLiteral("wmav2"), silent}),
              0);
    QFile wma(silent);
    ASSERT_TRUE(wma.open(QIODevice::ReadWrite));
    QByteArray bytes = wma.readAll();
    // After the header object (its size at offset 16) and the data object's own 50-byte header.
    const qsizetype packets = qsizetype(qFromLittleEndian<quint32>(bytes.constData() + 16)) + 50;
    ASSERT_LT(packets, bytes.size());
    bytes.replace(packets, bytes.size() - packets, QByteArray(bytes.size() - packets, '\0'));
    wma.seek(0);
    wma.write(bytes);
    wma.close();
    QDir().mkdir(dir.filePath(QStringLiteral("other")));
    const QString twin = test::makeTone(dir.filePath(QStringLiteral("other/good.flac")), 440, 1, 44100, 2);
    EXPECT_EQ(convert({QStringLiteral("--to"), QStringLiteral("ogg"), QStringLiteral("--out"), out,
                       QStringLiteral("--settings"), settingsFile({}), good, garbage, missing, silent, twin}),
              1);
    EXPECT_FALSE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("N_silent.ogg"))));
    EXPECT_TRUE(stderrText.contains(silent)) << stderrText.toStdString();
    EXPECT_TRUE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("N_good.ogg"))));
    EXPECT_FALSE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("N_garbage.ogg"))));
    EXPECT_FALSE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("N_missing.ogg"))));
    EXPECT_TRUE(stderrText.contains(garbage)) << stderrText.toStdString();
    EXPECT_TRUE(stderrText.contains(missing));
    // Two sources with one output name: the second is refused, not written over the first.
    EXPECT_TRUE(stderrText.contains(twin));
    EXPECT_EQ(stdoutText.trimmed(),
              QDir::toNativeSeparators(QDir(out).filePath(QStringLiteral("N_good.ogg"))));
}

// On one core, and as a parallel MP3 whose segments under way are dropped.
TEST_F(ConvertCliTest, InterruptOrTerminationLeavesNoCutFileBehind) {
    const QString source = test::makeTone(dir.filePath(QStringLiteral("long.wav")), 440, 600, 44100, 2);
    const QString result = QDir(out).filePath(QStringLiteral("N_long.mp3"));
    for (const auto &[signal, jobs] : {std::pair{SIGINT, "1"}, std::pair{SIGTERM, "2"}}) {
        QProcess cli;
        cli.start(kCli, {QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("mp3"),
                         QStringLiteral("--jobs"), QLatin1String(jobs), QStringLiteral("--out"), out,
                         QStringLiteral("--settings"), settingsFile({}), source});
        ASSERT_TRUE(cli.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(result) && cli.state() == QProcess::Running && waited.elapsed() < 20000)
            QThread::msleep(20);
        if (cli.state() != QProcess::Running)
            GTEST_SKIP() << "finished before it could be interrupted";
        ::kill(static_cast<pid_t>(cli.processId()), signal);
        ASSERT_TRUE(cli.waitForFinished(30000));
        if (cli.exitCode() == 0)
            GTEST_SKIP() << "finished before the interrupt arrived";
        EXPECT_EQ(cli.exitCode(), 1);
        EXPECT_TRUE(QString::fromUtf8(cli.readAllStandardError()).contains(QStringLiteral("interrupted")));
        EXPECT_FALSE(QFileInfo::exists(result));
    }
}

// --jobs 1 writes what lame writes with the same settings; --jobs 2 encodes one
// long file in segments on both cores, and it still decodes to the source's length.
TEST_F(ConvertCliTest, OneFileOnOneCoreIsLamesOutputAndOnTwoKeepsItsLength) {
    const QString source = test::makeTone(dir.filePath(QStringLiteral("long.wav")), 440, 60, 44100, 2);
    const QString lame = dir.filePath(QStringLiteral("lame.mp3"));
    ASSERT_EQ(
        test::run(QStringLiteral("lame"),
                  QStringList{QStringLiteral("--quiet"), QStringLiteral("--noreplaygain")} +
                      QStringLiteral("-b 128 -q 5 -m s --lowpass -1 --highpass -1").split(QLatin1Char(' ')) +
                      QStringList{source, lame}),
        0);
    const QString ini = settingsFile(QStringLiteral("[mp3]\nbitrate=9\nchannel=1\nfrequency=7\nquality=5\n"));
    const QString result = QDir(out).filePath(QStringLiteral("N_long.mp3"));
    for (const char *jobs : {"1", "2"}) {
        SCOPED_TRACE(jobs);
        ASSERT_EQ(convert({QStringLiteral("--to"), QStringLiteral("mp3"), QStringLiteral("--jobs"),
                           QString::fromLatin1(jobs), QStringLiteral("--settings"), ini,
                           QStringLiteral("--out"), out, source}),
                  0)
            << stderrText.toStdString();
        QFile ours(result), theirs(lame);
        ASSERT_TRUE(ours.open(QIODevice::ReadOnly) && theirs.open(QIODevice::ReadOnly));
        EXPECT_EQ(ours.readAll() == theirs.readAll(), jobs[0] == '1');
        QProcess decoder;
        decoder.start(QStringLiteral("ffmpeg"),
                      QStringLiteral("-v error -i %1 -f s16le -").arg(result).split(QLatin1Char(' ')));
        ASSERT_TRUE(decoder.waitForFinished(60000));
        EXPECT_EQ(decoder.readAllStandardOutput().size(), 60 * 44100 * 4);
    }
}

TEST_F(ConvertCliTest, UsageErrors) {
    EXPECT_EQ(convert({QStringLiteral("--to"), QStringLiteral("aiff"), QStringLiteral("x.wav")}), 2);
    EXPECT_TRUE(stderrText.contains(QStringLiteral("usage")));
    EXPECT_EQ(convert({QStringLiteral("--to"), QStringLiteral("mp3")}), 2);
    EXPECT_EQ(convert({QStringLiteral("--to"), QStringLiteral("mp3"), QStringLiteral("--replaygain"),
                       QStringLiteral("loud"), QStringLiteral("x.wav")}),
              2);
    EXPECT_EQ(convert({QStringLiteral("--to"), QStringLiteral("mp3"), QStringLiteral("--jobs"),
                       QStringLiteral("0"), QStringLiteral("x.wav")}),
              2);
    EXPECT_EQ(convert({QStringLiteral("--to"), QStringLiteral("mp3"), QStringLiteral("--settings"),
                       dir.filePath(QStringLiteral("nope.ini")), QStringLiteral("x.wav")}),
              2);
}

} // namespace
} // namespace varnelo
