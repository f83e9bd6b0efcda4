// The grabber on generated disc images: listing, texts, grabbing sample for
// sample, playback reads, read errors through the sector reader's seam, stop.
#include "common/Error.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/cd/AudioCDGrabber.h"
#include "support/DiscImage.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::cd;
using namespace varnelo::test;

namespace {

struct Grabs {
    std::map<int, GrabResult> results;
    bool ended = false;
};

// Grabs the given tracks of the loaded disc to WAV files and waits for the end.
Grabs grabToWav(AudioCDGrabber &grabber, const QString &folder, const std::vector<int> &tracks,
                const std::function<void(int)> &afterSubmit = {}) {
    Grabs g;
    QObject context;
    QObject::connect(&grabber, &AudioCDGrabber::GrabFinished, &context,
                     [&g](int id, const GrabResult &r) { g.results[id] = r; });
    QObject::connect(&grabber, &AudioCDGrabber::GrabsEnded, &context, [&g] { g.ended = true; });
    for (int t : tracks) {
        grabber.SelectTrack(t);
        grabber.GetOutputFile().SetWavFormat(44100, 2, 16);
        const int id = grabber.GrabToFile(QDir(folder).filePath(QStringLiteral("t%1.wav").arg(t + 1)));
        if (afterSubmit)
            afterSubmit(id);
    }
    grabber.EndGrabs();
    EXPECT_TRUE(waitUntil([&g] { return g.ended; }, 60000));
    return g;
}

class GrabberTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    AudioCDGrabber grabber;

    void load(const DiscImage &image) {
        grabber.Initialize();
        grabber.SelectDrive(grabber.AddImage(image.sheet));
        grabber.ReadDisc();
    }
};

} // namespace

TEST_F(GrabberTest, ListsTracksWithTheirCdText) {
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(true));
    load(image);
    ASSERT_EQ(grabber.DiscStatus(), 1) << grabber.DiscError().toStdString();
    EXPECT_EQ(grabber.DriveId(), QFileInfo(image.sheet).absoluteFilePath());
    EXPECT_TRUE(grabber.DriveIsImage());
    ASSERT_EQ(grabber.AudioTrackCount(), 3);
    grabber.SelectTrack(0);
    EXPECT_EQ(grabber.TrackTitle(), QStringLiteral("T.N.T."));
    EXPECT_EQ(grabber.TrackArtist(), QStringLiteral("AC/DC"));
    EXPECT_EQ(grabber.TrackAlbum(), QStringLiteral("High Voltage"));
    EXPECT_EQ(grabber.TrackLength(), 75 * 3 + 17);
    EXPECT_EQ(grabber.TrackMinutes(), 0);
    EXPECT_EQ(grabber.TrackSeconds(), 3);
    EXPECT_EQ(grabber.TrackFrames(), 17);
    grabber.SelectTrack(2);
    EXPECT_EQ(grabber.TrackLength(), 75 * 4 + 74);
}

