// Local playback through the silent output: what reaches the mixer, the time
// text, the seek bar and the row that plays.
#include "common/Error.h"
#include "library/FileListPlayer.h"
#include "library/LocalPlayer.h"
#include "library_fixtures.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/sound/AudioPlayer.h"
#include "platform/sound/SoundOutput.h"
#include "platform/tags/AudioInformation.h"
#include "support/FakePlayer.h"
#include "support/Wait.h"

#include <QProcess>
#include <QThread>
#include <cmath>
#include <limits>
#include <mutex>
#include <tuple>

namespace varnelo::test {
namespace {

// Counts what the mixer hands to a tap: frames with sound, and sign changes
// of the left side among them (twice the frequency per second).
class Listener {
public:
    explicit Listener(SoundOutput &output) : output_(output) {
        id_ = output_.addTap([this](const float *frames, std::size_t count) {
            std::lock_guard lock(mutex_);
            mixed_ += qint64(count);
            for (std::size_t i = 0; i < count; ++i) {
                const float left = frames[2 * i];
                left_.push_back(left);
                if (std::fabs(left) > 0.02f || std::fabs(frames[2 * i + 1]) > 0.02f)
                    ++sounding_;
                const bool positive = left >= 0;
                if (positive != positive_)
                    ++crossings_;
                positive_ = positive;
            }
        });
    }
    ~Listener() { output_.removeTap(id_); }
    void reset() {
        std::lock_guard lock(mutex_);
        sounding_ = crossings_ = 0;
        left_.clear();
    }
    // The left side of every frame mixed since the last reset.
    std::vector<float> left() const {
        std::lock_guard lock(mutex_);
        return left_;
    }
    qint64 sounding() const {
        std::lock_guard lock(mutex_);
        return sounding_;
    }
    // Waits until the mixer has handed on `frames` more frames, sound or silence.
    bool mixed(qint64 frames) const {
        qint64 start;
        {
            std::lock_guard lock(mutex_);
            start = mixed_;
        }
        return waitUntil([&] {
            std::lock_guard lock(mutex_);
            return mixed_ >= start + frames;
        });
    }
    double frequency() const {
        std::lock_guard lock(mutex_);
        return sounding_ == 0 ? 0 : crossings_ / 2.0 / (double(sounding_) / SoundOutput::MixRate);
    }

private:
    SoundOutput &output_;
    int id_ = 0;
    mutable std::mutex mutex_;
    qint64 sounding_ = 0;
    qint64 crossings_ = 0;
    qint64 mixed_ = 0;
    std::vector<float> left_;
    bool positive_ = true;
};

class PlaybackTest : public LibraryFixture {
protected:
    void SetUp() override {
        LibraryFixture::SetUp();
        player.setLabtime = [this](const QString &text) { times << text; };
        player.setBar = [this](int value) {
            barShown = value;
            bars << value;
        };
        player.bar = [this] { return barShown; };
        player.deleteEntries = [this] { entries.DeleteEntries(); };
    }

    QString tone(const QString &name, int hz, double seconds, int rate = 44100) {
        const QString path = mediaFile(name);
        QProcess sox;
        sox.start(QStringLiteral("sox"),
                  {QStringLiteral("-n"), QStringLiteral("-r"), QString::number(rate), QStringLiteral("-c"),
                   QStringLiteral("2"), QStringLiteral("-b"), QStringLiteral("16"), path,
                   QStringLiteral("synth"), QString::number(seconds), QStringLiteral("sine"),
                   QString::number(hz), QStringLiteral("vol"), QStringLiteral("0.5")});
        EXPECT_TRUE(sox.waitForFinished(60000) && sox.exitCode() == 0)
            << sox.readAllStandardError().constData();
        return path;
    }
    void addRow(const QString &title, const QString &path) {
        library.appendTrackRow(track(title, QStringLiteral("A"), QStringLiteral("B"), path));
    }
    bool waitSounding(qint64 frames, int timeoutMs = 8000) {
        return waitUntil([&] { return listener.sounding() >= frames; }, timeoutMs);
    }
    static qint64 seconds(double s) { return static_cast<qint64>(s * SoundOutput::MixRate); }

