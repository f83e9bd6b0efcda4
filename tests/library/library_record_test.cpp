#include "common/Error.h"
#include "library/LibraryFiles.h"
#include "library_fixtures.h"

#include <QFile>

using namespace varnelo;
using namespace varnelo::test;

TEST(LibraryRecordLayout, FieldsSitAtTheirOffsetsGenreFirst) {
    const QByteArray b = track(QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Album"),
                               QStringLiteral("/m/a.mp3"), QStringLiteral("Rock"))
                             .toBytes();
    ASSERT_EQ(b.size(), 550);
    EXPECT_EQ(b.mid(0, 5), QByteArray("\x04Rock"));
    EXPECT_EQ(b.mid(11, 6), QByteArray("\x05Title"));
    EXPECT_EQ(b.mid(112, 7), QByteArray("\x06"
                                        "Artist"));
    EXPECT_EQ(b.mid(193, 6), QByteArray("\x05"
                                        "Album"));
    EXPECT_EQ(b.mid(294, 9), QByteArray("\x08/m/a.mp3"));
    // Bytes after each text carry nothing: we write zeros.
    EXPECT_EQ(b.mid(5, 6), QByteArray(6, '\0'));
    EXPECT_EQ(b.mid(303), QByteArray(550 - 303, '\0'));
}

TEST(LibraryRecordLayout, LongTextsAreCutToTheFieldWidths) {
    const LibraryRecord r =
        track(QString(150, QLatin1Char('t')), QString(90, QLatin1Char('a')), QString(120, QLatin1Char('b')),
              QString(300, QLatin1Char('p')), QStringLiteral("Progressive Rock"));
    const QByteArray b = r.toBytes();
    EXPECT_EQ(static_cast<unsigned char>(b[0]), 10);
    EXPECT_EQ(static_cast<unsigned char>(b[11]), 100);
    EXPECT_EQ(static_cast<unsigned char>(b[112]), 80);
    EXPECT_EQ(static_cast<unsigned char>(b[193]), 100);
    EXPECT_EQ(static_cast<unsigned char>(b[294]), 255);
    const LibraryRecord back = LibraryRecord::fromBytes(b);
    EXPECT_EQ(back.Genre, QStringLiteral("Progressiv"));
    EXPECT_EQ(back.Title.size(), 100);
    EXPECT_EQ(back.Path.size(), 255);
    EXPECT_EQ(back, r.stored());
    // A cut never splits a character: "Électro" + "nique" is 13 bytes in UTF-8.
    const LibraryRecord accented = track({}, {}, {}, {}, QStringLiteral("Électronique"));
    EXPECT_EQ(accented.stored().Genre, QStringLiteral("Électroni"));
}

TEST(LibraryRecordLayout, OldEightBitBytesReadAsWindows1252AndLengthBeyondFieldIsBounded) {
    QByteArray b(550, '\0');
    b[0] = 4;
    b.replace(1, 4, QByteArray("J\xE9zz"));
    b[294] = static_cast<char>(0xFF); // longer than the field: only the field counts
    const LibraryRecord r = LibraryRecord::fromBytes(b);
    EXPECT_EQ(r.Genre, QString::fromUtf8("Jézz"));
    EXPECT_EQ(r.Path.size(), 255);
}

class LibraryFilesTest : public LibraryFixture {};

TEST_F(LibraryFilesTest, AppendIfNewComparesThePathExactly) {
    const QString music = data(QStringLiteral("music.dat"));
    const LibraryRecord a =
        track(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("/m/a.mp3"));
    EXPECT_TRUE(libraryfiles::AppendIfNew(music, a));
    const QByteArray once = readBytes(music);
    EXPECT_EQ(once, a.toBytes());

    LibraryRecord sameOtherTags = a;
    sameOtherTags.Title = QStringLiteral("Other");
    EXPECT_FALSE(libraryfiles::AppendIfNew(music, sameOtherTags));
    EXPECT_EQ(readBytes(music), once);

    LibraryRecord otherCase = a;
    otherCase.Path = QStringLiteral("/m/A.mp3");
    EXPECT_TRUE(libraryfiles::AppendIfNew(music, otherCase));
    EXPECT_EQ(titles(QStringLiteral("music.dat")), (QStringList{QStringLiteral("A"), QStringLiteral("A")}));
}

