// The ripper's operations on generated disc images, without a window: the
// list and its texts, naming, the four formats, tags, Stop, read errors,
// AccurateRip against a database served on 127.0.0.1, the log.
#include "common/SettingsFile.h"
#include "common/ShownPage.h"
#include "convert/EncoderSetup.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/cd/AudioCDGrabber.h"
#include "platform/cd/CdDrive.h"
#include "platform/cd/DiscToc.h"
#include "platform/cd/FreeDBInformation.h"
#include "platform/tags/AudioInformation.h"
#include "rip/CdRipper.h"
#include "rip/CoverArt.h"
#include "rip/RipNaming.h"
#include "support/AudioCheck.h"
#include "support/DiscImage.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/HttpServer.h"
#include "support/Wait.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::test;

namespace {

// A canonical WAV of raw 16-bit stereo bytes, for the AccurateRip oracle.
void writeWav(const QString &path, const QByteArray &pcm) {
    QByteArray h("RIFF....WAVEfmt ");
    const auto le32 = [](quint32 v) {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    const auto le16 = [](quint16 v) {
        QByteArray b(2, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    h += le32(16) + le16(1) + le16(2) + le32(44100) + le32(44100 * 4) + le16(4) + le16(16) + "data" +
         le32(quint32(pcm.size()));
    h.replace(4, 4, le32(quint32(36 + pcm.size())));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(h + pcm);
}

// The checksum of whipper's accuraterip-checksum (an independent implementation).
quint32 oracleChecksum(const QString &wav, int track, int total, bool v2) {
    QByteArray out;
    runProgram(QStringLiteral("accuraterip-checksum"),
               {v2 ? QStringLiteral("--accuraterip-v2") : QStringLiteral("--accuraterip-v1"), wav,
                QString::number(track), QString::number(total)},
               &out);
    bool ok = false;
    const quint32 v = QString::fromLatin1(out).trimmed().toUInt(&ok, 16);
    return ok ? v : 0;
}

class RipperTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SetPage page{Page::Rip};
    SettingsFile settings{dir.filePath(QStringLiteral("temp.ini"))};
    FileEncoderSettings encoderSettings{settings};
    EncoderSetup setup{encoderSettings};
    AudioFile2LameEnc encoder;
    AudioInformation tags;
    FakePrompts prompts;
    FakeShell shell;
    cd::AudioCDGrabber grabber;
    cd::FreeDBInformation information;
    CdRipper ripper{page, grabber, information, encoder, setup, encoderSettings, tags, prompts, shell};
    int naming = 0;
    bool openFolder = false;
    bool finished = false;
    std::vector<bool> panel;

    void SetUp() override {
        ripper.outputFolder = [this] { return dir.filePath(QStringLiteral("out")) + QLatin1Char('/'); };
        ripper.folderNaming = [this] { return naming; };
        ripper.openFolderWhenDone = [this] { return openFolder; };
        ripper.showPanel = [this](bool on) { panel.push_back(on); };
        ripper.accurateRipServer = QUrl(); // not asked unless a test serves it
        QObject::connect(&ripper, &CdRipper::ripFinished, &ripper, [this] { finished = true; });
    }
    DiscImage load(const ImageSpec &spec) {
        const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("disc"), spec);
        EXPECT_TRUE(ripper.UseDrive(image.sheet));
        ripper.ListDiscTracks();
        return image;
    }
    void rip(int kind, int timeoutMs = 120000) {
        finished = false;
        ripper.RipCheckedTracks(kind);
        ASSERT_TRUE(waitUntil([this] { return finished; }, timeoutMs));
        EXPECT_FALSE(ripper.ripping());
        EXPECT_FALSE(grabber.Busy());
    }
    QString row(int r, int column) const { return ripper.lv_cd.item(r, column)->text(); }
    QString out(const QString &name) const { return dir.filePath(QStringLiteral("out/") + name); }
};

} // namespace

TEST_F(RipperTest, ListsTracksWithoutInformation) {
    load(highVoltage(false));
    ASSERT_EQ(ripper.lv_cd.rowCount(), 3);
    EXPECT_EQ(CdRipper::columnTitles(),
              (QStringList{QStringLiteral("No"), QStringLiteral("File name"), QStringLiteral("Artist"),
                           QStringLiteral("Album"), QStringLiteral("Time"), QStringLiteral("Status")}));
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(row(r, CdRipper::NoColumn), QStringLiteral("0%1").arg(r + 1));
        EXPECT_EQ(row(r, CdRipper::FileNameColumn), QStringLiteral("Track0%1").arg(r + 1));
        EXPECT_EQ(row(r, CdRipper::ArtistColumn), QStringLiteral("Unknown Artist"));
        EXPECT_EQ(row(r, CdRipper::AlbumColumn), QStringLiteral("Unknown Album"));
        EXPECT_EQ(row(r, CdRipper::StatusColumn), QStringLiteral(" OK "));
        EXPECT_EQ(ripper.lv_cd.item(r, 0)->checkState(), Qt::Checked);
    }
    EXPECT_EQ(row(0, CdRipper::TimeColumn), QStringLiteral("0:03:17"));
    EXPECT_EQ(row(1, CdRipper::TimeColumn), QStringLiteral("0:02:01"));
    EXPECT_EQ(ripper.TrackEntries[2].Title, QStringLiteral("Track03"));
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(RipperTest, ListsTheDiscsTextAndSaysWhatIsWrong) {
    load(highVoltage(true));
    EXPECT_EQ(row(0, CdRipper::FileNameColumn), QStringLiteral("T.N.T."));
    EXPECT_EQ(row(0, CdRipper::ArtistColumn), QStringLiteral("AC/DC"));
    EXPECT_EQ(row(0, CdRipper::AlbumColumn), QStringLiteral("High Voltage"));

    ImageSpec data;
    data.tracks = {{0, 300, false}};
    const DiscImage dataDisc = writeDiscImage(dir.path(), QStringLiteral("data"), data);
    ripper.UseDrive(dataDisc.sheet);
    ripper.ListDiscTracks();
    EXPECT_EQ(ripper.lv_cd.rowCount(), 0);
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown.back().text, QStringLiteral("Unrecognized"));
    EXPECT_EQ(prompts.shown.back().caption, dialogCaption());

