#include "common/RecordFile.h"
#include "common/Error.h"
#include "support/Files.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {
constexpr RecordField kField{2, 5};
QByteArray rec(char c) {
    return QByteArray(8, c);
}
} // namespace

TEST(RecordCodec, FieldIsLengthByteThenZeroFilledArea) {
    QByteArray r(8, 'x');
    records::writeField(r, kField, QStringLiteral("ab"));
    EXPECT_EQ(r, QByteArray("xx\x02"
                            "ab\0\0\0",
                            8));
    EXPECT_EQ(records::readField(r, kField), QStringLiteral("ab"));
    records::writeField(r, kField, QStringLiteral("abcdefgh"));
    EXPECT_EQ(r, QByteArray("xx\x05"
                            "abcde",
                            8));
}

TEST(RecordCodec, ReaderIgnoresBytesAfterTheLengthAndClampsABadLength) {
    QByteArray r("xx\x01"
                 "aZZZZ",
                 8);
    EXPECT_EQ(records::readField(r, kField), QStringLiteral("a"));
    r[2] = char(200); // longer than the area: read the area only
    EXPECT_EQ(records::readField(r, kField), QStringLiteral("aZZZZ"));
}

TEST(RecordFile, ReadersStopAtAShortTailAndAppendsStartOnABoundary) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.dat"));
    RecordFile file(path, 8);
    EXPECT_FALSE(file.append(rec('a'))); // only existing files grow
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_THROW(file.readAll(), Error);

    test::writeBytes(path, rec('a') + rec('b') + "tail");
    EXPECT_EQ(file.readAll().size(), 2u);
    EXPECT_TRUE(file.append(rec('c')));
    EXPECT_EQ(test::readBytes(path), rec('a') + rec('b') + rec('c'));
}

TEST(RecordFile, FilesOfSeveralReadChunksComeWholeAndInOrder) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.dat"));
    QByteArray bytes;
    for (int i = 0; i < 2 * 4096 + 3; ++i)
        bytes += QByteArray::number(i).rightJustified(8, '0');
    test::writeBytes(path, bytes + "tail");
    const auto all = RecordFile(path, 8).readAll();
    ASSERT_EQ(all.size(), 2u * 4096 + 3);
    EXPECT_EQ(all.front(), "00000000");
    EXPECT_EQ(all[4096], "00004096");
    EXPECT_EQ(all.back(), "00008194");
}

TEST(RecordFile, RemoveWhereReplacesTheFileAndLeavesNoScratch) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.dat"));
    const QString scratch = dir.filePath(QStringLiteral("temp.dat"));
    test::writeBytes(path, rec('a') + rec('b') + rec('c') + "xyz");
    RecordFile file(path, 8);
    EXPECT_EQ(file.removeWhere([](int i, const QByteArray &) { return i == 1; }, scratch), 1);
    EXPECT_EQ(test::readBytes(path), rec('a') + rec('c'));
    EXPECT_FALSE(QFile::exists(scratch));
    // Nothing selected: the file is not touched at all.
    test::writeBytes(path, rec('a') + "xyz");
    EXPECT_EQ(file.removeWhere([](int, const QByteArray &) { return false; }, scratch), 0);
    EXPECT_EQ(test::readBytes(path), rec('a') + "xyz");
    EXPECT_FALSE(QFile::exists(scratch));
}

TEST(RecordFile, AFailedRewriteKeepsTheOriginal) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.dat"));
    test::writeBytes(path, rec('a') + rec('b'));
    RecordFile file(path, 8);
    // The scratch file cannot be created in a folder that does not exist.
    EXPECT_THROW(file.removeWhere([](int, const QByteArray &) { return true; },
                                  dir.filePath(QStringLiteral("no/t.dat"))),
                 Error);
    EXPECT_EQ(test::readBytes(path), rec('a') + rec('b'));
}

TEST(RecordFile, AnAppendReplacesALinkAndLeavesItsTargetAlone) {
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("precious.txt"));
    const QString path = dir.filePath(QStringLiteral("r.dat"));
    test::writeBytes(outside, rec('a'));
    ASSERT_TRUE(QFile::link(outside, path));
    EXPECT_TRUE(RecordFile(path, 8).append(rec('b')));
    EXPECT_EQ(test::readBytes(outside), rec('a'));
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(test::readBytes(path), rec('a') + rec('b'));
}
