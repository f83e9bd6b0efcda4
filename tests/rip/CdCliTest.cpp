// varnelo-cli cd on generated images, with the album information and the
// AccurateRip database served on 127.0.0.1.
#include "platform/cd/AccurateRip.h"
#include "platform/cd/CdDrive.h"
#include "platform/cd/DiscSheet.h"
#include "platform/cd/DriveOffsets.h"
#include "platform/tags/AudioInformation.h"
#include "rip/ReadOffsetTasks.h"
#include "support/AudioCheck.h"
#include "support/DiscImage.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/Wait.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::test;

namespace {

struct CliRun {
    int code = -1;
    QString out, err;
};

CliRun cli(const QStringList &args, const QString &folder) {
    QByteArray out, err;
    QStringList full{QStringLiteral("cd")};
    full << args;
    // The settings file of the working folder: run from there.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder);
    CliRun r;
    r.code = runProgram(QStringLiteral(VARNELO_CLI_PATH), full, &out, &err, 180000);
    QDir::setCurrent(previous);
    r.out = QString::fromUtf8(out);
    r.err = QString::fromUtf8(err);
    return r;
}

// The image's data as a drive with read offset `offset` returns it: the disc's
// sample p - offset where sample p is asked for.
void shiftImage(const DiscImage &image, int offset) {
    const qsizetype shift = qsizetype(std::abs(offset)) * 4;
    QFile data(image.data);
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write(offset > 0 ? QByteArray(shift, '\0') + image.bytes.left(image.bytes.size() - shift)
                          : image.bytes.mid(shift) + QByteArray(shift, '\0'));
}

} // namespace

TEST(CdCli, ListsDiscsWithAndWithoutText) {
    QTemporaryDir dir;
    const DiscImage plain = writeDiscImage(dir.path(), QStringLiteral("plain"), highVoltage(false));
    CliRun r = cli({QStringLiteral("list"), QStringLiteral("--device"), plain.sheet}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("01\tTrack01\tUnknown Artist\tUnknown Album\t0:03:17\n"
                                    "02\tTrack02\tUnknown Artist\tUnknown Album\t0:02:01\n"
                                    "03\tTrack03\tUnknown Artist\tUnknown Album\t0:04:74\n"));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();

    ImageSpec text = highVoltage(true);
    text.toc = true;
    const DiscImage named = writeDiscImage(dir.path(), QStringLiteral("named"), text);
    r = cli({QStringLiteral("list"), QStringLiteral("--device"), named.sheet}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("01\tT.N.T.\tAC/DC\tHigh Voltage\t0:03:17\n")))
        << r.out.toStdString();
}

