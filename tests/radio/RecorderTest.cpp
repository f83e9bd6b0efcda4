#include "radio/Recorder.h"
#include "common/ShownPage.h"
#include "common/TextRules.h"
#include "platform/sound/AudioRecord.h"
#include "platform/sound/SoundOutput.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/RecordingsList.h"
#include "radio/StationSelection.h"
#include "support/AudioCheck.h"
#include "support/FakePlayer.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/IcyServer.h"
#include "support/Wait.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace varnelo;

namespace {

// Tones made once for the whole file.
const QByteArray &toneFile(test::ToneFormat format, int hz, double seconds, const QString &title = {}) {
    static QTemporaryDir dir;
    static std::map<QString, QByteArray> made;
    const QString key = QStringLiteral("%1-%2-%3-%4").arg(int(format)).arg(hz).arg(seconds).arg(title);
    auto it = made.find(key);
    if (it == made.end())
        it = made.emplace(key, test::makeTone({format, hz, seconds, title, {}, hz}, dir.path())).first;
    return it->second;
}

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        page.show(Page::Radio);
        RecorderHooks hooks;
        hooks.format = [this] { return format; };
        hooks.naming = [this] { return naming; };
        hooks.outputFolder = [this] { return folder; };
        hooks.splitByTitle = [this] { return split; };
        hooks.asBroadcast = [this] { return broadcast; };
        hooks.configureEncoder = [](int kind, AudioFile &file, AudioFile2LameEnc &encoder) {
            switch (kind) {
            case 1:
                file.SetWavFormat(44100, 2, 16);
                return QStringLiteral(".wav");
            case 3:
                file.SetOggFormat(44100, 2, 128, 0, 0, -1);
                return QStringLiteral(".ogg");
            case 4:
                file.SetFlacFormat(0, 5);
                return QStringLiteral(".flac");
            case 5:
                file.SetOpusFormat(96, OpusFormat::Mode::Vbr, 10);
                return QStringLiteral(".opus");
            default:
                file.SetMp3Encoder(&encoder);
                return QStringLiteral(".mp3");
            }
        };
        hooks.title = [this] { return title; };
        hooks.setTitle = [this](const QString &t) { title = t; };
        hooks.genre = [this] { return genre; };
        hooks.setGenre = [this](const QString &g) { genre = g; };
        hooks.setLabtime = [this](const QString &t) { labtime = t; };
        hooks.showRecordingsList = [this] { page.showRecordingsList(true); };
        hooks.reportError = [this](const QString &m) { errors << m; };
        hooks.stationPlaying = [this] { return stationPlaying; };
        hooks.streamHandle = [this] { return streamHandle; };
        recorder = std::make_unique<Recorder>(page, record, library, clock, shell, list, hooks);
    }
    void TearDown() override {
        recorder.reset();
        if (streamHandle)
            library.StreamFree(streamHandle);
    }

    // Tunes in as the stream player does and waits for sound.
    void play(const QString &path) {
        streamHandle = library.StreamCreateURL(server.url(path));
        ASSERT_NE(streamHandle, 0u) << StreamLibrary::ErrorText().toStdString();
        stationPlaying = true;
        ASSERT_TRUE(library.ChannelPlay(streamHandle));
        ASSERT_TRUE(test::waitUntil([&] { return *library.ChannelPlayedFrames(streamHandle) > 4410; }));
    }
    // Records about `seconds` of sound.
    void recordFor(double seconds) {
        recorder->StartRecording();
        ASSERT_TRUE(recorder->recording()) << errors.join(QLatin1Char('\n')).toStdString();
        const qint64 until = qint64(seconds * 1000);
        ASSERT_TRUE(test::waitUntil(
            [&] {
                return recorder->recordingAsBroadcast()
                           ? labtime >= QStringLiteral("R:") + text::elapsedText((until + 999) / 1000)
                           : record.SamplesToMilliseconds(record.RecordedSamples()) >= until;
            },
            int(seconds * 1000) + 20000));
        recorder->StopRecording();
    }
    QStringList files() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }
    QString file(const QString &name) const { return QDir(folder).filePath(name); }

    test::IcyServer server;
    std::unique_ptr<SoundOutput> output = SoundOutput::create(SoundOutput::Backend::Null);
    StreamLibrary library{*output};
    AudioRecord record{*output};
    SetPage page;
    StationSelection lists;
    std::uint32_t streamHandle = 0;
    bool stationPlaying = false;
    test::FakeClock clock;
    test::FakeShell shell;
    RecordingsList list{lists};
    QTemporaryDir dir;
    QString folder = dir.path() + QLatin1Char('/');
    int format = 0;
    int naming = 0;
    bool split = false;
    bool broadcast = false;
    QString title, genre, labtime;
    QStringList errors;
    std::unique_ptr<Recorder> recorder;
};