// The generated images as other readers see them: cd-info for the table and the
// CD-Text, and cdrdao, which must accept our table of contents as its own.
TEST_F(GrabberTest, ReadsImagesAsCdInfoAndCdrdaoDo) {
    ImageSpec withData = highVoltage(true);
    withData.tracks.push_back({0, 300, false});
    ImageSpec toc = highVoltage(true);
    toc.toc = true; // without a language map, which only cdrdao reads
    for (const auto &[base, spec] :
         {std::pair{QStringLiteral("cue"), withData}, std::pair{QStringLiteral("toc"), toc}}) {
        SCOPED_TRACE(base.toStdString());
        const DiscImage image = writeDiscImage(dir.path(), base, spec);
        load(image);
        ASSERT_EQ(grabber.DiscStatus(), 1) << grabber.DiscError().toStdString();
        QByteArray out;
        // cd-info finds a table of contents' data file from the working folder.
        ASSERT_EQ(
            runProgram(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"),
                        QStringLiteral("cd \"$0\" && exec cd-info --no-header --no-device-info %1 \"$1\"")
                            .arg(spec.toc ? QStringLiteral("--toc-file") : QStringLiteral("--cue-file")),
                        dir.path(), image.sheet},
                       &out),
            0);
        // "  2: 00:05:22  000247 audio  false ..." and "170: ... leadout".
        QStringList theirs, ours;
        static const QRegularExpression row(QStringLiteral(R"(^\s*(\d+): \S+\s+(\d+) (audio|data|leadout))"),
                                            QRegularExpression::MultilineOption);
        for (auto m = row.globalMatch(QString::fromUtf8(out)); m.hasNext();) {
            const auto r = m.next();
            theirs << QStringLiteral("%1 %2 %3")
                          .arg(r.captured(1).toInt())
                          .arg(r.captured(2).toInt())
                          .arg(r.captured(3));
        }
        for (const TocTrack &t : grabber.Toc().tracks)
            ours << QStringLiteral("%1 %2 %3")
                        .arg(t.number)
                        .arg(t.start)
                        .arg(QLatin1String(t.audio ? "audio" : "data"));
        ours << QStringLiteral("170 %1 leadout").arg(grabber.Toc().leadout);
        EXPECT_EQ(ours, theirs);
        for (int i = 0; i < grabber.AudioTrackCount(); ++i) {
            grabber.SelectTrack(i);
            EXPECT_TRUE(out.contains(QStringLiteral("CD-TEXT for Track %1:\n\tTITLE: %2\n")
                                         .arg(i + 1, 2)
                                         .arg(grabber.TrackTitle())
                                         .toUtf8()))
                << grabber.TrackTitle().toStdString();
        }
        if (spec.toc) {
            // cdrdao: "START  00:03:22(   247)" per track.
            QByteArray err;
            EXPECT_EQ(
                runProgram(QStringLiteral("cdrdao"), {QStringLiteral("show-toc"), image.sheet}, &out, &err),
                0)
                << err.toStdString();
            static const QRegularExpression start(QStringLiteral(R"(START\s+\S+\(\s*(\d+)\))"));
            QStringList cdrdaoStarts, ourStarts;
            for (auto m = start.globalMatch(QString::fromUtf8(out)); m.hasNext();)
                cdrdaoStarts << m.next().captured(1);
            for (const TocTrack &t : grabber.Toc().tracks)
                ourStarts << QString::number(t.start);
            EXPECT_EQ(ourStarts, cdrdaoStarts) << out.toStdString();
        }
    }
}

TEST_F(GrabberTest, TracksWithoutTextAreSessionTracks) {
    load(writeDiscImage(dir.path(), QStringLiteral("plain"), highVoltage(false)));
    ASSERT_EQ(grabber.AudioTrackCount(), 3);
    grabber.SelectTrack(1);
    EXPECT_EQ(grabber.TrackTitle(), QStringLiteral("Session1 Track2"));
    EXPECT_EQ(grabber.TrackArtist(), QString());
    EXPECT_EQ(grabber.TrackAlbum(), QString());
}

TEST_F(GrabberTest, ReadsTocImagesWithTheirTextAndOtherDataNames) {
    ImageSpec spec = highVoltage(true);
    spec.toc = true;
    spec.languageMap = true; // as cdrdao writes it
    spec.dataName = QStringLiteral("audio data.raw");
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("voltage"), spec);
    // Opened from another working folder: the data file is found next to the sheet.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QDir::rootPath());
    load(image);
    QDir::setCurrent(previous);
    ASSERT_EQ(grabber.DiscStatus(), 1) << grabber.DiscError().toStdString();
    ASSERT_EQ(grabber.AudioTrackCount(), 3);
    grabber.SelectTrack(1);
    EXPECT_EQ(grabber.TrackTitle(), QStringLiteral("Rock 'n' Roll Singer"));
    EXPECT_EQ(grabber.TrackAlbum(), QStringLiteral("High Voltage"));
    EXPECT_EQ(grabber.TrackLength(), 75 * 2 + 1);
}

TEST_F(GrabberTest, DataTracksAreNotAudioTracks) {
    ImageSpec spec = highVoltage(false);
    spec.tracks.push_back({0, 300, false});
    load(writeDiscImage(dir.path(), QStringLiteral("enhanced"), spec));
    ASSERT_EQ(grabber.DiscStatus(), 1);
    EXPECT_EQ(grabber.TrackCount(), 4);
    EXPECT_EQ(grabber.AudioTrackCount(), 3);

    ImageSpec data;
    data.tracks = {{0, 300, false}};
    load(writeDiscImage(dir.path(), QStringLiteral("data"), data));
    EXPECT_EQ(grabber.DiscStatus(), 2);
    EXPECT_FALSE(grabber.DiscError().isEmpty());
}