    QFile::remove(dataDisc.sheet);
    ripper.ListDiscTracks();
    EXPECT_EQ(prompts.shown.back().text, QStringLiteral("No disc"));
}

TEST(RipNaming, NamingModes) {
    TrackEntry e{QStringLiteral("T.N.T."), QStringLiteral("AC/DC"), QStringLiteral("High: Voltage?"), {}, {}};
    const QString base = QStringLiteral("/music/");
    EXPECT_EQ(RipOutputPath(base, 0, e, 1, QStringLiteral(".mp3")), QStringLiteral("/music/T.N.T..mp3"));
    EXPECT_EQ(RipOutputPath(base, 1, e, 1, QStringLiteral(".mp3")), QStringLiteral("/music/ACDC/T.N.T..mp3"));
    EXPECT_EQ(RipOutputPath(base, 2, e, 1, QStringLiteral(".ogg")),
              QStringLiteral("/music/High Voltage/T.N.T..ogg"));
    // Names from a disc or a server never climb out of the output folder or vanish.
    const TrackEntry hostile{QStringLiteral("/"), QStringLiteral(".."), QStringLiteral("..."), {}, {}};
    EXPECT_EQ(RipOutputPath(base, 1, hostile, 7, QStringLiteral(".wav")),
              QStringLiteral("/music/Unknown Artist/Track07.wav"));
    EXPECT_EQ(RipOutputPath(base, 2, hostile, 12, QStringLiteral(".wav")),
              QStringLiteral("/music/Unknown Album/Track12.wav"));
    // A second track of one name in a rip does not overwrite the first.
    EXPECT_EQ(RipOutputPath(base, 0, e, 2, QStringLiteral(".mp3"), {QStringLiteral("/music/T.N.T..mp3")}),
              QStringLiteral("/music/T.N.T. (2).mp3"));
    // A file already in the folder is never the output, nor a name cut at a NUL.
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    QFile(folder + QStringLiteral("T.N.T..mp3")).open(QIODevice::WriteOnly);
    EXPECT_EQ(RipOutputPath(folder, 0, e, 1, QStringLiteral(".mp3")),
              folder + QStringLiteral("T.N.T. (2).mp3"));
    const TrackEntry nul{QStringLiteral("precious.txt") + QChar(0) + QStringLiteral("x"), {}, {}, {}, {}};
    EXPECT_EQ(RipOutputPath(folder, 0, nul, 1, QStringLiteral(".wav")),
              folder + QStringLiteral("precious.txt_x.wav"));
    const TrackEntry longTitle{QString(300, QLatin1Char('x')), {}, {}, {}, {}};
    EXPECT_LE(
        QFileInfo(RipOutputPath(base, 0, longTitle, 1, QStringLiteral(".mp3"))).fileName().toUtf8().size(),
        255);
}