TEST_F(RecorderTest, RecordsThePlayingStationWithItsToneLengthNameTagsAndListRow) {
    test::IcyMount mount;
    mount.audio = toneFile(test::ToneFormat::Mp3, 440, 6.0);
    mount.metadata = {test::streamTitle(QStringLiteral("Artist - Song"))};
    server.addMount(QStringLiteral("/live"), mount);
    play(QStringLiteral("/live"));
    title = QStringLiteral("Artist - Song");
    genre = QStringLiteral("Jazz");
    QSignalSpy finished(recorder.get(), &Recorder::fileFinished);

    // A part file a killed recording left goes; anybody else's hidden file stays.
    const QString stale = file(QStringLiteral(".killed.mp3.part")),
                  foreign = file(QStringLiteral(".other.part"));
    for (const QString &left : {stale, foreign}) {
        QFile f(left);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.setFileTime(QDateTime::currentDateTime().addSecs(-120), QFileDevice::FileModificationTime);
    }
    recorder->StartRecording();
    ASSERT_TRUE(recorder->recording());
    EXPECT_EQ(std::pair(QFile::exists(stale), QFile::exists(foreign)), std::pair(false, true));
    const QString path = file(QStringLiteral("Artist - Song.mp3"));
    EXPECT_EQ(recorder->recordFile(), path);
    // The file grows while recording: blocks are written as they come (under a
    // hidden name until it holds a few seconds, then under its own).
    const auto written = [&] {
        return std::max(QFileInfo(path).size(),
                        QFileInfo(file(QStringLiteral(".Artist - Song.mp3.part"))).size());
    };
    ASSERT_TRUE(test::waitUntil([&] { return written() > 8000; }));
    const qint64 early = written();
    ASSERT_TRUE(test::waitUntil([&] { return written() > early + 16000; }));
    ASSERT_TRUE(test::waitUntil([&] { return record.RecordedSamples() >= 3 * 44100; }));
    EXPECT_TRUE(labtime.startsWith(QStringLiteral("R:00:00:0"))) << labtime.toStdString();
    recorder->StopRecording();

    EXPECT_FALSE(recorder->recording());
    EXPECT_EQ(files(), QStringList{QStringLiteral("Artist - Song.mp3")});
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.at(0).at(0).toString(), path);
    const test::AudioFacts facts = test::probeAudio(path);
    EXPECT_EQ(facts.codec, QStringLiteral("mp3"));
    EXPECT_NEAR(facts.seconds, 3.0, 0.35);
    EXPECT_EQ(facts.title, QStringLiteral("Artist - Song"));
    EXPECT_EQ(facts.genre, QStringLiteral("Jazz"));
    const auto sound = test::decodeFirstChannel(path);
    EXPECT_NEAR(test::frequencyAt(sound, 0.5, 2.0), 440.0, 2.0);

    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.LV_R.item(0, RecordingsList::TitleColumn)->text(), QStringLiteral("Artist - Song.mp3"));
    EXPECT_EQ(list.LV_R.item(0, RecordingsList::GenreColumn)->text(), QStringLiteral("Jazz"));
    EXPECT_EQ(list.LV_R.item(0, RecordingsList::TimeColumn)->text(), QStringLiteral("00:00:03"));
    EXPECT_EQ(list.rowPath(0), path);
    EXPECT_EQ(list.selectedRow(), 0);
    EXPECT_TRUE(page.recordingsListShown());
    EXPECT_EQ(labtime, QStringLiteral("00:00:00"));
    EXPECT_TRUE(shell.openedFolders.isEmpty());
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(RecorderTest, NamesFollowTheRuleAndNeverLeaveTheFolderOrOverwrite) {
    struct Case {
        int naming;
        bool station;
        QString title, genre, expected;
    };
    const QString dated = QStringLiteral("02-01-2026--10;00;00.mp3"); // the fake clock's moment
    const Case cases[] = {
        {0, true, QStringLiteral("Artist - Song"), QString(), QStringLiteral("Artist - Song.mp3")},
        {0, true, QStringLiteral("Artist - Song"), QString(), QStringLiteral("Artist - Song (2).mp3")},
        {0, true, QString(), QString(), QStringLiteral("temp.mp3")},
        {0, true, QString(), QString(), QStringLiteral("temp (2).mp3")},
        {0, true, QStringLiteral("Mr. Big - Song"), QString(), QStringLiteral("Mr. Big - Song.mp3")},
        {0, true, QStringLiteral("AC/DC - ../../x"), QString(), QStringLiteral("AC_DC - .._.._x.mp3")},
        {0, true, QStringLiteral("../../escape"), QString(), QStringLiteral("______escape.mp3")},
        {0, true, QStringLiteral("..."), QString(), QStringLiteral("___.mp3")},
        {0, true, QStringLiteral("Tab\there\x01nul") + QChar(0) + QStringLiteral("end"), QString(),
         QStringLiteral("Tab_here_nul_end.mp3")},
        {0, true, QString::fromUtf16(u"C1\u009B2J\u0085x"), QString(), QStringLiteral("C1_2J_x.mp3")},
        {0, false, QStringLiteral("Ignored"), QString(), dated},
        {1, true, QString(), QStringLiteral("Jazz"), QStringLiteral("Jazz.mp3")},
        {1, true, QString(), QString(), QStringLiteral("02-01-2026--10;00;00 (2).mp3")},
        {2, true, QStringLiteral("Ignored"), QStringLiteral("Ignored"),
         QStringLiteral("02-01-2026--10;00;00 (3).mp3")},
    };
    for (const Case &c : cases) {
        naming = c.naming;
        stationPlaying = c.station;
        title = c.title;
        genre = c.genre;
        recorder->StartRecording();
        ASSERT_TRUE(recorder->recording()) << errors.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(QFileInfo(recorder->recordFile()).fileName(), c.expected) << c.title.toStdString();
        EXPECT_EQ(QFileInfo(recorder->recordFile()).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
        recorder->StopRecording();
        if (c.naming == 0 && c.station && c.title.isEmpty()) {
            EXPECT_EQ(title, QStringLiteral("temp")); // the status text says what the file is called
        }
    }
    EXPECT_EQ(files().size(), std::size(cases));
    EXPECT_EQ(QDir(dir.path() + QStringLiteral("/..")).entryList({QStringLiteral("*escape*")}).size(), 0);

    // A name of any length still makes a file.
    title = QString(400, QChar(0x00E9));
    stationPlaying = true;
    naming = 0;
    recorder->StartRecording();
    EXPECT_TRUE(recorder->recording()) << errors.join(QLatin1Char('\n')).toStdString();
    recorder->StopRecording();
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(RecorderTest, AFileThatCannotBeMadeIsReportedAndNothingClaimsToRecord) {
    test::writeBytes(dir.filePath(QStringLiteral("plain")), "x");
    for (const QString &bad :
         {dir.filePath(QStringLiteral("plain/")), dir.filePath(QStringLiteral("no/such/"))}) {
        folder = bad;
        errors.clear();
        recorder->StartRecording();
        EXPECT_FALSE(recorder->recording());
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors.first().contains(bad)) << errors.first().toStdString();
    }
    // A device that does not exist: reported, and no empty file is left behind.
    folder = dir.path() + QLatin1Char('/');
    record.SetDevice(99);
    errors.clear();
    recorder->StartRecording();
    EXPECT_FALSE(recorder->recording());
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(files(), QStringList{QStringLiteral("plain")});
    EXPECT_EQ(list.rowCount(), 0);
}

TEST_F(RecorderTest, AwayFromTheRadioPageTheFolderOpensInsteadOfARow) {
    page.show(Page::Library);
    naming = 2;
    recorder->StartRecording();
    ASSERT_TRUE(recorder->recording());
    recorder->StopRecording();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(shell.openedFolders, QStringList{folder});
    EXPECT_EQ(files().size(), 1);
}

TEST_F(RecorderTest, TheTimeShowsHoursMinutesAndSecondsFromTheSampleCount) {
    record.SetRecordFormat(44100, 2);
    recorder->AudioRecord1Timer(qint64(3723) * 44100);
    EXPECT_EQ(labtime, QStringLiteral("R:01:02:03"));
    EXPECT_EQ(recorder->recordTime(), QStringLiteral("01:02:03"));
    recorder->AudioRecord1Timer(qint64(100 * 3600 + 59) * 44100);
    EXPECT_EQ(labtime, QStringLiteral("R:100:00:59"));
}

// Tone A then tone B in a loop, each titled while it plays.
test::IcyMount twoTitles(test::ToneFormat format = test::ToneFormat::Mp3) {
    test::IcyMount mount;
    const QByteArray &a = toneFile(format, 440, 3.0);
    const QByteArray &b = toneFile(format, 880, 3.0);
    mount.audio = a + b;
    mount.metaint = 1024;
    mount.metadataAt = {{0, test::streamTitle(QStringLiteral("A"))},
                        {a.size(), test::streamTitle(QStringLiteral("B"))}};
    return mount;
}

TEST_F(RecorderTest, SplitByTitleGivesOneFilePerTitleWithItsOwnTone) {
    server.addMount(QStringLiteral("/two"), twoTitles());
    play(QStringLiteral("/two"));
    split = true;
    genre = QStringLiteral("Pop");
    recordFor(8.5);

    // The first and last pieces are cut by the start and the stop; the ones between are whole.
    ASSERT_GE(list.rowCount(), 3) << files().join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(list.rowCount(), files().size());
    for (int row = 0; row < list.rowCount(); ++row) {
        const QString path = list.rowPath(row);
        const test::AudioFacts facts = test::probeAudio(path);
        const bool isB = facts.title == QLatin1String("B");
        EXPECT_TRUE(isB || facts.title == QLatin1String("A")) << facts.title.toStdString();
        EXPECT_TRUE(QFileInfo(path).fileName().startsWith(facts.title));
        EXPECT_EQ(facts.genre, QStringLiteral("Pop"));
        const auto sound = test::decodeFirstChannel(path);
        const double seconds = double(sound.size()) / 44100;
        const double hz = isB ? 880 : 440;
        if (row > 0 && row + 1 < list.rowCount()) {
            EXPECT_NEAR(seconds, 3.0, 0.15) << path.toStdString();
        }
        // The cut lies where the tones change, not seconds off: both ends carry the title's tone.
        if (seconds > 0.7) {
            EXPECT_NEAR(test::frequencyAt(sound, 0.1, 0.2), hz, hz * 0.03) << path.toStdString();
            EXPECT_NEAR(test::frequencyAt(sound, seconds - 0.35, 0.2), hz, hz * 0.03) << path.toStdString();
        }
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
}

// The recorded MP3 without the tags TagLib put around it.
QByteArray mp3Payload(QByteArray bytes) {
    if (bytes.startsWith("ID3") && bytes.size() > 10) {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
        const int size = (p[6] & 0x7F) << 21 | (p[7] & 0x7F) << 14 | (p[8] & 0x7F) << 7 | (p[9] & 0x7F);
        bytes.remove(0, 10 + size + ((p[5] & 0x10) ? 10 : 0));
    }
    if (bytes.size() >= 128 && bytes.mid(bytes.size() - 128, 3) == "TAG")
        bytes.chop(128);
    return bytes;
}

TEST_F(RecorderTest, AsBroadcastTheStationsOwnFramesAreWrittenByteForByte) {
    test::IcyMount mount;
    mount.audio = toneFile(test::ToneFormat::Mp3, 440, 6.0);
    server.addMount(QStringLiteral("/live"), mount);
    play(QStringLiteral("/live"));
    broadcast = true;
    title = QStringLiteral("Live");
    recorder->StartRecording();
    EXPECT_TRUE(recorder->recordingAsBroadcast());
    recorder->StopRecording();
    recordFor(3.0);
    ASSERT_EQ(list.rowCount(), 2);

    const QByteArray payload = mp3Payload(test::readBytes(list.rowPath(0))); // the newest on top
    const QByteArray served = mount.audio + mount.audio + mount.audio;
    ASSERT_GT(payload.size(), 2 * 16000);
    const qsizetype at = served.indexOf(payload);
    ASSERT_GE(at, 0) << "the frames are not the served bytes";
    qsizetype boundary = 0;
    for (const StreamFrame &f : splitStreamFrames(mount.audio).frames) {
        if (boundary >= at % mount.audio.size())
            break;
        boundary += f.bytes.size();
    }
    EXPECT_EQ(boundary, at % mount.audio.size()) << "the file does not start at a frame";
    const test::AudioFacts facts = test::probeAudio(list.rowPath(0));
    EXPECT_EQ(facts.title, QStringLiteral("Live"));
    // The station's frames arrive as the server sends them, a little ahead of
    // the clock on a busy machine: about the three seconds, not the whole stream.
    EXPECT_NEAR(facts.seconds, 3.0, 0.75);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();

    // A format the station does not send goes through the encoder as usual.
    format = 1;
    recorder->StartRecording();
    EXPECT_FALSE(recorder->recordingAsBroadcast());
    recorder->StopRecording();
    EXPECT_TRUE(list.rowPath(0).endsWith(QStringLiteral(".wav")));
}

TEST_F(RecorderTest, AsBroadcastAnOggStationGivesAPlayableOggOfItsOwnPages) {
    test::IcyMount mount;
    mount.audio = toneFile(test::ToneFormat::OggVorbis, 440, 6.0, QStringLiteral("Ogg"));
    mount.contentType = "application/ogg";
    mount.metaint = 0;
    mount.bytesPerSecond = int(mount.audio.size() / 6);
    server.addMount(QStringLiteral("/ogg"), mount);
    play(QStringLiteral("/ogg"));
    broadcast = true;
    format = 3;
    recordFor(2.5);
    ASSERT_EQ(list.rowCount(), 1);
    const QString path = list.rowPath(0);
    const test::AudioFacts facts = test::probeAudio(path);
    EXPECT_EQ(facts.codec, QStringLiteral("vorbis"));
    const auto sound = test::decodeFirstChannel(path);
    EXPECT_GT(sound.size(), std::size_t(1.5 * 44100));
    EXPECT_NEAR(test::frequencyAt(sound, 0.2, 1.0), 440.0, 3.0);
    // Past the headers (whose comments now carry the tags) the pages are the served ones.
    const QByteArray bytes = test::readBytes(path);
    const QByteArray lastPages = bytes.right(2000);
    EXPECT_TRUE(mount.audio.contains(lastPages) || (mount.audio + mount.audio).contains(lastPages));
}

TEST_F(RecorderTest, FlacAndOpusRecordingsAndAnOpusStationAsBroadcast) {
    using Case = std::tuple<test::ToneFormat, bool, int, int, const char *>;
    for (const auto &[tone, asBroadcast, kind, rate, codec] :
         {Case{test::ToneFormat::Mp3, false, 4, 44100, "flac"},
          Case{test::ToneFormat::Mp3, false, 5, 48000, "opus"},
          Case{test::ToneFormat::OggOpus, true, 5, 48000, "opus"}}) {
        SCOPED_TRACE(std::string(codec) + (asBroadcast ? " as broadcast" : ""));
        test::IcyMount mount;
        mount.audio = toneFile(tone, 440, 6.0);
        if (asBroadcast)
            std::tie(mount.contentType, mount.metaint, mount.bytesPerSecond) =
                std::tuple("application/ogg", 0, int(mount.audio.size() / 6));
        server.addMount(QStringLiteral("/%1").arg(list.rowCount()), mount);
        play(QStringLiteral("/%1").arg(list.rowCount()));
        std::tie(broadcast, format) = std::tuple(asBroadcast, kind);
        recordFor(2.0);
        const QString path = list.rowPath(0);
        const test::AudioFacts facts = test::probeAudio(path);
        EXPECT_EQ(facts.codec + QString::number(facts.sampleRate),
                  QLatin1String(codec) + QString::number(rate));
        EXPECT_NEAR(test::frequencyAt(test::decodeFirstChannel(path), 0.5, 1.0), 440.0, 3.0);
        EXPECT_EQ(asBroadcast, (mount.audio + mount.audio).contains(test::readBytes(path).right(2000)));
        library.StreamFree(std::exchange(streamHandle, 0));
    }
}

TEST(RecordingsListTest, RowsClicksAndDelFileWhichKeepsTheFile) {
    QTemporaryDir dir;
    StationSelection lists;
    RecordingsList list(lists);
    const QString a = dir.filePath(QStringLiteral("a.mp3"));
    const QString b = dir.filePath(QStringLiteral("b.mp3"));
    test::writeBytes(a, "a");
    test::writeBytes(b, "b");
    QStringList opened;
    list.openTagEditor = [&](const QString &path) { opened << path; };
    list.Id3Info1->trigger();
    EXPECT_TRUE(opened.isEmpty()); // nothing when the list is empty

    list.AddRecording(b, QStringLiteral("Jazz"), QStringLiteral("00:02:00"));
    list.AddRecording(a, QStringLiteral("Rock"), QStringLiteral("00:01:00"));
    EXPECT_EQ(list.selectedRow(), 0); // the newest on top
    list.selection.clearSelection();
    lists.stationListActive = true;
    list.LV_RClick();
    EXPECT_EQ(list.selectedRow(), 0); // nothing selected: the first row
    EXPECT_FALSE(lists.stationListActive);
    list.selection.clearSelection();
    list.playingRow = [] { return 1; };
    list.LV_RClick();
    EXPECT_EQ(list.selectedRow(), 1); // the row being played
    list.LV_RMouseDown(Qt::RightButton);
    EXPECT_EQ(lists.currentRow, 1);
    list.Id3Info1->trigger();
    EXPECT_EQ(opened, QStringList{b});

    list.Delfile1->trigger();
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.rowPath(0), a);
    EXPECT_TRUE(QFileInfo::exists(b));

    // Earlier runs' files below, newest first; links and FIFOs are not listed.
    const QString earlier = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(earlier);
    for (const auto &[name, hoursAgo] : {std::pair{"old.mp3", 2}, std::pair{"new.wav", 1}}) {
        QFile file(earlier + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.setFileTime(QDateTime::currentDateTime().addSecs(-3600 * hoursAgo),
                         QFileDevice::FileModificationTime);
    }
    QFile::link(earlier + QStringLiteral("/new.wav"), earlier + QStringLiteral("/link.mp3"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(earlier + QStringLiteral("/pipe.mp3")).constData(), 0600), 0);
    list.ListEarlierRecordings(earlier);
    QStringList titles;
    for (int row = 0; row < list.rowCount(); ++row)
        titles << list.LV_R.item(row)->text();
    EXPECT_EQ(titles,
              (QStringList{QStringLiteral("a.mp3"), QStringLiteral("new.wav"), QStringLiteral("old.mp3")}));
    list.LV_R.removeRows(1, 2);

    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("share")).toUtf8());
    for (const bool agree : {false, true}) {
        list.confirmTrash = [agree](const QString &) { return agree; };
        list.selectRow(0);
        list.TrashFile1->trigger();
        EXPECT_EQ(std::pair(QFileInfo::exists(a), list.rowCount()), std::pair(!agree, agree ? 0 : 1));
    }
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("share/Trash/files"))).entryList(QDir::Files),
              QStringList{QStringLiteral("a.mp3")});
}

} // namespace