TEST(CdCli, ClearMessagesForWhatCannotBeRead) {
    QTemporaryDir dir;
    ImageSpec data;
    data.tracks = {{0, 300, false}};
    const DiscImage dataDisc = writeDiscImage(dir.path(), QStringLiteral("data"), data);
    const DiscImage broken = writeDiscImage(dir.path(), QStringLiteral("broken"), highVoltage(false));
    QFile::remove(broken.data);
    // A sheet that used to end the program by a signal, and one with too many tracks.
    const DiscImage cut = writeDiscImage(dir.path(), QStringLiteral("cut"), highVoltage(false));
    const QString badToc = dir.filePath(QStringLiteral("bad.toc")),
                  many = dir.filePath(QStringLiteral("many.cue"));
    QByteArray manyText = "FILE \"cut.bin\" BINARY\n";
    for (int i = 1; i <= 100; ++i)
        manyText += QStringLiteral("TRACK %1 AUDIO\nINDEX 01 00:00:%2\n").arg(i).arg(i % 75).toLatin1();
    for (const auto &[path, text] :
         {std::pair{badToc, QByteArray("CD_DA\nTRACK AUDIO\nFILE \"cut.bin\" 0 0\n")},
          std::pair{many, manyText}}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QFile::resize(cut.data, cut.bytes.size() - 2352 * 10 - 7);
    struct Case {
        QStringList args;
        int code;
        const char *says;
    };
    const Case cases[] = {
        {{QStringLiteral("list"), QStringLiteral("--device"), dataDisc.sheet}, 1, "holds no audio tracks"},
        {{QStringLiteral("list"), QStringLiteral("--device"), broken.sheet}, 1, "broken.bin"},
        {{QStringLiteral("list"), QStringLiteral("--device"), dir.filePath(QStringLiteral("none.cue"))},
         1,
         "does not exist"},
        {{QStringLiteral("list"), QStringLiteral("--device"), QStringLiteral("/dev/no-such-drive")},
         1,
         "no drive /dev/no-such-drive"},
        {{QStringLiteral("rip"), QStringLiteral("--device"), broken.sheet, QStringLiteral("--to"),
          QStringLiteral("aiff")},
         2,
         "--to must be"},
        {{QStringLiteral("rip"), QStringLiteral("--device"), dataDisc.sheet, QStringLiteral("--to"),
          QStringLiteral("wav"), QStringLiteral("--name"), QStringLiteral("genre")},
         2,
         "genre"},
        {{QStringLiteral("eject")}, 2, "unknown action eject"},
        {{QStringLiteral("list"), QStringLiteral("--device"), badToc}, 1, "bad.toc, line 3"},
        {{QStringLiteral("list"), QStringLiteral("--device"), many}, 1, "many.cue, line 200"},
        {{QStringLiteral("rip"), QStringLiteral("--device"), cut.sheet, QStringLiteral("--to"),
          QStringLiteral("wav")},
         1,
         "cut.bin ends inside a sector"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CliRun r = cli(c.args, dir.path());
        EXPECT_EQ(r.code, c.code);
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    if (cd::systemDrives().empty()) {
        const CliRun r = cli({QStringLiteral("list")}, dir.path());
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("no CD drive was found"))) << r.err.toStdString();
    }
}

TEST(CdCli, LooksUpAndRipsChosenTracks) {
    QTemporaryDir dir;
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false));
    HttpServer cddb([](const HttpRequest &r) -> HttpReply {
        if (r.rawQuery.contains("query"))
            return {200, "211 inexact\r\nrock 1 AC/DC / High Voltage\r\nmisc 2 AC/DC / T.N.T.\r\n.\r\n"};
        const bool second = r.rawQuery.contains("misc");
        return {200, "210 entry\r\nDTITLE=AC/DC / " + QByteArray(second ? "T.N.T." : "High Voltage") +
                         "\r\nDGENRE=Rock\r\nTTITLE0=T.N.T.\r\nTTITLE1=Rock 'n' Roll Singer\r\nTTITLE2=The "
                         "Jack\r\n.\r\n"};
    });
    ASSERT_TRUE(cddb.start());
    HttpServer accurateRip([](const HttpRequest &) { return HttpReply{404, "no"}; });
    ASSERT_TRUE(accurateRip.start());

    CliRun r = cli({QStringLiteral("lookup"), QStringLiteral("--device"), image.sheet,
                    QStringLiteral("--server"), cddb.url(), QStringLiteral("--match"), QStringLiteral("2")},
                   dir.path());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("01\tT.N.T.\tAC/DC\tT.N.T.\t0:03:17\n")))
        << r.out.toStdString();

    // A match beyond the list is said once, as such.
    r = cli({QStringLiteral("lookup"), QStringLiteral("--device"), image.sheet, QStringLiteral("--server"),
             cddb.url(), QStringLiteral("--match"), QStringLiteral("3")},
            dir.path());
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, QStringLiteral("varnelo-cli cd: there are only 2 matches; --match 3 takes none\n"));

    r = cli({QStringLiteral("lookup"), QStringLiteral("--device"), image.sheet, QStringLiteral("--server"),
             QStringLiteral("http://127.0.0.1:%1").arg(HttpServer::closedPort())},
            dir.path());
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Connection failed!"))) << r.err.toStdString();

    const QString outDir = dir.filePath(QStringLiteral("music"));
    r = cli({QStringLiteral("rip"), QStringLiteral("--device"), image.sheet, QStringLiteral("--to"),
             QStringLiteral("wav"), QStringLiteral("--tracks"), QStringLiteral("1,3-3"),
             QStringLiteral("--out"), outDir, QStringLiteral("--name"), QStringLiteral("album"),
             QStringLiteral("--lookup"), QStringLiteral("--server"), cddb.url(),
             QStringLiteral("--accuraterip"), accurateRip.url()},
            dir.path());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QString album = outDir + QStringLiteral("/High Voltage/");
    EXPECT_EQ(r.out, album + QStringLiteral("T.N.T..wav\tFinished\tNot in database\n") + album +
                         QStringLiteral("The Jack.wav\tFinished\tNot in database\n"));
    EXPECT_TRUE(wavData(album + QStringLiteral("The Jack.wav")) == image.trackBytes(2));
    EXPECT_FALSE(QFile::exists(album + QStringLiteral("Rock 'n' Roll Singer.wav")));
    EXPECT_TRUE(QFile::exists(album + QStringLiteral("ACDC - High Voltage.log")));

    r = cli({QStringLiteral("rip"), QStringLiteral("--device"), image.sheet, QStringLiteral("--to"),
             QStringLiteral("wav"), QStringLiteral("--tracks"), QStringLiteral("2,7")},
            dir.path());
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("\"7\""))) << r.err.toStdString();
}

