#include "radio/StationFile.h"
#include "common/Error.h"
#include "radio/PlaylistImport.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

StationRecord station(const QString &name, const QString &stream, const QString &home = {}) {
    StationRecord r;
    r.Name = name;
    r.Genre = QStringLiteral("Jazz");
    r.StreamUrl = stream;
    r.HomeUrl = home;
    return r;
}

// Two addresses that share their first 50 bytes and more.
const QString Prefix = QStringLiteral("http://streams.example-broadcaster.example/radio/8000/live/");
const QString LongA = Prefix + QStringLiteral("jazz-high-quality.mp3");
const QString LongB = Prefix + QStringLiteral("jazz-low-quality.aac");

class StationFileTest : public ::testing::Test {
protected:
    void SetUp() override { test::writeBytes(path(), {}); }
    QString path() const { return dir.filePath(QStringLiteral("radio.dat")); }
    QStringList addresses() const {
        QStringList out;
        for (const StationRecord &r : StationFile(path()).readAll())
            out << r.StreamUrl;
        return out;
    }
    QList<QByteArray> records() const {
        const QByteArray bytes = test::readBytes(path());
        QList<QByteArray> out;
        for (qsizetype at = 0; at + StationRecord::Size <= bytes.size(); at += StationRecord::Size)
            out << bytes.mid(at, StationRecord::Size);
        return out;
    }
    void writeRecords(const QList<QByteArray> &list) const { test::writeBytes(path(), list.join()); }

    QTemporaryDir dir;
};

} // namespace

TEST_F(StationFileTest, ALongAddressIsKeptInFullBesideTheUnchangedRecord) {
    const StationRecord r =
        station(QStringLiteral("Jazz"), LongA,
                QStringLiteral("https://www.example.org/") + QString(40, QLatin1Char('h')));
    ASSERT_FALSE(StationFile::fitsRecord(r));
    ASSERT_TRUE(StationFile(path()).append(r));
    // The record is the 234 bytes it always was, the addresses cut in it, as other readers expect.
    EXPECT_EQ(test::readBytes(path()), r.toBytes());
    EXPECT_EQ(StationRecord::fromBytes(test::readBytes(path())).StreamUrl, LongA.left(50));
    ASSERT_TRUE(QFile::exists(StationFile::companionPath(path())));
    const std::vector<StationRecord> read = StationFile(path()).readAll();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].StreamUrl, LongA);
    EXPECT_EQ(read[0].HomeUrl, r.HomeUrl);
    // Stations whose addresses fit need no companion.
    QTemporaryDir other;
    const QString plain = other.filePath(QStringLiteral("radio.dat"));
    test::writeBytes(plain, {});
    StationFile(plain).append(station(QStringLiteral("Short"), QStringLiteral("http://s/1")));
    EXPECT_FALSE(QFile::exists(StationFile::companionPath(plain)));
}

TEST_F(StationFileTest, SharedPrefixesAndEqualRecordsEachKeepTheirOwnAddress) {
    // Same name and prefix, and even records equal byte for byte.
    StationFile(path()).append({station(QStringLiteral("Jazz"), LongA),
                                station(QStringLiteral("Jazz"), LongB),
                                station(QStringLiteral("Other"), LongB)});
    EXPECT_EQ(records()[0], records()[1]);
    EXPECT_EQ(addresses(), (QStringList{LongA, LongB, LongB}));
}

TEST_F(StationFileTest, RecordsReorderedOrRemovedByOtherToolsKeepTheirAddresses) {
    const QString longC = QStringLiteral("https://") + QString(70, QLatin1Char('c'));
    StationFile(path()).append({station(QStringLiteral("A"), LongA), station(QStringLiteral("B"), LongB),
                                station(QStringLiteral("S"), QStringLiteral("http://short/")),
                                station(QStringLiteral("C"), longC)});
    const QList<QByteArray> r = records();
    writeRecords({r[3], r[2], r[1]}); // another program dropped A and turned the order round
    EXPECT_EQ(addresses(), (QStringList{longC, QStringLiteral("http://short/"), LongB}));
    // A record another program adds with the same cut address is not given a full one.
    StationRecord foreign = station(QStringLiteral("Foreign"), LongA.left(50));
    writeRecords({r[3], r[2], r[1], foreign.toBytes()});
    EXPECT_EQ(addresses().last(), LongA.left(50));
}

TEST_F(StationFileTest, RemovingRecordsKeepsTheOthersAddresses) {
    // Three records equal byte for byte: only their order tells their addresses apart.
    const QString longC = Prefix + QStringLiteral("third.ogg");
    StationFile(path()).append({station(QStringLiteral("J"), LongA), station(QStringLiteral("J"), LongB),
                                station(QStringLiteral("J"), longC)});
    const int removed =
        StationFile(path()).removeWhere([](int, const StationRecord &r) { return r.StreamUrl == LongA; },
                                        dir.filePath(QStringLiteral("temp.dat")));
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(addresses(), (QStringList{LongB, longC}));
    StationFile(path()).removeWhere([](int, const StationRecord &) { return true; },
                                    dir.filePath(QStringLiteral("temp.dat")));
    EXPECT_TRUE(addresses().isEmpty());
    EXPECT_FALSE(QFile::exists(StationFile::companionPath(path())));
}

TEST_F(StationFileTest, WhenTheFullAddressCannotBeKeptTheStationIsRefused) {
    StationFile(path()).append(station(QStringLiteral("Before"), QStringLiteral("http://before/")));
    const QByteArray before = test::readBytes(path());
    QDir().mkpath(StationFile::companionPath(path())); // the companion's name is taken by a folder
    try {
        StationFile(path()).append(station(QStringLiteral("Too Long"), LongA));
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(
            e.message().startsWith(QStringLiteral("The station \"Too Long\" was not saved: its address is "
                                                  "longer than a station record holds")))
            << e.message().toStdString();
    }
    EXPECT_EQ(test::readBytes(path()), before); // nothing cut was stored
    EXPECT_TRUE(StationFile(path()).append(station(QStringLiteral("Fits"), QStringLiteral("http://fits/"))));
}

TEST_F(StationFileTest, PlaylistImportKeepsLongAddressesAndSkipsKnownOnes) {
    const QByteArray playlist = "#EXTM3U\n#EXTINF:-1,High\n" + LongA.toUtf8() + "\n#EXTINF:-1,Low\n" +
                                LongB.toUtf8() + "\n" + LongA.toUtf8() + "\n";
    const auto stations = ReadPlaylistStations(playlist, QStringLiteral("list.m3u"));
    EXPECT_EQ(ImportStations(path(), stations), 2);
    EXPECT_EQ(ImportStations(path(), stations), 0);
    EXPECT_EQ(addresses(), (QStringList{LongA, LongB}));
}