    std::unique_ptr<SoundOutput> output = SoundOutput::create(SoundOutput::Backend::Null);
    Listener listener{*output};
    AudioFile file;
    AudioPlayer audioPlayer{*output};
    LocalPlayer player{page, library, file, audioPlayer};
    QStringList times;
    QList<int> bars;
    int barShown = 0;
};

TEST(PlaybackConversions, RoundHalvesAwayFromZeroAndFlagZeroDivisorOrOverflow) {
    EXPECT_EQ(MulDivRound(1, 1, 2), 1);    // 0.5 up
    EXPECT_EQ(MulDivRound(1, 1, 3), 0);    // 0.33 down
    EXPECT_EQ(MulDivRound(2, 1, 3), 1);    // 0.67 up
    EXPECT_EQ(MulDivRound(-1, 1, 2), -1);  // -0.5 away from zero
    EXPECT_EQ(MulDivRound(-5, 1, 4), -1);  // -1.25
    EXPECT_EQ(MulDivRound(7, 3, -2), -11); // -10.5
    EXPECT_EQ(MulDivRound(3750, 1000, LocalPlayer::BarMax), 500);
    EXPECT_EQ(MulDivRound(1, 1, 0), -1);
    EXPECT_EQ(MulDivRound(0, 0, 0), -1);
    // The product passes 64 bits and is still exact.
    const qint64 big = std::numeric_limits<qint64>::max();
    EXPECT_EQ(MulDivRound(big, 7500, 7500), big);
    EXPECT_EQ(MulDivRound(big, 2, 1), -1);
    // Beyond 32 bits: a day-long recording at 48 kHz still places the bar.
    EXPECT_EQ(MulDivRound(3750, 4'147'200'000LL, 7500), 2'073'600'000LL);
}

TEST(PlaybackConversions, ElapsedTextPadsEveryPartAndLetsHoursGrow) {
    EXPECT_EQ(ElapsedText(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(ElapsedText(3725), QStringLiteral("01:02:05"));
    EXPECT_EQ(ElapsedText(100 * 3600), QStringLiteral("100:00:00"));
    EXPECT_EQ(ElapsedText(59), QStringLiteral("00:00:59"));
    EXPECT_EQ(ElapsedText(-4), QStringLiteral("00:00:00"));
}

TEST_F(PlaybackTest, ListPlaysThroughInRowOrderAndStopsAfterTheLastRow) {
    addRow(QStringLiteral("low"), tone(QStringLiteral("low.wav"), 440, 1.2));
    addRow(QStringLiteral("high"), tone(QStringLiteral("high.wav"), 1760, 1.2));
    showRoot(LibraryCatalogue::AllTitleRoot); // the list comes from music.dat: fill it again
    addRow(QStringLiteral("low"), mediaFile(QStringLiteral("low.wav")));
    addRow(QStringLiteral("high"), mediaFile(QStringLiteral("high.wav")));
    library.selectRow(0);

    player.PlayPause();
    EXPECT_NE(player.state(), PlayState::Stopped);
    EXPECT_FALSE(player.paused());
    EXPECT_EQ(library.lists.playingIndex, 0);
    EXPECT_EQ(library.lists.playingListText, QStringLiteral("All Title"));
    EXPECT_EQ(player.highlightedRow(LocalPlayer::List::Library), 0);
    EXPECT_EQ(player.highlightedRow(LocalPlayer::List::Recordings), -1);
    ASSERT_TRUE(waitSounding(seconds(0.8)));
    EXPECT_NEAR(listener.frequency(), 440, 25);

    // The second row follows by itself, from its start.
    ASSERT_TRUE(waitUntil([&] { return library.lists.playingIndex == 1; }));
    EXPECT_EQ(player.CurrentFile, mediaFile(QStringLiteral("high.wav")));
    EXPECT_EQ(library.selectedRow(), 1);
    listener.reset();
    ASSERT_TRUE(waitSounding(seconds(0.5)));
    EXPECT_NEAR(listener.frequency(), 1760, 60);

    ASSERT_TRUE(waitUntil([&] { return player.state() == PlayState::Stopped; }));
    EXPECT_EQ(times.last(), QStringLiteral("00:00:00"));
    EXPECT_EQ(bars.last(), 0);
    EXPECT_EQ(player.highlightedRow(LocalPlayer::List::Library), -1);
    // While it played the bar climbed and the time read one second.
    EXPECT_TRUE(times.contains(QStringLiteral("00:00:01")));
    EXPECT_GT(*std::max_element(bars.begin(), bars.end()), 6000);
    // Together about 2.4 s of sound: each row once, nothing repeated.
    EXPECT_NEAR(double(listener.sounding() + seconds(1.2)) / SoundOutput::MixRate, 2.4, 0.35);
}

// ReplayGain levels what plays, never past the file's peak; off, it plays as it is.
TEST_F(PlaybackTest, ReplayGainLevelsWhatPlaysWithinThePeak) {
    const QString file = tone(QStringLiteral("rg.wav"), 440, 1.0);
    AudioInformation().SaveFields(file,
                                  {{QStringLiteral("REPLAYGAIN_TRACK_GAIN"), QStringLiteral("-40.00 dB")},
                                   {QStringLiteral("REPLAYGAIN_TRACK_PEAK"), QStringLiteral("0.5")},
                                   {QStringLiteral("REPLAYGAIN_ALBUM_GAIN"), QStringLiteral("+12.00 dB")},
                                   {QStringLiteral("REPLAYGAIN_ALBUM_PEAK"), QStringLiteral("0.8")}});
    addRow(QStringLiteral("rg"), file);
    for (const auto &[mode, factor] : {std::pair{0, 1.0}, std::pair{2, 1.25}, std::pair{1, 0.01}}) {
        player.StopPlayback();
        player.replayGainMode = [mode = mode] { return mode; };
        library.selectRow(0);
        listener.reset();
        player.PlayPause();
        EXPECT_NEAR(player.playbackGain(), factor, 1e-4) << mode;
    }
    // At -40 dB the tone (half of full scale) stays under what the listener counts as sound.
    ASSERT_TRUE(waitUntil([&] { return player.state() == PlayState::Stopped; }));
    EXPECT_EQ(listener.sounding(), 0);
}

// One tone cut in two off any codec frame boundary plays as it was, row after
// row: no silence or click at the join, and the second row lights up as it is heard.
TEST_F(PlaybackTest, HalvesOfOneToneFollowEachOtherWithoutABreak) {
    AudioFile source;
    ASSERT_TRUE(source.OpenSource(tone(QStringLiteral("whole.wav"), 440, 2.0)));
    const SampleBlock all = source.ReadSamples(source.Length());
    const qint64 length = qint64(all.size() / 2), split = 40000; // not a multiple of 576 or 4096
    std::vector<float> wave(static_cast<std::size_t>(length));
    for (qint64 i = 0; i < length; ++i)
        wave[std::size_t(i)] = float(all[std::size_t(2 * i)]) / 2147483648.0f;
    const auto onset = [](const std::vector<float> &v) {
        return qint64(std::find_if(v.begin(), v.end(), [](float x) { return std::fabs(x) > 0.01f; }) -
                      v.begin());
    };
    qint64 switchedAt = -1;
    QObject::connect(&player, &LocalPlayer::highlightChanged, [&] {
        if (library.lists.playingIndex == 1 && switchedAt < 0)
            switchedAt = qint64(listener.left().size());
    });
    // Lossless halves come back sample for sample; MP3 stays at its own noise.
    for (const auto &[ext, lossless] :
         {std::pair{"wav", true}, std::pair{"flac", true}, std::pair{"mp3", false}}) {
        SCOPED_TRACE(ext);
        library.lv2.setRowCount(0);
        for (const auto &[name, from, to] :
             {std::tuple{"a", qint64(0), split}, std::tuple{"b", split, length}}) {
            const QString path =
                mediaFile(QStringLiteral("%1.%2").arg(QLatin1String(name), QLatin1String(ext)));
            AudioFile half;
            half.SetFormat(44100, 2);
            ASSERT_TRUE(half.CreateOutputFile(path));
            half.WriteSamples(SampleBlock(all.begin() + 2 * from, all.begin() + 2 * to));
            half.CloseFile();
            ASSERT_EQ(half.ErrorCode(), 0) << half.ErrorText().toStdString();
            addRow(QLatin1String(name), path);
        }
        library.selectRow(0);
        switchedAt = -1;
        listener.reset();
        player.PlayPause();
        ASSERT_TRUE(waitUntil([&] { return player.state() == PlayState::Stopped; }));
        ASSERT_TRUE(listener.mixed(4410));
        const std::vector<float> heard = listener.left();
        const qint64 shift = onset(heard) - onset(wave);
        ASSERT_GE(shift, 0);
        ASSERT_GE(qint64(heard.size()), shift + length + 4410);
        // The error in 20 ms windows: where a break or click would be it stands out
        // from the codec's own noise, as measured in the first half.
        std::vector<double> windows;
        for (qint64 w = 0; w + 882 <= length; w += 441) {
            double sum = 0;
            for (qint64 i = w; i < w + 882; ++i)
                sum += std::pow(double(heard[std::size_t(shift + i)]) - wave[std::size_t(i)], 2);
            windows.push_back(std::sqrt(sum / 882));
        }
        std::vector<double> before(windows.begin(), windows.begin() + split / 441 - 4);
        std::nth_element(before.begin(), before.begin() + qsizetype(before.size() / 2), before.end());
        const double noise = before[before.size() / 2];
        EXPECT_EQ(noise == 0, lossless);
        EXPECT_LE(*std::max_element(windows.begin(), windows.end()), 1.5 * noise);
        // Nothing sounds past the source's length: no frame was added anywhere.
        EXPECT_EQ(onset(std::vector<float>(heard.begin() + shift + length, heard.end())),
                  qint64(heard.size()) - shift - length);
        EXPECT_GE(switchedAt, shift + split);
        EXPECT_LE(switchedAt, shift + split + 44100 / 2); // a busy machine delays the GUI thread
    }
}

TEST_F(PlaybackTest, PauseSilencesAndResumeGoesOnFromThePlaceItStood) {
    addRow(QStringLiteral("t"), tone(QStringLiteral("t.wav"), 440, 4));
    library.selectRow(0);
    player.PlayPause();
    ASSERT_TRUE(waitUntil([&] { return barShown >= 1875; })); // a quarter in
    player.PlayPause();
    EXPECT_TRUE(player.paused());
    EXPECT_NE(player.state(), PlayState::Stopped);
    const int barAtPause = barShown;
    ASSERT_TRUE(listener.mixed(2 * SoundOutput::MixRate / 100)); // the block mixed as the pause came
    listener.reset();
    ASSERT_TRUE(listener.mixed(seconds(0.4)));
    EXPECT_LT(listener.sounding(), seconds(0.05));
    EXPECT_EQ(barShown, barAtPause);

    times.clear();
    player.PlayPause();
    EXPECT_FALSE(player.paused());
    ASSERT_TRUE(waitSounding(seconds(0.3)));
    ASSERT_TRUE(waitUntil([&] { return !times.isEmpty(); }));
    // The time goes on from about one second, not from zero.
    EXPECT_EQ(times.first(), QStringLiteral("00:00:01"));
    EXPECT_GE(barShown, barAtPause);
    player.StopPlayback();
    EXPECT_EQ(player.state(), PlayState::Stopped);
    EXPECT_FALSE(file.GetFileOpen());
}

TEST_F(PlaybackTest, SeekDropsTheOldPlaceAndPlaysTheRestOnly) {
    addRow(QStringLiteral("t"), tone(QStringLiteral("t.wav"), 440, 4));
    library.selectRow(0);
    player.PlayPause();
    ASSERT_TRUE(waitSounding(seconds(0.3)));
    player.BeginSeek();
    EXPECT_TRUE(player.SeekDragging);
    const int before = barShown;
    listener.reset();
    barShown = 5625; // the user drags to three quarters: the feed must not move it back
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(barShown, 5625);
    EXPECT_LT(listener.sounding(), seconds(0.05));
    EXPECT_LT(before, 5625);

    player.EndSeek();
    EXPECT_FALSE(player.SeekDragging);
    EXPECT_EQ(player.startOffset(), file.Length() * 3 / 4);
    EXPECT_EQ(times.last(), QString());
    listener.reset();
    ASSERT_TRUE(waitUntil([&] { return player.state() == PlayState::Stopped; }));
    // One second was left: the queued sound of the old place did not play first.
    EXPECT_NEAR(double(listener.sounding()) / SoundOutput::MixRate, 1.0, 0.25);
    EXPECT_TRUE(times.contains(QStringLiteral("00:00:03")));
}

TEST_F(PlaybackTest, ReleasingTheBarWhilePausedPlaysAndTheNextPressPauses) {
    addRow(QStringLiteral("t"), tone(QStringLiteral("t.wav"), 440, 4));
    library.selectRow(0);
    player.PlayPause();
    player.PlayPause();
    ASSERT_TRUE(player.paused());
    player.BeginSeek();
    barShown = 3750;
    player.EndSeek();
    EXPECT_FALSE(player.paused());
    listener.reset();
    ASSERT_TRUE(waitSounding(seconds(0.2)));
    player.PlayPause();
    EXPECT_TRUE(player.paused());
}

TEST_F(PlaybackTest, NextPreviousAndSelectionWhenStopped) {
    addRow(QStringLiteral("a"), tone(QStringLiteral("a.wav"), 440, 3));
    addRow(QStringLiteral("b"), tone(QStringLiteral("b.wav"), 1760, 3));
    // Not playing: only the selection moves.
    library.selectRow(0);
    player.NextTrack();
    EXPECT_EQ(library.selectedRow(), 1);
    EXPECT_EQ(player.state(), PlayState::Stopped);
    player.PreviousTrack();
    player.PreviousTrack();
    EXPECT_EQ(library.selectedRow(), 0);
    EXPECT_EQ(library.lists.playingIndex, 0);

    player.PlayPause();
    ASSERT_TRUE(waitSounding(seconds(0.3)));
    player.NextTrack();
    EXPECT_EQ(library.lists.playingIndex, 1);
    EXPECT_NE(player.state(), PlayState::Stopped);
    listener.reset();
    ASSERT_TRUE(waitSounding(seconds(0.4)));
    EXPECT_NEAR(listener.frequency(), 1760, 60);
    // Past the last row the list has played out.
    player.NextTrack();
    EXPECT_EQ(player.state(), PlayState::Stopped);
    EXPECT_EQ(library.lists.playingIndex, 1);

    // Before the first row the first starts again.
    library.selectRow(0);
    player.PlayPause();
    player.PreviousTrack();
    EXPECT_NE(player.state(), PlayState::Stopped);
    EXPECT_EQ(library.lists.playingIndex, 0);
    EXPECT_EQ(player.CurrentFile, mediaFile(QStringLiteral("a.wav")));
    player.StopPlayback();
}

TEST_F(PlaybackTest, DoubleClickStopsThePlayingRowAndStartsTheClickedOneFromItsStart) {
    addRow(QStringLiteral("a"), tone(QStringLiteral("a.wav"), 440, 3));
    addRow(QStringLiteral("b"), tone(QStringLiteral("b.wav"), 1760, 3));
    library.selectRow(0);
    player.PlayPause();
    ASSERT_TRUE(waitUntil([&] { return barShown > 1000; }));
    // Another row selected: Play/Pause pauses and moves the highlight only.
    library.selectRow(1);
    player.PlayPause();
    EXPECT_TRUE(player.paused());
    EXPECT_EQ(library.lists.playingIndex, 1);
    EXPECT_EQ(player.CurrentFile, mediaFile(QStringLiteral("a.wav")));

    player.lv2DblClick();
    EXPECT_EQ(player.CurrentFile, mediaFile(QStringLiteral("b.wav")));
    EXPECT_EQ(player.startOffset(), 0);
    EXPECT_FALSE(player.paused());
    listener.reset();
    ASSERT_TRUE(waitSounding(seconds(0.3)));
    EXPECT_NEAR(listener.frequency(), 1760, 60);
    player.StopPlayback();
}

TEST_F(PlaybackTest, UnreadableEntryLeavesTheLibraryAndNothingClaimsToPlay) {
    const QString good = tone(QStringLiteral("good.wav"), 440, 1);
    const QString gone = mediaFile(QStringLiteral("gone.mp3"));
    write(QStringLiteral("music.dat"),
          {track(QStringLiteral("gone"), QStringLiteral("A"), QStringLiteral("B"), gone),
           track(QStringLiteral("good"), QStringLiteral("A"), QStringLiteral("B"), good)});
    showRoot(LibraryCatalogue::AllTitleRoot);
    library.selectRow(0);
    player.PlayPause();
    EXPECT_EQ(player.state(), PlayState::Stopped);
    EXPECT_FALSE(file.GetFileOpen());
    EXPECT_EQ(titles(QStringLiteral("music.dat")), QStringList{QStringLiteral("good")});
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("good")});

    // The start of adding files: the failure is an error, and the state is clean.
    library.appendTrackRow(track(QStringLiteral("gone"), QStringLiteral("A"), QStringLiteral("B"), gone));
    player.PlayRow(0);
    EXPECT_THROW(player.PlayRow(1), Error);
    EXPECT_EQ(player.state(), PlayState::Stopped);
}

TEST_F(PlaybackTest, TimeAndBarAtTheEndOfALongTrack) {
    // 1 h 2 min 5 s at a low rate keeps the file small.
    addRow(QStringLiteral("long"), tone(QStringLiteral("long.wav"), 100, 3725, 1000));
    player.PlayRow(0);
    audioPlayer.Stop();
    player.AudioPlayerTimer(file.Length());
    EXPECT_EQ(times.last(), QStringLiteral("01:02:05"));
    EXPECT_EQ(barShown, LocalPlayer::BarMax);
    player.AudioPlayerTimer(file.Length() / 2);
    EXPECT_EQ(barShown, 3750);

    // With the rip page shown the local progress leaves both alone.
    page.show(Page::Rip);
    const int shown = static_cast<int>(times.size());
    player.AudioPlayerTimer(0);
    EXPECT_EQ(times.size(), shown);
    EXPECT_EQ(barShown, 3750);
    player.StopPlayback();
}

TEST_F(PlaybackTest, RecordingsListPlaysOnTheRadioPageAndContinuesThere) {
    QStandardItemModel recordings;
    QItemSelectionModel selection(&recordings);
    for (const auto &[name, hz] :
         {std::pair{QStringLiteral("r1.wav"), 440}, std::pair{QStringLiteral("r2.wav"), 1760}})
        recordings.appendRow({new QStandardItem(name), new QStandardItem(QStringLiteral("Jazz")),
                              new QStandardItem(QStringLiteral("00:00:01")),
                              new QStandardItem(tone(name, hz, 0.8))});
    addRow(QStringLiteral("library"), tone(QStringLiteral("lib.wav"), 3000, 0.8));
    player.setRecordingsList(&recordings, &selection);
    // What played before stops, through the coordinator.
    FakePlayback playback;
    playback.coordinator.add(player);
    playback.station.force(PlayState::Playing);
    page.show(Page::Radio);
    library.lists.playingListText = QStringLiteral("earlier");

    player.PlayPause();
    EXPECT_EQ(playback.station.calls, QStringList{QStringLiteral("stop")});
    EXPECT_EQ(player.CurrentFile, mediaFile(QStringLiteral("r1.wav")));
    EXPECT_EQ(player.highlightedRow(LocalPlayer::List::Recordings), 0);
    EXPECT_EQ(player.highlightedRow(LocalPlayer::List::Library), -1);
    // The radio page leaves the library's list text alone.
    EXPECT_EQ(library.lists.playingListText, QStringLiteral("earlier"));
    // A new recording goes on top while one plays: the playing row follows its file.
    recordings.insertRow(0, new QStandardItem(QStringLiteral("new.wav")));
    EXPECT_EQ(player.highlightedRow(LocalPlayer::List::Recordings), 1);
    ASSERT_TRUE(waitUntil([&] { return player.CurrentFile.endsWith(QStringLiteral("r2.wav")); }));
    ASSERT_TRUE(waitUntil([&] { return player.state() == PlayState::Stopped; }));
    EXPECT_EQ(selection.selectedRows().first().row(), 2);
}

// The command line's player goes through the same coordinator: it stops what
// played before, tells each file once, skips one it cannot open and ends.
TEST_F(PlaybackTest, FileListPlayerThroughTheCoordinator) {
    const QString bad = mediaFile(QStringLiteral("bad.wav"));
    writeBytes(bad, "not audio");
    const QStringList files{tone(QStringLiteral("a.wav"), 440, 0.3), bad,
                            tone(QStringLiteral("b.wav"), 880, 0.3)};
    FileListPlayer list(*output, files);
    FakePlayback playback;
    playback.coordinator.add(list);
    playback.station.force(PlayState::Playing);
    QStringList told, failed;
    bool ended = false;
    QObject::connect(&playback.coordinator, &PlaybackCoordinator::nowPlayingChanged,
                     [&] { told << playback.coordinator.nowPlaying().source; });
    QObject::connect(&list, &FileListPlayer::fileFailed,
                     [&](const QString &path, const QString &) { failed << path; });
    QObject::connect(&list, &FileListPlayer::listEnded, [&] { ended = true; });

    playback.coordinator.playPause(list);
    EXPECT_EQ(playback.station.calls, QStringList{QStringLiteral("stop")});
    ASSERT_TRUE(waitUntil([&] { return ended; }));
    EXPECT_EQ(told, (QStringList{QString(), files[0], files[2], QString()})); // the station stops first
    EXPECT_EQ(failed, QStringList{bad});
    EXPECT_EQ(list.failures(), 1);
    EXPECT_EQ(playback.coordinator.state(), PlayState::Stopped);
}

} // namespace
} // namespace varnelo::test