TEST_F(GrabberTest, ImagesThatCannotBeReadSayWhy) {
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("gone"), highVoltage(false));
    QFile::remove(image.data);
    load(image);
    EXPECT_EQ(grabber.DiscStatus(), 2);
    EXPECT_TRUE(grabber.DiscError().contains(QStringLiteral("gone.bin")))
        << grabber.DiscError().toStdString();

    QFile junk(dir.filePath(QStringLiteral("junk.cue")));
    junk.open(QIODevice::WriteOnly);
    junk.write("this is not a cue sheet\n\x01\x02");
    junk.close();
    grabber.SelectDrive(grabber.AddImage(junk.fileName()));
    grabber.ReadDisc();
    EXPECT_EQ(grabber.DiscStatus(), 2);
    EXPECT_FALSE(grabber.DiscError().isEmpty());

    QFile::remove(junk.fileName());
    grabber.ReadDisc();
    EXPECT_EQ(grabber.DiscStatus(), 0) << "an image taken away is a drive without a disc";
}

TEST_F(GrabberTest, GrabsEveryTrackSampleForSample) {
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(true));
    load(image);
    QSignalSpy progress(&grabber, &AudioCDGrabber::OnOperationProgress);
    const Grabs g = grabToWav(grabber, dir.path(), {0, 1, 2});
    ASSERT_EQ(g.results.size(), 3u);
    for (int t = 0; t < 3; ++t) {
        const GrabResult &r = g.results.at(t);
        EXPECT_EQ(r.status, GrabResult::Status::Done) << r.error.toStdString();
        EXPECT_EQ(r.uncorrected, 0);
        EXPECT_EQ(r.frames, qint64(image.sectors[std::size_t(t)]) * 588);
        const QByteArray written = wavData(dir.filePath(QStringLiteral("t%1.wav").arg(t + 1)));
        EXPECT_TRUE(written == image.trackBytes(t)) << "track " << t + 1 << " differs";
    }
    EXPECT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().first().toDouble(), 100.0);
    EXPECT_FALSE(grabber.Busy());
}

TEST_F(GrabberTest, PlaybackReadsTheTrackAndSeeks) {
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false));
    load(image);
    grabber.SelectTrack(1);
    grabber.StartTrackRead();
    QByteArray played;
    SampleBlock block;
    for (int n; (n = grabber.ReadSectors(10, block)) > 0;) {
        EXPECT_EQ(block.size(), std::size_t(n) * 1176);
        for (Sample s : block) {
            const qint16 v = qint16(s >> 16);
            played.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
        }
    }
    EXPECT_TRUE(played == image.trackBytes(1));
    grabber.SeekSector(100);
    ASSERT_EQ(grabber.ReadSectors(1, block), 1);
    EXPECT_EQ(qint16(block[0] >> 16),
              qFromLittleEndian<qint16>(image.trackBytes(1).constData() + 100 * 2352));
    grabber.StopTrackRead();
}

TEST_F(GrabberTest, ImagesHaveNoTray) {
    load(writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false)));
    try {
        grabber.Eject();
        FAIL() << "an image cannot be ejected";
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("hv.cue is a disc image: it has no tray to open."));
    }
    EXPECT_THROW(grabber.CloseTray(), Error);
}

TEST_F(GrabberTest, AnImageWrittenAnewIsAMediaChange) {
    ImageSpec spec = highVoltage(false);
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), spec);
    load(image);
    grabber.setMediaWatch(true);
    QSignalSpy changes(&grabber, &AudioCDGrabber::OnMediaChange);
    QFile::remove(image.sheet);
    EXPECT_TRUE(changes.wait(5000));
    grabber.ReadDisc();
    EXPECT_EQ(grabber.DiscStatus(), 0);
    changes.clear();
    spec.tracks.pop_back();
    writeDiscImage(dir.path(), QStringLiteral("hv"), spec);
    EXPECT_TRUE(changes.wait(5000));
    grabber.ReadDisc();
    EXPECT_EQ(grabber.AudioTrackCount(), 2);
}

