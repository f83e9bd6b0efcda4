// varnelo-cli killed at random moments while it writes: every data and audio
// file is afterwards the old one or the new one, never cut.
#include "support/AudioCheck.h"
#include "support/ChildProcess.h"
#include "support/DiscImage.h"
#include "support/Files.h"
#include "support/IcyServer.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <map>
#include <random>

namespace {

namespace test = varnelo::test;

const QString Cli = QStringLiteral(VARNELO_CLI_PATH);

QByteArray field(const QByteArray &text, int area) {
    return char(text.size()) + text + QByteArray(area - text.size(), '\0');
}
QByteArray station(int n) {
    const QByteArray id = QByteArray::number(n);
    return field("http://home/" + id, 50) + field("http://s/" + id, 50) + field("Jazz", 30) +
           field("Station " + id, 100);
}
QByteArray track(int n) {
    const QByteArray id = QByteArray::number(n);
    return field("Rock", 10) + field("Title " + id, 100) + field("Artist " + id, 80) + field("Album", 100) +
           field("/old/" + id + ".mp3", 255);
}
QByteArray id3v1(const QByteArray &title, const QByteArray &artist) {
    QByteArray tag = "TAG" + title.leftJustified(30, '\0') + artist.leftJustified(30, '\0') +
                     QByteArray("Album").leftJustified(30, '\0') + "2001" + QByteArray(28, '\0');
    return tag + '\0' + char(1) + char(17);
}

// The files one command changes: their bytes before it ran and after it ran to its end.
struct Outcome {
    std::map<QString, QByteArray> before;
    std::map<QString, QByteArray> after;
};

class CrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = dir.filePath(QStringLiteral("record"));
        music = dir.filePath(QStringLiteral("music"));
        QDir().mkpath(data);
        QDir().mkpath(music);
        const QString tone = dir.filePath(QStringLiteral("tone.mp3"));
        ASSERT_EQ(test::runTool(QStringLiteral("ffmpeg"),
                                {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
                                 QStringLiteral("lavfi"), QStringLiteral("-i"),
                                 QStringLiteral("sine=frequency=440:duration=20"), QStringLiteral("-b:a"),
                                 QStringLiteral("64k"), tone}),
                  0);
        const QByteArray audio = test::readBytes(tone);
        ASSERT_GT(audio.size(), 100000);
        for (int i = 0; i < 40; ++i)
            test::writeBytes(music + QStringLiteral("/t%1.mp3").arg(i),
                             audio.left(4000) +
                                 id3v1("Song " + QByteArray::number(i), "Band " + QByteArray::number(i % 7)));
        QByteArray radio, library;
        for (int i = 0; i < 300; ++i)
            radio += station(i);
        for (int i = 0; i < 300; ++i)
            library += track(i);
        baseline[file(QStringLiteral("radio.dat"))] = radio;
        baseline[file(QStringLiteral("music.dat"))] = library;
        baseline[file(QStringLiteral("tt.txt"))] = QByteArray();
        baseline[dir.filePath(QStringLiteral("song.mp3"))] = audio;
    }

    QString file(const QString &name) const { return data + QLatin1Char('/') + name; }

    void restore() {
        for (const QString &name : QDir(data).entryList(QDir::Files | QDir::Hidden))
            if (!baseline.count(file(name)))
                QFile::remove(file(name)); // temporaries left by a killed run
        for (const QString &name :
             QDir(dir.path()).entryList({QStringLiteral(".song*")}, QDir::Files | QDir::Hidden))
            QFile::remove(dir.filePath(name));
        for (const auto &[path, bytes] : baseline)
            test::writeBytes(path, bytes);
    }

    // Runs the command to its end from the baseline and notes what it changed.
    Outcome reference(const QStringList &args, const QStringList &files, qint64 *ms) {
        restore();
        Outcome o;
        for (const QString &f : files)
            o.before[f] = test::readBytes(f);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(test::runTool(Cli, args), 0) << args.join(QLatin1Char(' ')).toStdString();
        *ms = clock.elapsed();
        for (const QString &f : files) {
            o.after[f] = test::readBytes(f);
            EXPECT_NE(o.after[f], o.before[f]) << f.toStdString() << " is not changed by the command";
        }
        return o;
    }

    QTemporaryDir dir;
    QString data, music;
    std::map<QString, QByteArray> baseline;
};

