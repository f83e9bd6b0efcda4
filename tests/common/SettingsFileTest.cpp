#include "common/SettingsFile.h"
#include "support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace varnelo;
using varnelo::test::readBytes;
using varnelo::test::writeBytes;

class SettingsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("temp.ini")); }
};

TEST_F(SettingsFileTest, MissingFileGivesDefaultsAndFirstWriteCreatesIt) {
    SettingsFile s(path());
    EXPECT_EQ(s.readInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 9), 9);
    EXPECT_EQ(s.readString(QStringLiteral("video"), QStringLiteral("path"), QStringLiteral("x")),
              QStringLiteral("x"));
    s.writeInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 5);
    EXPECT_FALSE(QFile::exists(path()));
    EXPECT_TRUE(s.commit());
    EXPECT_EQ(readBytes(path()), QByteArray("[mp3]\r\nbitrate=5\r\n"));
}

TEST_F(SettingsFileTest, NamesMatchWithoutCaseAndMayContainSpaces) {
    writeBytes(path(), "[Coding Method]\r\nAdd Path=/music\r\n[File Manager]\r\nX=1\r\n");
    SettingsFile s(path());
    EXPECT_EQ(s.readString(QStringLiteral("coding method"), QStringLiteral("add path"), {}),
              QStringLiteral("/music"));
    EXPECT_EQ(s.readInteger(QStringLiteral("FILE MANAGER"), QStringLiteral("x"), 0), 1);
    // A write to a key spelled differently replaces the existing line.
    s.writeString(QStringLiteral("CODING METHOD"), QStringLiteral("ADD PATH"), QStringLiteral("/other"));
    s.commit();
    EXPECT_EQ(readBytes(path()),
              QByteArray("[Coding Method]\r\nAdd Path=/other\r\n[File Manager]\r\nX=1\r\n"));
}

TEST_F(SettingsFileTest, UnknownLinesAndSectionsSurviveARewrite) {
    writeBytes(path(), "; a comment\n[own]\nthing = kept as is\nstray line\n\n[mp3]\nbitrate=3\n");
    SettingsFile s(path());
    s.writeInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 4);
    s.writeBool(QStringLiteral("own"), QStringLiteral("flag"), true);
    s.commit();
    EXPECT_EQ(readBytes(path()), QByteArray("; a comment\r\n[own]\r\nthing = kept as is\r\nstray "
                                            "line\r\nflag=1\r\n\r\n[mp3]\r\nbitrate=4\r\n"));
}

// Some editors write the byte-order mark more than once: every leading mark is
// taken away, the section after it is found at once, and a file stored and
// read again stays the same (it used to lose one mark per store).
TEST_F(SettingsFileTest, EveryLeadingByteOrderMarkIsDropped) {
    SettingsFile s;
    s.parse("\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF[mp3]\r\nbitrate=3\r\n");
    EXPECT_EQ(s.readInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 0), 3);
    EXPECT_EQ(s.toBytes(), QByteArray("[mp3]\r\nbitrate=3\r\n"));
    // Found by fuzzing: marks, then a cut one.
    s.parse("\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB-");
    SettingsFile again;
    again.parse(s.toBytes());
    EXPECT_EQ(again.toBytes(), s.toBytes());
}

TEST_F(SettingsFileTest, ReadersFallBackToTheDefaultOnValuesThatDoNotParse) {
    writeBytes(path(),
               "[a]\nn=12x\nb=7\nz=0\nt=25:99:00\nd=not a date\nok=08:05:09\nday=2026-03-04\nneg=-3\n");
    SettingsFile s(path());
    EXPECT_EQ(s.readInteger(QStringLiteral("a"), QStringLiteral("n"), 42), 42);
    EXPECT_EQ(s.readInteger(QStringLiteral("a"), QStringLiteral("neg"), 0), -3);
    EXPECT_TRUE(s.readBool(QStringLiteral("a"), QStringLiteral("b"), false)); // any non-zero number
    EXPECT_FALSE(s.readBool(QStringLiteral("a"), QStringLiteral("z"), true));
    EXPECT_TRUE(s.readBool(QStringLiteral("a"), QStringLiteral("n"), true)); // unparsable: default
    EXPECT_EQ(s.readTime(QStringLiteral("a"), QStringLiteral("t"), QTime(1, 2, 3)), QTime(1, 2, 3));
    EXPECT_EQ(s.readTime(QStringLiteral("a"), QStringLiteral("ok"), QTime()), QTime(8, 5, 9));
    EXPECT_EQ(s.readDate(QStringLiteral("a"), QStringLiteral("d"), QDate(2000, 1, 1)), QDate(2000, 1, 1));
    EXPECT_EQ(s.readDate(QStringLiteral("a"), QStringLiteral("day"), QDate()), QDate(2026, 3, 4));
}

TEST_F(SettingsFileTest, WritesRoundTripThroughACommit) {
    SettingsFile s(path());
    s.writeBool(QStringLiteral("timeclose"), QStringLiteral("bclose"), true);
    s.writeTime(QStringLiteral("Time"), QStringLiteral("Time"), QTime(23, 59, 1));
    s.writeDate(QStringLiteral("sched"), QStringLiteral("day"), QDate(2027, 12, 31));
    s.writeString(QStringLiteral("video"), QStringLiteral("path"), QStringLiteral("/home/u/Music/ü = x"));
    EXPECT_TRUE(s.commit());
    SettingsFile other(path()); // a second reader sees every write
    EXPECT_TRUE(other.readBool(QStringLiteral("timeclose"), QStringLiteral("bclose"), false));
    EXPECT_EQ(other.readTime(QStringLiteral("time"), QStringLiteral("time"), QTime()), QTime(23, 59, 1));
    EXPECT_EQ(other.readDate(QStringLiteral("sched"), QStringLiteral("day"), QDate()), QDate(2027, 12, 31));
    EXPECT_EQ(other.readString(QStringLiteral("video"), QStringLiteral("path"), {}),
              QStringLiteral("/home/u/Music/ü = x"));
    EXPECT_TRUE(readBytes(path()).contains("bclose=1\r\n"));
}