// A drive that reads a known number of samples late or early, as an image: the
// rip corrected by --offset is the disc sample for sample, the rip without it is not.
TEST(CdCli, ReadOffsetCorrectsADriveThatReadsShifted) {
    QTemporaryDir dir;
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false));
    for (const int offset : {667, -1164}) {
        SCOPED_TRACE(offset);
        shiftImage(image, offset);
        for (const bool corrected : {true, false}) {
            const QString out = dir.filePath(QStringLiteral("out%1%2").arg(offset).arg(corrected));
            QStringList args{
                QStringLiteral("rip"),    QStringLiteral("--device"), image.sheet,
                QStringLiteral("--to"),   QStringLiteral("wav"),      QStringLiteral("--tracks"),
                QStringLiteral("2"),      QStringLiteral("--out"),    out,
                QStringLiteral("--name"), QStringLiteral("none"),     QStringLiteral("--accuraterip"),
                QStringLiteral("off")};
            if (corrected)
                args << QStringLiteral("--offset") << QString::number(offset);
            const CliRun r = cli(args, dir.path());
            ASSERT_EQ(r.code, 0) << r.err.toStdString();
            const QStringList wavs = QDir(out).entryList({QStringLiteral("*.wav")}, QDir::Files);
            ASSERT_EQ(wavs.size(), 1);
            EXPECT_EQ(wavData(QDir(out).filePath(wavs[0])) == image.trackBytes(1), corrected);
            const QStringList logs = QDir(out).entryList({QStringLiteral("*.log")}, QDir::Files);
            ASSERT_EQ(logs.size(), 1);
            QFile log(QDir(out).filePath(logs[0]));
            ASSERT_TRUE(log.open(QIODevice::ReadOnly));
            EXPECT_TRUE(
                log.readAll().contains(QStringLiteral("%1%2 samples")
                                           .arg(corrected && offset > 0 ? QStringLiteral("+") : QString())
                                           .arg(corrected ? offset : 0)
                                           .toUtf8()));
        }
    }
}