TEST_F(RipperTest, RipsToWavSampleForSampleIntoTheArtistFolder) {
    const DiscImage image = load(highVoltage(true));
    naming = 1;
    openFolder = true;
    settings.writeInteger(QStringLiteral("wav"), QStringLiteral("mode"), 0);
    rip(1);
    EXPECT_EQ(panel, (std::vector<bool>{true, false}));
    const QStringList titles{QStringLiteral("T.N.T."), QStringLiteral("Rock 'n' Roll Singer"),
                             QStringLiteral("The Jack")};
    for (int t = 0; t < 3; ++t) {
        const QString path = out(QStringLiteral("ACDC/") + titles[t] + QStringLiteral(".wav"));
        ASSERT_TRUE(QFile::exists(path)) << path.toStdString();
        EXPECT_TRUE(wavData(path) == image.trackBytes(t)) << "track " << t + 1;
        EXPECT_EQ(row(t, CdRipper::StatusColumn), QStringLiteral("Finished"));
    }
    // The folder of the last track opens; the "<Album>" and "<Artist>" folders ask nothing.
    EXPECT_EQ(shell.openedFolders, QStringList{QFileInfo(out(QStringLiteral("ACDC/x"))).absolutePath()});
    EXPECT_TRUE(prompts.shown.empty());
    const AudioFacts t = probeAudio(out(QStringLiteral("ACDC/T.N.T..wav")));
    EXPECT_EQ(t.title, QStringLiteral("T.N.T."));
    EXPECT_EQ(t.artist, QStringLiteral("AC/DC"));
    EXPECT_EQ(t.album, QStringLiteral("High Voltage"));
}

TEST_F(RipperTest, RipsToEveryCompressedFormatWithTags) {
    const DiscImage image = load(highVoltage(true));
    naming = 2;
    const double tones[] = {440, 660, 880};
    struct Case {
        int kind;
        const char *extension;
        const char *codec;
    };
    for (const Case c : {Case{0, ".mp3", "mp3"}, Case{3, ".ogg", "vorbis"}, Case{2, ".wma", "wmav2"}}) {
        SCOPED_TRACE(c.extension);
        rip(c.kind);
        const QStringList titles{QStringLiteral("T.N.T."), QStringLiteral("Rock 'n' Roll Singer"),
                                 QStringLiteral("The Jack")};
        for (int t = 0; t < 3; ++t) {
            const QString path =
                out(QStringLiteral("High Voltage/") + titles[t] + QLatin1String(c.extension));
            double seconds = 0;
            EXPECT_NEAR(decodedFrequency(path, &seconds), tones[t], tones[t] * 0.01) << path.toStdString();
            EXPECT_NEAR(seconds, image.sectors[std::size_t(t)] / 75.0, 0.2);
            const AudioFacts tags = probeAudio(path);
            EXPECT_EQ(tags.codec, QLatin1String(c.codec));
            EXPECT_EQ(tags.title, titles[t]);
            EXPECT_EQ(tags.artist, QStringLiteral("AC/DC"));
            EXPECT_EQ(tags.album, QStringLiteral("High Voltage"));
            EXPECT_EQ(tags.track.section(QLatin1Char('/'), 0, 0), QString::number(t + 1));
        }
    }
}

