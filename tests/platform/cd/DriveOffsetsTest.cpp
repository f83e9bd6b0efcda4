// AccurateRip's drive offset list: records made here, cut and spoilt ones,
// the match by vendor and model, the fetch and the kept copy.
#include "platform/cd/DriveOffsets.h"
#include "support/HttpServer.h"
#include "support/Wait.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::cd;
using namespace varnelo::test;

namespace {

QByteArray record(int offset, const QByteArray &name, quint32 submissions, const QByteArray &percent) {
    QByteArray r(DriveOffsetRecordBytes, '\0');
    qToLittleEndian<qint16>(qint16(offset), r.data());
    r.replace(2, name.size(), name);
    qToLittleEndian<quint32>(submissions, r.data() + 35);
    r.replace(39, percent.size(), percent);
    return r;
}

QByteArray sampleList() {
    return record(667, "PIONEER  - BD-RW   BDR-209D", 1234, "100%") +
           record(6, "HL-DT-ST - DVDRAM GH24NSD1", 870, "98%") +
           record(-30, "HL-DT-ST - DVDRAM GH24NSD1", 3, "") + record(48, "- CD-ROM CDU5211", 12, "100%");
}

} // namespace

TEST(DriveOffsets, ReadsEveryFieldAndMatchesByVendorAndModel) {
    const DriveOffsetList list = parseDriveOffsets(sampleList());
    ASSERT_TRUE(list.error.isEmpty()) << list.error.toStdString();
    ASSERT_EQ(list.records.size(), 4u);
    EXPECT_EQ(list.records[0].name, QStringLiteral("PIONEER  - BD-RW   BDR-209D"));
    EXPECT_EQ(list.records[0].submissions, 1234u);
    EXPECT_EQ(list.records[1].percent, 98);
    EXPECT_EQ(list.records[2].offset, -30);
    EXPECT_EQ(list.records[2].percent, -1);
    struct Case {
        const char *vendor, *model;
        int offset; // 9999: not in the list
    };
    // Drives pad their fields with spaces and may write lower case; the most submitted record wins.
    const Case cases[] = {{"PIONEER", "BD-RW   BDR-209D", 667}, {"pioneer ", " bd-rw bdr-209d ", 667},
                          {"HL-DT-ST", "DVDRAM GH24NSD1", 6},   {"", "CD-ROM CDU5211", 48},
                          {"PIONEER", "BD-RW BDR-209", 9999},   {"SONY", "CD-ROM CDU5211", 9999}};
    for (const Case &c : cases) {
        const auto found = findDriveOffset(list.records, QLatin1String(c.vendor), QLatin1String(c.model));
        EXPECT_EQ(found ? found->offset : 9999, c.offset) << c.vendor << " / " << c.model;
    }
}

TEST(DriveOffsets, SpoiltListsAreRejectedNamingTheRecord) {
    const QByteArray good = sampleList();
    QByteArray unended = good, control = good, far = good, noDash = good;
    unended[DriveOffsetRecordBytes + 34] = 'X';
    control[2 * DriveOffsetRecordBytes + 5] = '\n';
    qToLittleEndian<qint16>(qint16(-7000), far.data() + 3 * DriveOffsetRecordBytes);
    noDash.replace(2, 27, QByteArray("PIONEER BD-RW BDR-209D\0\0\0\0\0", 27));
    const std::pair<QByteArray, const char *> cases[] = {
        {QByteArray(), "is empty"},
        {good.left(good.size() - 10),
         "cut short: 266 bytes, not a whole number of 69-byte records (record 4"},
        {unended, "Record 2 of the drive offset list is not valid: its drive name is not ended"},
        {control, "Record 3 of the drive offset list is not valid: its drive name is not text"},
        {far, "Record 4 of the drive offset list is not valid: an offset of -7000 samples"},
        {noDash, "Record 1 of the drive offset list is not valid: \"PIONEER BD-RW BDR-209D\" is not"},
    };
    for (const auto &[data, says] : cases) {
        const DriveOffsetList list = parseDriveOffsets(data);
        EXPECT_TRUE(list.records.empty());
        EXPECT_TRUE(list.error.contains(QLatin1String(says))) << list.error.toStdString();
    }
}

TEST(DriveOffsets, FetchedOnRequestAndKeptWholeOnly) {
    QTemporaryDir dir;
    QByteArray served = sampleList();
    int asked = 0;
    HttpServer server([&](const HttpRequest &r) -> HttpReply {
        ++asked;
        return r.path == QLatin1String("/ar/DriveOffsets.bin") ? HttpReply{200, served}
                                                               : HttpReply{404, "no"};
    });
    ASSERT_TRUE(server.start());
    const QString path = dir.filePath(QStringLiteral("DriveOffsets.bin"));
    const auto load = [&](bool refresh) {
        std::optional<DriveOffsetList> got;
        QObject context;
        loadDriveOffsets(path, QUrl(server.url(QStringLiteral("/ar"))), refresh, &context,
                         [&](const DriveOffsetList &l) { got = l; });
        EXPECT_TRUE(waitUntil([&] { return got.has_value(); }, 20000));
        return got.value_or(DriveOffsetList{});
    };
    EXPECT_EQ(load(false).records.size(), 4u);
    EXPECT_EQ(load(false).records.size(), 4u) << "the kept copy serves";
    EXPECT_EQ(asked, 1);
    // A cut answer is refused and the kept copy stays as it was.
    served.chop(5);
    EXPECT_TRUE(load(true).error.contains(QLatin1String("cut short")));
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), sampleList());
    EXPECT_EQ(asked, 2);
}