// The offset found from one read of images made as such drives, the database
// holding the disc's true checksums: v2 in one record, v1 in another.
TEST(CdCli, FindsTheReadOffsetFromOneRead) {
    QTemporaryDir dir;
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false));
    const cd::AccurateRipIds ids = cd::accurateRipIds(cd::readDisc(image.sheet).toc);
    std::vector<std::pair<int, quint32>> v1, v2, other;
    for (int t = 0; t < 3; ++t) {
        cd::AccurateRipChecksum sum(t == 0, t == 2);
        const QByteArray bytes = image.trackBytes(t); // little-endian, as the host
        sum.add(reinterpret_cast<const qint16 *>(bytes.constData()), std::size_t(bytes.size() / 4));
        sum.finish();
        v1.emplace_back(4, sum.v1());
        v2.emplace_back(9, sum.v2());
        other.emplace_back(20, sum.v2() ^ 0x10000u);
    }
    QByteArray database;
    HttpServer server([&](const HttpRequest &r) -> HttpReply {
        if (database.isEmpty() || r.path != QStringLiteral("/ar/") + cd::accurateRipPath(ids))
            return {404, "not here"};
        return {200, database, "application/octet-stream"};
    });
    ASSERT_TRUE(server.start());
    std::vector<std::pair<int, quint32>> spoiled = v1;
    spoiled[1].second ^= 1;
    struct Case {
        int offset;
        QByteArray database;
        int code;
        const char *says;
    };
    const Case cases[] = {
        {667, accurateRipRecord(ids, other) + accurateRipRecord(ids, v2), 0,
         "offset: +667 (3 of 3 tracks match, confidence 9)\n"},
        {-1164, accurateRipRecord(ids, spoiled), 0, "offset: -1164 (2 of 3 tracks match, confidence 4)\n"},
        {0, accurateRipRecord(ids, v1) + accurateRipRecord(ids, v2), 0,
         "offset: +0 (3 of 3 tracks match, confidence 9)\n"},
        {667, {}, 1, "the disc is not in the AccurateRip database"},
        {-1164, accurateRipRecord(ids, other), 1, "no read offset within ±3000 samples matches"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.offset);
        shiftImage(image, c.offset);
        database = c.database;
        const CliRun r = cli({QStringLiteral("offset"), QStringLiteral("--device"), image.sheet,
                              QStringLiteral("--accuraterip"), server.url(QStringLiteral("/ar/"))},
                             dir.path());
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        EXPECT_TRUE((c.code == 0 ? r.out : r.err).contains(QString::fromUtf8(c.says)))
            << r.out.toStdString() << r.err.toStdString();
    }
}

// The options' Find and Look up: the offset from one read of an image made as
// a drive with offset +667 reads it, and from a served drive list.
TEST(ReadOffsetTasks, FindsFromOneReadAndLooksUpTheDriveList) {
    QTemporaryDir dir;
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false));
    const cd::AccurateRipIds ids = cd::accurateRipIds(cd::readDisc(image.sheet).toc);
    std::vector<std::pair<int, quint32>> v2;
    for (int t = 0; t < 3; ++t) {
        cd::AccurateRipChecksum sum(t == 0, t == 2);
        const QByteArray bytes = image.trackBytes(t);
        sum.add(reinterpret_cast<const qint16 *>(bytes.constData()), std::size_t(bytes.size() / 4));
        sum.finish();
        v2.emplace_back(5, sum.v2());
    }
    QByteArray list(cd::DriveOffsetRecordBytes, '\0');
    list.replace(0, 2, QByteArray("\x9b\x02", 2)); // +667
    list.replace(2, 15, "ASUS - DRW-24F1");
    HttpServer server([&](const HttpRequest &r) -> HttpReply {
        if (r.path == QStringLiteral("/ar/") + cd::accurateRipPath(ids))
            return {200, accurateRipRecord(ids, v2), "application/octet-stream"};
        return r.path == QLatin1String("/ar/DriveOffsets.bin") ? HttpReply{200, list} : HttpReply{404, "no"};
    });
    ASSERT_TRUE(server.start());
    shiftImage(image, 667);
    ReadOffsetTasks tasks;
    const QUrl base(server.url(QStringLiteral("/ar/")));
    const QString kept = dir.filePath(QStringLiteral("DriveOffsets.bin"));
    std::optional<std::pair<std::optional<int>, QString>> got;
    const auto reply = [&](std::optional<int> o, const QString &m) { got.emplace(o, m); };
    using Ask = std::function<void()>;
    const std::tuple<Ask, std::optional<int>, const char *> cases[] = {
        {[&] { tasks.find(image.sheet, cd::ReadMode{}, base, reply); }, 667,
         "3 of 3 tracks match (confidence 5)"},
        {[&] { tasks.lookUp(QStringLiteral("ASUS"), QStringLiteral("DRW-24F1 "), kept, base, reply); }, 667,
         "Offset +667 in AccurateRip's drive list"},
        {[&] { tasks.lookUp(QStringLiteral("ASUS"), QStringLiteral("BW-16D1HT"), kept, base, reply); },
         std::nullopt, "ASUS - BW-16D1HT is not in AccurateRip's drive list"},
    };
    for (const auto &[ask, offset, says] : cases) {
        got.reset();
        ask();
        ASSERT_TRUE(waitUntil([&] { return got.has_value(); }, 60000)) << says;
        EXPECT_EQ(got->first, offset);
        EXPECT_TRUE(got->second.contains(QLatin1String(says))) << got->second.toStdString();
    }
    EXPECT_TRUE(QFile::exists(kept));
}

