#include "common/SettingsFile.h"
#include "support/Files.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    EXPECT_FALSE(QFile::exists(path()));
    EXPECT_TRUE(s.writeInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 5));
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
    EXPECT_EQ(readBytes(path()),
              QByteArray("[Coding Method]\r\nAdd Path=/other\r\n[File Manager]\r\nX=1\r\n"));
}

TEST_F(SettingsFileTest, UnknownLinesAndSectionsSurviveARewrite) {
    writeBytes(path(), "; a comment\n[own]\nthing = kept as is\nstray line\n\n[mp3]\nbitrate=3\n");
    SettingsFile s(path());
    s.writeInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 4);
    s.writeBool(QStringLiteral("own"), QStringLiteral("flag"), true);
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

TEST_F(SettingsFileTest, WritesRoundTripAndReachTheFileAtOnce) {
    SettingsFile s(path());
    s.writeBool(QStringLiteral("timeclose"), QStringLiteral("bclose"), true);
    s.writeTime(QStringLiteral("Time"), QStringLiteral("Time"), QTime(23, 59, 1));
    s.writeDate(QStringLiteral("sched"), QStringLiteral("day"), QDate(2027, 12, 31));
    s.writeString(QStringLiteral("video"), QStringLiteral("path"), QStringLiteral("/home/u/Music/ü = x"));
    SettingsFile other(path()); // a second reader sees every write
    EXPECT_TRUE(other.readBool(QStringLiteral("timeclose"), QStringLiteral("bclose"), false));
    EXPECT_EQ(other.readTime(QStringLiteral("time"), QStringLiteral("time"), QTime()), QTime(23, 59, 1));
    EXPECT_EQ(other.readDate(QStringLiteral("sched"), QStringLiteral("day"), QDate()), QDate(2027, 12, 31));
    EXPECT_EQ(other.readString(QStringLiteral("video"), QStringLiteral("path"), {}),
              QStringLiteral("/home/u/Music/ü = x"));
    EXPECT_TRUE(readBytes(path()).contains("bclose=1\r\n"));
}