TEST_F(RipperTest, StopInTheSecondOfThreeTracks) {
    ImageSpec spec = highVoltage(false);
    spec.tracks[1].sectors = 75 * 20;
    const DiscImage image = load(spec);
    // The drive is slow in the middle of the second track (beyond what paranoia
    // reads ahead of the first): Stop comes while it reads there.
    auto faults = std::make_shared<cd::ReadFaults>();
    faults->stallSector(image.starts[1] + 1000, 60000);
    grabber.setReadFaults(faults);
    QObject context;
    QObject::connect(&grabber, &cd::AudioCDGrabber::GrabFinished, &context, [this](int grab) {
        if (grab == 0)
            QTimer::singleShot(100, &ripper, [this] { ripper.StopRip(); });
    });
    QElapsedTimer t;
    t.start();
    rip(0);
    EXPECT_LT(t.elapsed(), 20000) << "Stop ends a grab at once";
    EXPECT_EQ(row(0, CdRipper::StatusColumn), QStringLiteral("Finished"));
    EXPECT_EQ(row(1, CdRipper::StatusColumn), QStringLiteral("Stopped"));
    EXPECT_EQ(row(2, CdRipper::StatusColumn), QStringLiteral(" OK "));
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("Track01.mp3"))));
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("Track02.mp3")))) << "a cut track is removed";
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("Track03.mp3"))));
    EXPECT_EQ(ripper.lastRip().at(2).reached, false);
}

TEST_F(RipperTest, UncheckedRowsAreLeftAndNothingCheckedRipsNothing) {
    load(highVoltage(false));
    ripper.lv_cd.item(0, 0)->setCheckState(Qt::Unchecked);
    ripper.lv_cd.item(2, 0)->setCheckState(Qt::Unchecked);
    rip(1);
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("Track01.wav"))));
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("Track02.wav"))));
    EXPECT_EQ(row(0, CdRipper::StatusColumn), QStringLiteral(" OK "));

    ripper.lv_cd.item(1, 0)->setCheckState(Qt::Unchecked);
    panel.clear();
    openFolder = true;
    rip(1);
    EXPECT_EQ(panel, (std::vector<bool>{true, false}));
    // The folder of the last track written before.
    EXPECT_EQ(shell.openedFolders.size(), 1);
}

TEST_F(RipperTest, ReadErrorsAreNeverPassedOffAsClean) {
    const DiscImage image = load(highVoltage(false));
    auto faults = std::make_shared<cd::ReadFaults>();
    faults->failSector(image.starts[1] + 30, -1);
    grabber.setReadFaults(faults);
    settings.writeInteger(QStringLiteral("Format"), QStringLiteral("mode"), 2);
    settings.writeInteger(QStringLiteral("Format"), QStringLiteral("retries"), 1);
    settings.writeInteger(QStringLiteral("Format"), QStringLiteral("stop"), 1); // silence
    rip(1);
    EXPECT_EQ(row(0, CdRipper::StatusColumn), QStringLiteral("Finished"));
    EXPECT_EQ(row(1, CdRipper::StatusColumn), QStringLiteral("Read errors"));
    EXPECT_EQ(row(2, CdRipper::StatusColumn), QStringLiteral("Finished"));
    const QString log = QString::fromUtf8(readBytes(ripper.lastLogPath()));
    EXPECT_TRUE(log.contains(QStringLiteral("Read mode:       Secure"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("(silence)")));

    // Stop on an unreadable sector: the row says "Error", its file is gone and the rip ends there.
    settings.writeInteger(QStringLiteral("Format"), QStringLiteral("stop"), 0);
    ripper.ListDiscTracks();
    rip(1);
    EXPECT_EQ(row(1, CdRipper::StatusColumn), QStringLiteral("Error"));
    // The first rip's files stay; the second's names are numbered.
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("Track02.wav"))));
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("Track02 (2).wav"))));
    EXPECT_EQ(row(2, CdRipper::StatusColumn), QStringLiteral(" OK "));
}