TEST_F(CrashTest, KilledAtAnyMomentEveryFileIsTheOldOrTheNewOne) {
    struct Command {
        const char *name;
        QStringList args;
        QStringList files;
        Outcome outcome;
        qint64 ms = 0;
        int killed = 0, finished = 0, old = 0, fresh = 0;
    };
    std::vector<Command> commands = {
        {"stations add",
         {QStringLiteral("stations"), QStringLiteral("--data-folder"), data, QStringLiteral("add"),
          QStringLiteral("--name"), QStringLiteral("New"), QStringLiteral("--genre"), QStringLiteral("Pop"),
          QStringLiteral("--url"), QStringLiteral("http://new/")},
         {file(QStringLiteral("radio.dat"))}},
        {"scan",
         {QStringLiteral("scan"), QStringLiteral("--data-folder"), data, music},
         {file(QStringLiteral("music.dat")), file(QStringLiteral("tt.txt"))}},
        {"tags set",
         {QStringLiteral("tags"), QStringLiteral("set"), dir.filePath(QStringLiteral("song.mp3")),
          QStringLiteral("--title"), QStringLiteral("A new title for the song"), QStringLiteral("--artist"),
          QStringLiteral("Somebody")},
         {dir.filePath(QStringLiteral("song.mp3"))}},
    };
    for (Command &c : commands)
        c.outcome = reference(c.args, c.files, &c.ms);

    // A few hundred runs in the suite; more by hand with VARNELO_CRASH_RUNS.
    const int runs = qEnvironmentVariableIsSet("VARNELO_CRASH_RUNS")
                         ? qEnvironmentVariableIntValue("VARNELO_CRASH_RUNS")
                         : 240;
    std::mt19937 random(20240611);
    for (int run = 0; run < runs; ++run) {
        Command &c = commands[std::size_t(run) % commands.size()];
        restore();
        test::ChildProcess child;
        ASSERT_TRUE(child.start(Cli, c.args));
        // Anywhere from before the first write to after the last.
        QThread::usleep(
            std::uniform_int_distribution<unsigned long>(0, (unsigned long)(c.ms * 1200))(random));
        child.sendSignal(SIGKILL);
        ASSERT_TRUE(child.waitForFinished(60000));
        ++(child.exitedNormally() ? c.finished : c.killed);
        for (const QString &f : c.files) {
            const QByteArray now = test::readBytes(f);
            if (now == c.outcome.before.at(f))
                ++c.old;
            else if (now == c.outcome.after.at(f))
                ++c.fresh;
            else
                ADD_FAILURE() << c.name << " run " << run << ": " << f.toStdString() << " is cut ("
                              << now.size() << " bytes; old " << c.outcome.before.at(f).size() << ", new "
                              << c.outcome.after.at(f).size() << ")";
        }
    }
    for (const Command &c : commands)
        std::printf(
            "%s: %d runs (%d killed, %d finished); files found old %d, new %d; a full run takes %lld ms\n",
            c.name, c.killed + c.finished, c.killed, c.finished, c.old, c.fresh, (long long)c.ms);
}

// Recordings and rips killed at any moment leave in the output folder audio
// that reads or nothing, and a file that was there stays as it was.
TEST_F(CrashTest, KilledRecordingsAndRipsLeaveReadableAudioOrNothing) {
    test::IcyServer icy;
    ASSERT_TRUE(icy.start());
    test::IcyMount mount;
    mount.audio = baseline[dir.filePath(QStringLiteral("song.mp3"))];
    icy.addMount(QStringLiteral("/live"), mount);
    test::ImageSpec spec = test::highVoltage(true);
    for (auto &track : spec.tracks)
        track.sectors = 75 * 20; // long enough to be cut in the middle
    const test::DiscImage image = test::writeDiscImage(dir.path(), QStringLiteral("hv"), spec);
    const QString out = dir.filePath(QStringLiteral("out"));
    const QStringList rip{QStringLiteral("cd"),
                          QStringLiteral("rip"),
                          QStringLiteral("--device"),
                          image.sheet,
                          QStringLiteral("--out"),
                          out,
                          QStringLiteral("--accuraterip"),
                          QStringLiteral("off"),
                          QStringLiteral("--to")};
    const QStringList record{QStringLiteral("record"),    icy.url(QStringLiteral("/live")),
                             QStringLiteral("--seconds"), QStringLiteral("8"),
                             QStringLiteral("--out"),     out,
                             QStringLiteral("--to")};
    const QList<QStringList> commands{
        rip + QStringList{QStringLiteral("wav")}, rip + QStringList{QStringLiteral("mp3")},
        record + QStringList{QStringLiteral("ogg")}, record + QStringList{QStringLiteral("wma")}};
    std::mt19937 random(20261210);
    for (int run = 0; run < 16; ++run) {
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        const QString mine = out + QStringLiteral("/T.N.T..wav");
        test::writeBytes(mine, "a user's file");
        test::ChildProcess child;
        ASSERT_TRUE(child.start(Cli, commands[run % commands.size()]));
        QThread::msleep(std::uniform_int_distribution<unsigned long>(100, 5000)(random));
        child.sendSignal(SIGKILL);
        ASSERT_TRUE(child.waitForFinished(60000));
        // Hidden part files of recordings killed early are no one's audio; the next recording removes them.
        for (QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            if (path == mine)
                EXPECT_EQ(test::readBytes(path), QByteArray("a user's file")) << run;
            else if (!QStringList{QStringLiteral("log"), QStringLiteral("cue"), QStringLiteral("m3u")}
                          .contains(QFileInfo(path).suffix())) // the rip's texts beside the audio
                EXPECT_TRUE(test::probeAudio(path).ok && !test::decodeFirstChannel(path).empty())
                    << "run " << run << ": " << path.toStdString() << " does not read";
        }
    }
}

// A write cut short by the file-size limit leaves music.dat as it was, where
// an append in place left a partial record.
TEST_F(CrashTest, AScanBatchReachesMusicDatWholeOrNotAtAll) {
    restore();
    const QByteArray before = test::readBytes(file(QStringLiteral("music.dat")));
    const int code = test::runTool(QStringLiteral("prlimit"),
                                   {QStringLiteral("--fsize=%1").arg(before.size() + 10 * 550 + 100), Cli,
                                    QStringLiteral("scan"), QStringLiteral("--data-folder"), data, music});
    EXPECT_NE(code, 0); // the limit stops it part of the way
    EXPECT_EQ(test::readBytes(file(QStringLiteral("music.dat"))), before);
}

} // namespace