TEST(CdCli, SecureRipAndTheDriveListOptions) {
    QTemporaryDir dir;
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false));
    const auto device = [&](QStringList args) { return args << QStringLiteral("--device") << image.sheet; };
    const std::tuple<QStringList, int, const char *> cases[] = {
        {device({QStringLiteral("rip"), QStringLiteral("--to"), QStringLiteral("wav"),
                 QStringLiteral("--secure"), QStringLiteral("--accuraterip"), QStringLiteral("off"),
                 QStringLiteral("--out"), dir.path()}),
         0, "Track03.wav\tCopy OK\t"},
        {device({QStringLiteral("offset"), QStringLiteral("--list")}), 1, "is a disc image"},
        {device({QStringLiteral("offset"), QStringLiteral("--refresh")}), 2, "--refresh goes with --list"},
    };
    for (const auto &[args, code, says] : cases) {
        const CliRun r = cli(args, dir.path());
        EXPECT_EQ(r.code, code) << r.err.toStdString();
        EXPECT_TRUE((code == 0 ? r.out : r.err).contains(QLatin1String(says)))
            << r.out.toStdString() << r.err.toStdString();
    }
}

namespace {

// A cue sheet's time of a sector number.
const auto msf = cd::sectorTimeText;

QByteArray decodedPcm(const QString &path) {
    QByteArray pcm;
    const auto words = [](const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
    runProgram(QStringLiteral("ffmpeg"), words("-v error -i") << path << words("-f s16le -"), &pcm);
    return pcm;
}

} // namespace

// An archive rip to FLAC of a disc with a pregap, a catalog number and an ISRC,
// its release known to MusicBrainz: every file decodes to the disc's samples
// and carries the disc's ids and front cover; the cue sheet it leaves reads
// back as the same disc; the log's seal holds until the log is edited.
TEST(CdCli, ArchivesADiscAsFlacWithCueSheetCoverAndSealedLog) {
    QTemporaryDir dir;
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false));
    const QString sheet = dir.filePath(QStringLiteral("pregap.cue"));
    writeBytes(sheet,
               QStringLiteral("CATALOG 9300000000019\nFILE \"hv.bin\" BINARY\n  TRACK 01 AUDIO\n    ISRC "
                              "AUAP07600012\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 00 %1\n    "
                              "INDEX 01 %2\n  TRACK 03 AUDIO\n    INDEX 01 %3\n")
                   .arg(msf(image.starts[1] - 40), msf(image.starts[1]), msf(image.starts[2]))
                   .toLatin1());
    // MusicBrainz when CDDB cannot be asked.
    writeBytes(dir.filePath(QStringLiteral("temp.ini")), "[Freedb]\ntoserver=0\n");
    const cd::DiscToc toc = cd::readDisc(sheet).toc;
    const QString release = QStringLiteral("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d");
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImage(16, 16, QImage::Format_RGB32).save(&buffer, "JPEG");
    bool coverThere = true;
    HttpServer server([&](const HttpRequest &r) -> HttpReply {
        if (r.path == QStringLiteral("/ws/2/discid/") + cd::MusicBrainzDiscId(toc))
            return {200,
                    R"({"releases":[{"id":")" + release.toLatin1() +
                        R"(","title":"High Voltage","date":"1976","artist-credit":[{"name":"AC/DC"}],)"
                        R"("media":[{"discs":[{"id":")" +
                        cd::MusicBrainzDiscId(toc).toLatin1() +
                        R"("}],"tracks":[{"title":"T.N.T."},{"title":"Rock"},{"title":"The Jack"}]}]}]})",
                    "application/json"};
        if (coverThere && r.path == QStringLiteral("/caa/release/%1/front-500").arg(release))
            return {200, jpeg, "image/jpeg"};
        return {404, "not here"};
    });
    ASSERT_TRUE(server.start());
    const auto rip = [&](const QString &out, const QString &format = QStringLiteral("flac"),
                         const QString &tracks = QStringLiteral("1-3")) {
        return cli({QStringLiteral("rip"),
                    QStringLiteral("--device"),
                    sheet,
                    QStringLiteral("--to"),
                    format,
                    QStringLiteral("--tracks"),
                    tracks,
                    QStringLiteral("--out"),
                    out,
                    QStringLiteral("--name"),
                    QStringLiteral("none"),
                    QStringLiteral("--lookup"),
                    QStringLiteral("--server"),
                    QStringLiteral("http://127.0.0.1:%1").arg(HttpServer::closedPort()),
                    QStringLiteral("--musicbrainz"),
                    server.url(),
                    QStringLiteral("--covers"),
                    server.url(QStringLiteral("/caa")),
                    QStringLiteral("--accuraterip"),
                    QStringLiteral("off")},
                   dir.path());
    };
    const QString out = dir.filePath(QStringLiteral("flac"));
    CliRun r = rip(out);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList titles{QStringLiteral("T.N.T."), QStringLiteral("Rock"), QStringLiteral("The Jack")};
    AudioInformation tags;
    for (int t = 0; t < 3; ++t) {
        SCOPED_TRACE(t);
        const QString path = QDir(out).filePath(titles[t] + QStringLiteral(".flac"));
        EXPECT_TRUE(decodedPcm(path) == image.trackBytes(t));
        const AudioFacts facts = probeAudio(path);
        EXPECT_EQ(facts.tags.value(QStringLiteral("track")), QString::number(t + 1));
        EXPECT_EQ(tags.LoadFields(path, {QStringLiteral("TRACKTOTAL"), QStringLiteral("ALBUMARTIST"),
                                         QStringLiteral("DISCID"), QStringLiteral("MUSICBRAINZ_ALBUMID"),
                                         QStringLiteral("DATE")}),
                  (QMap<QString, QString>{{QStringLiteral("TRACKTOTAL"), QStringLiteral("3")},
                                          {QStringLiteral("ALBUMARTIST"), QStringLiteral("AC/DC")},
                                          {QStringLiteral("DISCID"), cd::CddbDiscId(toc)},
                                          {QStringLiteral("MUSICBRAINZ_ALBUMID"), release},
                                          {QStringLiteral("DATE"), QStringLiteral("1976")}}));
        EXPECT_TRUE(tags.LoadCover(path).data == jpeg);
    }
    EXPECT_TRUE(readBytes(QDir(out).filePath(QStringLiteral("cover.jpg"))) == jpeg);

    // The written sheet is the disc again: table, ids, CD-Text, and its samples.
    const QString written = QDir(out).filePath(QStringLiteral("ACDC - High Voltage.cue"));
    const cd::DiscSheet back = *cd::readDiscSheet(written).sheet;
    ASSERT_EQ(back.toc.tracks.size(), 3u);
    EXPECT_EQ(cd::accurateRipPath(cd::accurateRipIds(back.toc)),
              cd::accurateRipPath(cd::accurateRipIds(toc)));
    EXPECT_EQ(cd::MusicBrainzDiscId(back.toc), cd::MusicBrainzDiscId(toc));
    EXPECT_EQ(back.info[1].pregapStart, image.starts[1] - 40);
    EXPECT_EQ(back.catalog, QStringLiteral("9300000000019"));
    EXPECT_EQ(back.info[0].isrc, QStringLiteral("AUAP07600012"));
    EXPECT_EQ(back.toc.tracks[2].title, QStringLiteral("The Jack"));
    EXPECT_EQ(
        cli({QStringLiteral("list"), QStringLiteral("--device"), written}, dir.path()).out,
        QStringLiteral("01\tT.N.T.\tAC/DC\tHigh Voltage\t0:03:17\n02\tRock\tAC/DC\tHigh Voltage\t0:02:01\n"
                       "03\tThe Jack\tAC/DC\tHigh Voltage\t0:04:74\n"));
    r = cli({QStringLiteral("rip"), QStringLiteral("--device"), written, QStringLiteral("--to"),
             QStringLiteral("wav"), QStringLiteral("--tracks"), QStringLiteral("2"), QStringLiteral("--out"),
             dir.filePath(QStringLiteral("again")), QStringLiteral("--accuraterip"), QStringLiteral("off")},
            dir.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(wavData(dir.filePath(QStringLiteral("again/Rock.wav"))) == image.trackBytes(1));

    // Other formats hold the cover their own way; a part of the disc leaves no cue sheet.
    for (const QString format : {QStringLiteral("mp3"), QStringLiteral("ogg")}) {
        r = rip(dir.filePath(format), format, QStringLiteral("2"));
        EXPECT_TRUE(r.err.contains(QStringLiteral("Cue sheet: none: not every track was ripped")));
        EXPECT_TRUE(tags.LoadCover(dir.filePath(format + QStringLiteral("/Rock.") + format)).data == jpeg);
    }

    // A release without a cover is said, and the rip is whole all the same.
    coverThere = false;
    r = rip(dir.filePath(QStringLiteral("nocover")));
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Cover: the release has no front cover")))
        << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("nocover/cover.jpg"))));

    const QByteArray text = readBytes(QDir(out).filePath(QStringLiteral("ACDC - High Voltage.log")));
    struct Case {
        QByteArray text;
        int code;
        const char *says;
    };
    const Case cases[] = {
        {text, 0, "as it was written"},
        {QByteArray(text).replace("Finished", "Finishes"), 1, "was changed"},
        {text.left(text.lastIndexOf("Log checksum")), 1, "has no checksum line"},
        {{}, 1, "no such file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.says);
        const QString path = dir.filePath(QStringLiteral("check.log"));
        QFile::remove(path);
        if (!c.text.isEmpty())
            writeBytes(path, c.text);
        r = cli({QStringLiteral("verify-log"), path}, dir.path());
        EXPECT_EQ(r.code, c.code);
        EXPECT_TRUE((r.out + r.err).contains(QLatin1String(c.says))) << (r.out + r.err).toStdString();
    }
}