TEST_F(RipperTest, AFileThatCannotBeWrittenIsAnErrorOnItsRow) {
    load(highVoltage(true));
    naming = 1;
    // A file where the artist folder should be.
    QDir().mkpath(out(QString()));
    QFile blocker(out(QStringLiteral("ACDC")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings.writeInteger(QStringLiteral("Format"), QStringLiteral("stop"), 1); // go on after it
    rip(1);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(row(r, CdRipper::StatusColumn), QStringLiteral("Error"));
    EXPECT_FALSE(ripper.ripping());
    EXPECT_TRUE(ripper.lastRip().at(0).result.error.contains(QStringLiteral("ACDC")));
}

TEST_F(RipperTest, AccurateRipAgainstTheDatabase) {
    const DiscImage image = load(highVoltage(false));
    // The expected checksums from the independent tool, track 2 left wrong in the database.
    std::vector<quint32> v2;
    for (int t = 0; t < 3; ++t) {
        const QString wav = dir.filePath(QStringLiteral("expected%1.wav").arg(t + 1));
        writeWav(wav, image.trackBytes(t));
        v2.push_back(oracleChecksum(wav, t + 1, 3, true));
        ASSERT_NE(v2.back(), 0u);
    }
    const cd::AccurateRipIds ids = cd::accurateRipIds(grabber.Toc());
    const QByteArray bin = accurateRipRecord(ids, {{12, v2[0]}, {7, v2[1] ^ 1}, {7, v2[2]}});
    const QString path = QStringLiteral("/accuraterip/") + cd::accurateRipPath(ids);
    HttpServer server([&](const HttpRequest &r) -> HttpReply {
        return r.path == path ? HttpReply{200, bin, "application/octet-stream"} : HttpReply{404, "not here"};
    });
    ASSERT_TRUE(server.start());
    ripper.accurateRipServer = QUrl(server.url(QStringLiteral("/accuraterip/")));
    rip(1);
    EXPECT_EQ(row(0, CdRipper::StatusColumn), QStringLiteral("Accurate (confidence 12)"));
    EXPECT_EQ(row(1, CdRipper::StatusColumn), QStringLiteral("Not accurate"));
    EXPECT_EQ(row(2, CdRipper::StatusColumn), QStringLiteral("Accurate (confidence 7)"));
    EXPECT_EQ(ripper.lastRip()[0].result.arV2, v2[0]);
    const QString log = QString::fromUtf8(readBytes(ripper.lastLogPath()));
    EXPECT_TRUE(log.contains(QStringLiteral("Accurate (confidence 12), v2"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("CRC32:")));
    EXPECT_TRUE(log.contains(QStringLiteral("3 of 3 tracks ripped, 2 accurate")));

    // v1 checksums count as well; a disc the database does not know says so.
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(ripper.lastRip()[std::size_t(t)].result.arV1,
                  oracleChecksum(dir.filePath(QStringLiteral("expected%1.wav").arg(t + 1)), t + 1, 3, false));
    ripper.accurateRipServer = QUrl(server.url(QStringLiteral("/elsewhere/")));
    ripper.ListDiscTracks();
    rip(1);
    EXPECT_EQ(row(0, CdRipper::StatusColumn), QStringLiteral("Not in database"));
}

// With a read offset the last track's end lies past the disc: silence, or with
// overread what the drive gives of its lead-out (here what the image's file
// holds past the table's end).
TEST_F(RipperTest, AReadOffsetPastTheEndReadsSilenceOrTheLeadOut) {
    ImageSpec spec = highVoltage(false);
    spec.toc = true;
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("disc"), spec);
    QFile bin(image.data);
    ASSERT_TRUE(bin.open(QIODevice::Append));
    bin.write(QByteArray(2 * 2352, '\x11'));
    bin.close();
    ripper.readOffset = [] { return 100; };
    for (const bool overread : {false, true}) {
        settings.writeBool(QStringLiteral("Format"), QStringLiteral("overread"), overread);
        QDir(out(QString())).removeRecursively();
        ASSERT_TRUE(ripper.UseDrive(image.sheet));
        ripper.ListDiscTracks();
        for (int r : {0, 1})
            ripper.lv_cd.item(r, 0)->setCheckState(Qt::Unchecked);
        rip(1);
        const QByteArray wav = wavData(out(QStringLiteral("Track03.wav")));
        ASSERT_EQ(wav.size(), image.trackBytes(2).size());
        EXPECT_EQ(wav.right(400), QByteArray(400, overread ? '\x11' : '\0')) << overread;
        EXPECT_EQ(wav.mid(wav.size() - 404, 4), image.trackBytes(2).right(4)) << overread;
        EXPECT_TRUE(QString::fromUtf8(readBytes(ripper.lastLogPath()))
                        .contains(QLatin1String(overread ? "yes (the lead-out" : "no (silence past")));
    }
}

TEST_F(RipperTest, TestAndCopyComparesTwoReadsAndReadsAgainWhenTheyDiffer) {
    const DiscImage image = load(highVoltage(false));
    settings.writeBool(QStringLiteral("Format"), QStringLiteral("secure"), true);
    settings.writeInteger(QStringLiteral("Format"), QStringLiteral("retries"), 3);
    // The drive gives track 2's sector 50 wrong on the reads named: read 0 is
    // the copy, 1 the test. Track 2 alone is ripped, so no other track's read covers it.
    struct Case {
        int firstBadRead, badReads;
        const char *status;
        int reReads;
        bool exact;
        const char *logSays;
    };
    const Case cases[] = {
        {0, 0, "Copy OK", 0, true, "Copy:          Copy OK\n"},
        {1, 1, "Copy OK", 1, true, "Copy OK (read 1 more time(s) after the test differed)"},
        {0, 1, "Copy and test differ", 1, false, "Copy and test differ (read 1 more time(s)"},
        {1, -1, "Copy and test differ", 3, true, "Copy and test differ (read 3 more time(s)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.status + std::to_string(c.firstBadRead));
        auto faults = std::make_shared<cd::ReadFaults>();
        faults->garbleSector(image.starts[1] + 50, c.firstBadRead, c.badReads);
        grabber.setReadFaults(faults);
        QDir(out(QString())).removeRecursively();
        ripper.ListDiscTracks();
        for (int r : {0, 2})
            ripper.lv_cd.item(r, 0)->setCheckState(Qt::Unchecked);
        rip(1);
        EXPECT_EQ(row(1, CdRipper::StatusColumn), QLatin1String(c.status));
        const cd::GrabResult &r = ripper.lastRip().at(0).result;
        EXPECT_EQ(r.reReads, c.reReads);
        EXPECT_EQ(wavData(out(QStringLiteral("Track02.wav"))) == image.trackBytes(1), c.exact);
        const QString log = QString::fromUtf8(readBytes(ripper.lastLogPath()));
        EXPECT_TRUE(log.contains(QLatin1String(c.logSays))) << log.toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral("Test and copy:   yes")));
    }
}

TEST_F(RipperTest, SoundBeforeTrackOneIsTrackZeroAndPreEmphasisIsSaid) {
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("disc"), highVoltage(false));
    const auto msf = [](int s) {
        return QStringLiteral("%1:%2:%3")
            .arg(s / 4500, 2, 10, QLatin1Char('0'))
            .arg(s / 75 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 75, 2, 10, QLatin1Char('0'));
    };
    // The first tone in track 1's pregap is track 00; a pregap of generated silence is none.
    struct Case {
        QString pregap;
        int track1, track2;
        QStringList rows;
    };
    const Case cases[] = {
        {QStringLiteral("PREGAP 00:02:00"), 0, image.starts[1], {QStringLiteral("01"), QStringLiteral("02")}},
        {QStringLiteral("INDEX 00 00:00:00"),
         image.starts[1],
         image.starts[2],
         {QStringLiteral("00"), QStringLiteral("01"), QStringLiteral("02")}},
    };
    for (const auto &[pregap, track1, track2, expected] : cases) {
        const QString cue = dir.filePath(QStringLiteral("hidden%1.cue").arg(expected.size()));
        QFile f(cue);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("FILE \"disc.bin\" BINARY\nTRACK 01 AUDIO\nFLAGS PRE\n%1\nINDEX 01 %2\n"
                               "TRACK 02 AUDIO\nINDEX 01 %3\n")
                    .arg(pregap, msf(track1), msf(track2))
                    .toLatin1());
        f.close();
        ASSERT_TRUE(ripper.UseDrive(cue));
        ripper.ListDiscTracks();
        QStringList rows;
        for (int r = 0; r < ripper.lv_cd.rowCount(); ++r)
            rows << row(r, CdRipper::NoColumn);
        EXPECT_EQ(rows, expected);
    }
    rip(1);
    for (int t = 0; t < 3; ++t)
        EXPECT_TRUE(wavData(out(QStringLiteral("Track0%1.wav").arg(t))) == image.trackBytes(t)) << t;
    const QString log = QString::fromUtf8(readBytes(ripper.lastLogPath()));
    EXPECT_TRUE(log.contains(QStringLiteral("Track 00  Track00\n"))) << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("Pre-emphasis:  yes")), 2) << "track 00 is in track 1's pregap";
    EXPECT_EQ(probeAudio(out(QStringLiteral("Track01.wav"))).tags.value(QStringLiteral("comment")),
              PreEmphasisComment);
    // The cue sheet beside the rip holds track 00 as track 1's INDEX 00: read
    // again it gives the disc's table.
    const QStringList sheets = QDir(out(QString())).entryList({QStringLiteral("*.cue")});
    ASSERT_EQ(sheets.size(), 1);
    const cd::DiscToc back = cd::readDisc(out(sheets[0])).toc;
    const cd::DiscToc disc = cd::readDisc(dir.filePath(QStringLiteral("hidden3.cue"))).toc;
    EXPECT_EQ(back.tracks.at(0).start, disc.tracks.at(0).start);
    EXPECT_EQ(cd::accurateRipPath(cd::accurateRipIds(back)), cd::accurateRipPath(cd::accurateRipIds(disc)));
}

// A cover server's answer is saved and embedded only when it is an image that
// can be read, within the size cap.
TEST(RipCover, TakesOnlyReadableImagesWithinTheCap) {
    QByteArray png, jpeg;
    QBuffer pngOut(&png), jpegOut(&jpeg);
    pngOut.open(QIODevice::WriteOnly);
    jpegOut.open(QIODevice::WriteOnly);
    QImage(8, 8, QImage::Format_RGB32).save(&pngOut, "PNG");
    QImage(8, 8, QImage::Format_RGB32).save(&jpegOut, "JPEG");
    const std::pair<QByteArray, const char *> cases[] = {
        {png, ""},
        {jpeg, ""},
        {"<html>Not found</html>", "neither a JPEG nor a PNG"},
        {jpeg.left(20), "damaged"},
        {jpeg + QByteArray(CoverArtFetch::MaxBytes, '\0'), "larger than 4 MB"},
        {{}, "empty"},
    };
    for (const auto &[bytes, says] : cases) {
        SCOPED_TRACE(says);
        const QString problem = coverImageProblem(bytes);
        EXPECT_EQ(problem.isEmpty(), !*says);
        EXPECT_TRUE(problem.contains(QLatin1String(says))) << problem.toStdString();
    }
}