TEST_F(LibraryFilesTest, BatchAppendSkipsKnownAndRepeatedPathsInOrder) {
    write(QStringLiteral("music.dat"), {track(QStringLiteral("old"), {}, {}, QStringLiteral("/m/1"))});
    const int added =
        libraryfiles::AppendIfNew(data(QStringLiteral("music.dat")),
                                  {track(QStringLiteral("dup of old"), {}, {}, QStringLiteral("/m/1")),
                                   track(QStringLiteral("two"), {}, {}, QStringLiteral("/m/2")),
                                   track(QStringLiteral("two again"), {}, {}, QStringLiteral("/m/2")),
                                   track(QStringLiteral("three"), {}, {}, QStringLiteral("/m/3"))});
    EXPECT_EQ(added, 2);
    EXPECT_EQ(titles(QStringLiteral("music.dat")),
              (QStringList{QStringLiteral("old"), QStringLiteral("two"), QStringLiteral("three")}));
}

TEST_F(LibraryFilesTest, AppendIfNewOnAMissingFileWritesNothing) {
    QFile::remove(data(QStringLiteral("music.dat")));
    EXPECT_FALSE(libraryfiles::AppendIfNew(data(QStringLiteral("music.dat")),
                                           track({}, {}, {}, QStringLiteral("/x"))));
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("music.dat"))));
}

TEST_F(LibraryFilesTest, ShortTailIsIgnoredByReadersAndAppendsStartOnARecordBoundary) {
    write(QStringLiteral("music.dat"), {track(QStringLiteral("one"), {}, {}, QStringLiteral("/1"))},
          QByteArray(100, 'z'));
    EXPECT_EQ(titles(QStringLiteral("music.dat")), QStringList{QStringLiteral("one")});
    EXPECT_TRUE(libraryfiles::AppendIfNew(data(QStringLiteral("music.dat")),
                                          track(QStringLiteral("two"), {}, {}, QStringLiteral("/2"))));
    EXPECT_EQ(titles(QStringLiteral("music.dat")),
              (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(QFile(data(QStringLiteral("music.dat"))).size(), 1100);
}

TEST_F(LibraryFilesTest, RemoveRecordsKeepsTheOthersInOrder) {
    std::vector<LibraryRecord> five;
    for (int i = 0; i < 5; ++i)
        five.push_back(track(QString::number(i), {}, {}, QStringLiteral("/m/%1").arg(i)));
    const QString music = data(QStringLiteral("music.dat"));
    write(QStringLiteral("music.dat"), five);
    EXPECT_EQ(libraryfiles::RemoveRecords(music, {QStringLiteral("/m/0")}, data(QStringLiteral("temp.dat"))),
              1);
    EXPECT_EQ(libraryfiles::RemoveRecords(music, {QStringLiteral("/m/4"), QStringLiteral("/m/2")},
                                          data(QStringLiteral("temp.dat"))),
              2);
    EXPECT_EQ(titles(QStringLiteral("music.dat")), (QStringList{QStringLiteral("1"), QStringLiteral("3")}));
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("temp.dat"))));
}

TEST_F(LibraryFilesTest, RemoveRecordsTakesOnlyTheFirstRecordOfAPath) {
    write(QStringLiteral("fav.dat"), {track(QStringLiteral("first"), {}, {}, QStringLiteral("/same")),
                                      track(QStringLiteral("other"), {}, {}, QStringLiteral("/other")),
                                      track(QStringLiteral("second"), {}, {}, QStringLiteral("/same"))});
    // Two rows with the same Path both point at the first such record.
    libraryfiles::RemoveRecords(data(QStringLiteral("fav.dat")),
                                {QStringLiteral("/same"), QStringLiteral("/same")},
                                data(QStringLiteral("temp.dat")));
    EXPECT_EQ(titles(QStringLiteral("fav.dat")),
              (QStringList{QStringLiteral("other"), QStringLiteral("second")}));
}

TEST_F(LibraryFilesTest, RemoveRecordsLeavesTheSourceAloneWhenNothingMatchesOrItCannotBeReplaced) {
    write(QStringLiteral("music.dat"), {track(QStringLiteral("a"), {}, {}, QStringLiteral("/a"))});
    const QByteArray before = readBytes(data(QStringLiteral("music.dat")));
    EXPECT_EQ(libraryfiles::RemoveRecords(data(QStringLiteral("music.dat")), {QStringLiteral("/A")},
                                          data(QStringLiteral("temp.dat"))),
              0);
    EXPECT_EQ(readBytes(data(QStringLiteral("music.dat"))), before);
    // A scratch file that cannot be created: the error is reported, the source stays.
    EXPECT_THROW(libraryfiles::RemoveRecords(data(QStringLiteral("music.dat")), {QStringLiteral("/a")},
                                             dir.filePath(QStringLiteral("no/such/folder/temp.dat"))),
                 Error);
    EXPECT_EQ(readBytes(data(QStringLiteral("music.dat"))), before);
    QFile::remove(data(QStringLiteral("music.dat")));
    EXPECT_THROW(libraryfiles::RemoveRecords(data(QStringLiteral("music.dat")), {QStringLiteral("/a")},
                                             data(QStringLiteral("temp.dat"))),
                 Error);
}