// Data tracks have no file, yet the sheet the rip writes gives the disc's ids:
// after the audio (an enhanced CD) and ahead of it (a mixed-mode disc).
TEST(CdCli, CueSheetOfADiscWithDataKeepsTheDiscIds) {
    QTemporaryDir dir;
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false));
    const QString tracks[] = {QStringLiteral("TRACK 01 AUDIO"),
                              QStringLiteral("TRACK 02 AUDIO"),
                              QStringLiteral("REM SESSION 02\nTRACK 03 MODE1/2352"),
                              QStringLiteral("TRACK 01 MODE1/2352"),
                              QStringLiteral("TRACK 02 AUDIO"),
                              QStringLiteral("TRACK 03 AUDIO")};
    for (const int disc : {0, 3}) {
        SCOPED_TRACE(disc);
        const QString sheet = dir.filePath(QStringLiteral("data%1.cue").arg(disc));
        writeBytes(sheet,
                   QStringLiteral(
                       "FILE \"hv.bin\" BINARY\n%1\nINDEX 01 00:00:00\n%2\nINDEX 01 %3\n%4\nINDEX 01 %5\n")
                       .arg(tracks[disc], tracks[disc + 1], msf(image.starts[1]), tracks[disc + 2],
                            msf(image.starts[2]))
                       .toLatin1());
        const QString out = dir.filePath(QStringLiteral("out%1").arg(disc));
        const CliRun r =
            cli({QStringLiteral("rip"), QStringLiteral("--device"), sheet, QStringLiteral("--to"),
                 QStringLiteral("wav"), QStringLiteral("--out"), out, QStringLiteral("--name"),
                 QStringLiteral("none"), QStringLiteral("--accuraterip"), QStringLiteral("off")},
                dir.path());
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const cd::DiscToc back =
            cd::readDisc(out + QStringLiteral("/Unknown Artist - Unknown Album.cue")).toc;
        EXPECT_EQ(cd::accurateRipPath(cd::accurateRipIds(back)),
                  cd::accurateRipPath(cd::accurateRipIds(cd::readDisc(sheet).toc)));
        EXPECT_EQ(back.audioTrackCount(), 2);
    }
}
