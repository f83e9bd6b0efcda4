#include "platform/tags/tags_fixtures.h"

#include "platform/tags/AsfHeaderParser.h"
#include "platform/tags/TrackTagReaders.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUuid>
#include <QtEndian>

#include <cstring>

#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::testing;

namespace {

QByteArray le16(quint16 v) {
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray le64(quint64 v) {
    QByteArray b(8, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray utf16le(const QString &s) {
    QByteArray b;
    for (QChar c : s)
        b += le16(c.unicode());
    return b;
}
QByteArray guid(const char *text) {
    const QUuid id(QLatin1String{text});
    QByteArray b(16, '\0');
    qToLittleEndian(id.data1, b.data());
    qToLittleEndian(id.data2, b.data() + 4);
    qToLittleEndian(id.data3, b.data() + 6);
    std::memcpy(b.data() + 8, id.data4, 8);
    return b;
}
QByteArray object(const char *id, const QByteArray &payload) {
    return guid(id) + le64(24 + static_cast<quint64>(payload.size())) + payload;
}

const char *const LegacyHeader = "{D6E229D1-35DA-11D1-9034-00A0C90349BE}";
const char *const LegacyDescription = "{D6E229D5-35DA-11D1-9034-00A0C90349BE}";
const char *const SomeOtherObject = "{D6E229D2-35DA-11D1-9034-00A0C90349BE}";

// A legacy entry: id byte, four bytes of no interest, name and value lengths
// in characters at bytes 5 and 7, then both texts.
QByteArray legacyEntry(quint8 id, const QString &name, const QString &value) {
    QByteArray e(1, static_cast<char>(id));
    e += QByteArray(4, '\x7F') + le16(static_cast<quint16>(name.size())) +
         le16(static_cast<quint16>(value.size()));
    return e + utf16le(name) + utf16le(value);
}

QByteArray legacyFile(const QByteArray &entries, quint16 count) {
    const QByteArray body =
        object(SomeOtherObject, QByteArray(10, '\x55')) + object(LegacyDescription, le16(count) + entries);
    return object(LegacyHeader, body) + QByteArray(200, '\0');
}

AsfHeaderFields parse(const QByteArray &bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return ParseAsfHeader(buffer);
}

TEST(ReadersAsfHeader, LegacyEntriesGiveAuthorAndTitle) {
    const QString longValue(600, QLatin1Char('x'));
    const QByteArray entries = legacyEntry(2, QStringLiteral("Title"), QStringLiteral("Old Title")) +
                               legacyEntry(3, QStringLiteral("Copyright"), QStringLiteral("unused")) +
                               legacyEntry(1, QStringLiteral("Author"), longValue) +
                               legacyEntry(9, QString(), QStringLiteral("ignored"));
    const AsfHeaderFields f = parse(legacyFile(entries, 4));
    EXPECT_EQ(f.title, QStringLiteral("Old Title"));
    EXPECT_EQ(f.author, QString(511, QLatin1Char('x'))) << "at most 511 characters are kept";
    EXPECT_TRUE(f.album.isEmpty());

    // Through the reader: TagLib does not know this layout, the fallback does.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("old.wma"));
    writeAll(file, legacyFile(entries, 4));
    const TrackFields t = ReadTrackFields(file, QStringLiteral(".wma"));
    EXPECT_EQ(t.title, QStringLiteral("Old Title"));
    EXPECT_EQ(t.artist.size(), 511);
    EXPECT_EQ(t.album, QStringLiteral("Unknown Album"));
}

TEST(ReadersAsfHeader, CountsAndSizesBeyondTheBytesStopTheWalk) {
    const QByteArray good = legacyEntry(2, QStringLiteral("Title"), QStringLiteral("Kept"));
    // More entries announced than present, and a value longer than what is left.
    EXPECT_EQ(parse(legacyFile(good, 60000)).title, QStringLiteral("Kept"));
    QByteArray lying = legacyEntry(1, QStringLiteral("Author"), QStringLiteral("abc"));
    qToLittleEndian<quint16>(0xFFFF, lying.data() + 7);
    const AsfHeaderFields f = parse(legacyFile(good + lying, 2));
    EXPECT_EQ(f.title, QStringLiteral("Kept"));
    EXPECT_TRUE(f.author.isEmpty());

    // A header claiming exabytes, an object larger than its header, a size of 0.
    QByteArray huge = legacyFile(good, 1);
    qToLittleEndian<quint64>(~0ULL, huge.data() + 16);
    EXPECT_EQ(parse(huge).title, QStringLiteral("Kept"));
    QByteArray bigObject = legacyFile(good, 1);
    qToLittleEndian<quint64>(1ULL << 40, bigObject.data() + 24 + 16);
    EXPECT_TRUE(parse(bigObject).title.isEmpty());
    QByteArray zero = legacyFile(good, 1);
    qToLittleEndian<quint64>(0, zero.data() + 24 + 16);
    EXPECT_TRUE(parse(zero).title.isEmpty());

    EXPECT_TRUE(parse(QByteArray()).title.isEmpty());
    EXPECT_TRUE(parse(QByteArray(23, '\0')).title.isEmpty());
}

class ReadersAsfFile : public ::testing::Test {
protected:
    void SetUp() override {
        file = makeAudio(dir.filePath(QStringLiteral("cur.wma")),
                         {QStringLiteral("-c:a"), QStringLiteral("wmav2"), QStringLiteral("-metadata"),
                          QStringLiteral("title=Current Title"), QStringLiteral("-metadata"),
                          QStringLiteral("artist=Current Artist"), QStringLiteral("-metadata"),
                          QStringLiteral("album=Current Album"), QStringLiteral("-metadata"),
                          QStringLiteral("genre=Tango")});
        bytes = readAll(file);
    }
    QTemporaryDir dir;
    QString file;
    QByteArray bytes;
};

// The fallback reads the current layout as TagLib does.
TEST_F(ReadersAsfFile, CurrentLayoutMatchesTagLib) {
    const AsfHeaderFields h = parse(bytes);
    const TrackFields t = ReadWmaFields(file);
    EXPECT_EQ(h.title, t.title);
    EXPECT_EQ(h.author, t.artist);
    EXPECT_EQ(h.album, t.album);
    EXPECT_EQ(h.genre, t.genre);
    EXPECT_EQ(h.title, QStringLiteral("Current Title"));
    EXPECT_EQ(h.genre, QStringLiteral("Tango"));
}

// Damaged headers: cut anywhere or with bytes flipped, the parser neither
// crashes nor reads outside its buffer (run under the address sanitizer),
// and the reader never throws for a WMA file.
TEST_F(ReadersAsfFile, DamagedHeadersAreSurvived) {
    const qsizetype headerSize = qFromLittleEndian<quint64>(bytes.constData() + 16);
    ASSERT_GT(headerSize, 30);
    for (qsizetype cut = 0; cut < headerSize; cut += 7)
        parse(bytes.left(cut));
    QRandomGenerator random(20261208);
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = bytes.left(headerSize + 64);
        for (int flips = 0; flips < 4; ++flips)
            damaged[random.bounded(30, static_cast<int>(headerSize))] =
                static_cast<char>(random.bounded(256));
        parse(damaged);
    }
    const QString cutFile = dir.filePath(QStringLiteral("cut.wma"));
    writeAll(cutFile, bytes.left(headerSize / 2));
    EXPECT_NO_THROW(ReadTrackFields(cutFile, QStringLiteral(".wma")));
}

} // namespace