// A file that is not settings text is not read, is kept aside before anything
// is written, and the next commit starts a fresh file. Older 8-bit text is no
// damage: it reads as it was and keeps its bytes.
TEST_F(SettingsFileTest, DamagedFilesAreKeptAsideAndEightBitTextIsKept) {
    struct Case {
        const char *name;
        QByteArray bytes;
        const char *reason; // nullptr: the file is text
    };
    const Case cases[] = {
        {"byte 0", QByteArray("[video]\r\npath=/a\0b\r\n", 19), "byte 0"},
        {"control bytes", "\x01\x02ELF", "control byte"},
        {"marked UTF-8", "\xEF\xBB\xBF[video]\r\npath=C:\\M\xFCsik\r\n", "not UTF-8"},
        {"too large", "[video]\r\npath=" + QByteArray(5 << 20, 'x') + "\r\n", "larger than 4 MB"},
        {"8-bit text", "[video]\r\npath=C:\\M\xFCsik\r\n", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(path(), c.bytes);
        QFile::remove(path() + QStringLiteral(".damaged"));
        SettingsFile s;
        EXPECT_EQ(s.open(path()), c.reason == nullptr);
        s.writeInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 4);
        if (c.reason) {
            EXPECT_TRUE(s.problem().contains(path()) && s.problem().contains(QLatin1String(c.reason)))
                << s.problem().toStdString();
            EXPECT_FALSE(s.commit()); // not over the damaged file
            EXPECT_EQ(readBytes(path()), c.bytes);
            s.writeInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 4);
            ASSERT_TRUE(s.setAsideDamaged());
            EXPECT_EQ(readBytes(path() + QStringLiteral(".damaged")), c.bytes);
            EXPECT_TRUE(s.commit());
            EXPECT_EQ(readBytes(path()), QByteArray("[mp3]\r\nbitrate=4\r\n"));
        } else {
            EXPECT_EQ(s.readString(QStringLiteral("video"), QStringLiteral("path"), {}),
                      QStringLiteral("C:\\Müsik"));
            EXPECT_TRUE(s.commit());
            EXPECT_EQ(readBytes(path()), c.bytes + "[mp3]\r\nbitrate=4\r\n");
        }
    }
}

// A pipe or a device in the file's place is refused at once, without reading it.
TEST_F(SettingsFileTest, NoRegularFileIsRefusedWithoutReading) {
    ASSERT_EQ(mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    const QString link = dir.filePath(QStringLiteral("link.ini"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), link));
    for (const QString &p : {path(), link, dir.path()}) {
        SettingsFile s;
        EXPECT_FALSE(s.open(p));
        EXPECT_TRUE(s.problem().contains(QLatin1String("not a regular file"))) << s.problem().toStdString();
    }
}

void setFileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the process
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = std::min(bytes, limit.rlim_max);
    setrlimit(RLIMIT_FSIZE, &limit);
}

// A write that fails leaves the file as it was, says which file and why (once,
// to the handler) and drops the changes, so memory and file agree again.
TEST_F(SettingsFileTest, AFailedCommitLeavesTheFileAsItWas) {
    struct Case {
        const char *name;
        std::function<void(SettingsFile &)> spoil;
        const char *reason;
    };
    const QString sub = dir.filePath(QStringLiteral("sub"));
    const QString file = sub + QStringLiteral("/temp.ini");
    const Case cases[] = {
        {"disk full",
         [](SettingsFile &s) {
             s.setByteWriter([](QIODevice &out, const QByteArray &bytes, QString &reason) {
                 out.write(bytes.left(3));
                 reason = QStringLiteral("No space left on device");
                 return false;
             });
         },
         "No space left on device"},
        // The real writer meets a limit as it meets a full disk (also for the superuser).
        {"file size limit", [](SettingsFile &) { setFileSizeLimit(8); }, "too large"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(sub).removeRecursively();
        QDir().mkpath(sub);
        writeBytes(file, "[mp3]\nbitrate=3\n");
        SettingsFile s(file);
        QStringList heard;
        s.setFailureHandler([&](const QString &m) { heard << m; });
        c.spoil(s);
        s.writeInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 4);
        EXPECT_FALSE(s.commit());
        setFileSizeLimit(RLIM_INFINITY);
        EXPECT_EQ(readBytes(file), QByteArray("[mp3]\nbitrate=3\n"));
        EXPECT_EQ(QDir(sub).entryList(QDir::Files),
                  QStringList{QStringLiteral("temp.ini")}); // no temporary left
        ASSERT_EQ(heard.size(), 1);
        EXPECT_EQ(heard[0], s.lastError());
        EXPECT_TRUE(heard[0].contains(file) &&
                    heard[0].contains(QLatin1String(c.reason), Qt::CaseInsensitive));
        EXPECT_EQ(s.readInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 0), 3);
    }
}