// Read errors, injected below paranoia: what it corrects, what stays bad and
// what the error action then does.
TEST_F(GrabberTest, ReadErrorsThatParanoiaCorrectsLeaveTheTrackExact) {
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false));
    load(image);
    auto faults = std::make_shared<ReadFaults>();
    faults->failSector(image.starts[1] + 40, 2);
    grabber.setReadFaults(faults);
    grabber.SetGrabMode(2);
    grabber.SetRetries(5);
    const Grabs g = grabToWav(grabber, dir.path(), {1});
    const GrabResult &r = g.results.at(0);
    EXPECT_EQ(r.status, GrabResult::Status::Done);
    EXPECT_GT(r.readErrors, 0);
    EXPECT_EQ(r.uncorrected, 0);
    EXPECT_TRUE(wavData(dir.filePath(QStringLiteral("t2.wav"))) == image.trackBytes(1));
}

TEST_F(GrabberTest, ErrorActionsOnSectorsThatStayUnreadable) {
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("hv"), highVoltage(false));
    const int bad = 60;
    struct Case {
        int action;
        GrabResult::Status status;
        bool fileKept;
    };
    for (const Case c : {Case{0, GrabResult::Status::Failed, false}, Case{1, GrabResult::Status::Done, true},
                         Case{2, GrabResult::Status::Done, true}}) {
        SCOPED_TRACE(c.action);
        load(image);
        auto faults = std::make_shared<ReadFaults>();
        faults->failSector(image.starts[1] + bad, -1);
        grabber.setReadFaults(faults);
        grabber.SetGrabMode(2);
        grabber.SetRetries(2);
        grabber.SetErrorAction(c.action);
        const Grabs g = grabToWav(grabber, dir.path(), {1, 2});
        const GrabResult &r = g.results.at(0);
        EXPECT_EQ(r.status, c.status);
        EXPECT_GT(r.uncorrected, 0) << "never passed off as clean";
        ASSERT_FALSE(r.badRanges.empty());
        EXPECT_LE(r.badRanges.front().first, bad);
        if (c.action != 0) { // the stop action ends at the first bad sector
            EXPECT_GE(r.badRanges.back().second, bad);
        }
        const QString path = dir.filePath(QStringLiteral("t2.wav"));
        EXPECT_EQ(QFile::exists(path), c.fileKept);
        const QByteArray written = wavData(path);
        const QByteArray original = image.trackBytes(1);
        if (c.action == 1) {
            ASSERT_EQ(written.size(), original.size());
            EXPECT_EQ(written.mid(bad * 2352, 2352), QByteArray(2352, '\0'));
            EXPECT_EQ(written.left(r.badRanges.front().first * 2352),
                      original.left(r.badRanges.front().first * 2352));
        } else if (c.action == 2) {
            EXPECT_EQ(written.size(), original.size() - r.uncorrected * 2352);
            EXPECT_EQ(r.frames * 4, written.size());
        }
        // The stop action ends the grabs: the next track is never reached.
        const GrabResult &next = g.results.at(1);
        EXPECT_EQ(next.status, c.action == 0 ? GrabResult::Status::NotStarted : GrabResult::Status::Done);
        EXPECT_EQ(QFile::exists(dir.filePath(QStringLiteral("t3.wav"))), c.action != 0);
        QFile::remove(dir.filePath(QStringLiteral("t3.wav")));
        QFile::remove(path); // a grab never writes over a file that is there
    }
}

TEST_F(GrabberTest, AbortStopsAtOnceAndRemovesWhatWasCut) {
    ImageSpec spec = highVoltage(false);
    spec.tracks[0].sectors = 75 * 30;
    const DiscImage image = writeDiscImage(dir.path(), QStringLiteral("long"), spec);
    load(image);
    // A sector that never reads keeps the reader busy with retries until the stop.
    auto faults = std::make_shared<ReadFaults>();
    faults->failSector(image.starts[0] + 1000, -1);
    grabber.setReadFaults(faults);
    grabber.SetGrabMode(3);
    grabber.SetRetries(32);
    grabber.SetErrorAction(1);
    bool aborted = false;
    QObject context;
    QObject::connect(&grabber, &AudioCDGrabber::GrabProgress, &context, [&](int id, double percent) {
        if (id == 0 && percent >= 5 && !aborted) {
            aborted = true;
            grabber.AbortGrab();
        }
    });
    const Grabs g = grabToWav(grabber, dir.path(), {0, 1, 2});
    EXPECT_TRUE(aborted);
    EXPECT_EQ(g.results.at(0).status, GrabResult::Status::Stopped);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("t1.wav"))));
    for (int id : {1, 2}) {
        EXPECT_NE(g.results.at(id).status, GrabResult::Status::Done);
        EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("t%1.wav").arg(id + 1))));
    }
}
