#include "WindowFixture.h"
#include "app/ClockTimer.h"
#include "app/SkinSurface.h"
#include "common/SettingsFile.h"
#include "options/OptionsDialog.h"
#include "platform/skin/Skin.h"
#include "platform/sound/AudioRecord.h"
#include "radio/Recorder.h"
#include "radio/RecordingsList.h"
#include "support/AudioCheck.h"
#include "support/Files.h"
#include "support/Wait.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimeEdit>
#include <QTreeView>

using namespace varnelo;

namespace {

class RecordingWindowTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        QDir().mkpath(dir.filePath(QStringLiteral("out")));
        SettingsFile settings(dir.filePath(QStringLiteral("temp.ini")));
        settings.writeString(QStringLiteral("video"), QStringLiteral("path"),
                             dir.filePath(QStringLiteral("out")));
        settings.commit();
    }
    void TearDown() override {
        w.reset();
        WindowTest::TearDown();
    }
    void click(const char *name) { w->surface().SkinClick(w->skin->GetObject(QLatin1String(name))); }
    QStringList recorded() const { return QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files); }

    std::unique_ptr<MainWindow> w;
};

// Silence is never recorded as if it were a station: with nothing playing the
// selected station (by hand) or the last one played (by the schedule) starts
// first, and without one nothing is recorded and the strip says why.
TEST_F(RecordingWindowTest, TheRecordButtonRecordsAStationUnlessLocalPlaybackRuns) {
    w = startWindow();
    ASSERT_TRUE(playFile(*w));
    click("btnrec");
    EXPECT_FALSE(w->recorder().recording());
    w->localPlayer().StopPlayback();
    w->RecordWhatPlays(true);
    EXPECT_TRUE(w->lab_state->text().startsWith(QStringLiteral("The scheduled recording did not start")));
    w->catalogue().selectRow(-1);
    click("btnrec");
    EXPECT_FALSE(w->recorder().recording());
    EXPECT_TRUE(w->lab_state->text().startsWith(QStringLiteral("Nothing is playing")));
    EXPECT_TRUE(recorded().isEmpty());

    test::IcyServer icy;
    ASSERT_TRUE(icy.start());
    addStation(*w, icy);
    click("btnrec");
    ASSERT_TRUE(test::waitUntil([&] { return w->recorder().recording(); }, 20000));
    EXPECT_TRUE(w->player().stationPlaying());
    EXPECT_FALSE(w->LV_R->isVisible());
    ASSERT_TRUE(test::waitUntil([&] { return w->audioRecord().RecordedSamples() > 44100; }));
    click("btnrec"); // a second click ends it
    EXPECT_FALSE(w->recorder().recording());
    ASSERT_EQ(recorded().size(), 1);
    w->player().StopRadioOrRecording();
    w->RecordWhatPlays(true); // the schedule: the station that played last
    ASSERT_TRUE(test::waitUntil([&] { return w->recorder().recording(); }, 20000));
    EXPECT_EQ(w->player().address(), icy.url(QStringLiteral("/station")));
    w->recorder().StopRecording();
    // The list shows under the station list with the new rows.
    EXPECT_TRUE(w->LV_R->isVisible());
    EXPECT_FALSE(!w->shownPage().recordingsListShown());
    ASSERT_EQ(w->recordings().rowCount(), 2);
    EXPECT_EQ(w->recordings().LV_R.item(0, 1)->text(), QStringLiteral("Other"));
    EXPECT_EQ(w->skin->GetObject(QStringLiteral("labtime")).AsText().GetText(), QStringLiteral("00:00:00"));
    EXPECT_EQ(test::probeAudio(w->recordings().rowPath(1)).genre, QStringLiteral("Other")); // the first one
    EXPECT_TRUE(unhandled.isEmpty()) << unhandled.join(QLatin1Char('\n')).toStdString();
}

TEST_F(RecordingWindowTest, TheRecordingsPopupAndItsEntries) {
    w = startWindow();
    QStringList entries;
    for (QAction *a : w->p_record->actions())
        entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(entries, (QStringList{QStringLiteral("Play/Pause"), QStringLiteral("Stop"), QStringLiteral("-"),
                                    QStringLiteral("Remove from list"), QStringLiteral("Move file to trash"),
                                    QStringLiteral("-"), QStringLiteral("Id3 Info")}));
    const QString path = dir.filePath(QStringLiteral("out/kept.mp3"));
    test::writeBytes(path, "x");
    w->recordings().AddRecording(path, QStringLiteral("Rock"), QStringLiteral("00:00:01"));
    w->recordings().Delfile1->trigger();
    EXPECT_EQ(w->recordings().rowCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(RecordingWindowTest, DevicesListProgramOutputFirstAndTheChoiceIsAppliedAndKept) {
    SettingsFile settings(dir.filePath(QStringLiteral("temp.ini")));
    settings.writeInteger(QStringLiteral("rd"), QStringLiteral("rd"), 50);
    settings.commit();
    w = startWindow();
    QComboBox *devices = w->options()->cb_rd();
    ASSERT_EQ(devices->count(), w->audioRecord().GetMaxDeviceIndex() + 1);
    EXPECT_EQ(devices->itemText(0), QStringLiteral("Program output"));
    // A remembered device that is gone: "Program output".
    EXPECT_EQ(devices->currentIndex(), 0);
    EXPECT_EQ(w->audioRecord().GetDevice(), 0);
    EXPECT_EQ(w->options()->cb_rdson()->itemText(0), QStringLiteral("Program output"));
    const int last = devices->count() - 1;
    Q_EMIT devices->activated(last);
    EXPECT_EQ(w->audioRecord().GetDevice(), last);
    EXPECT_EQ(w->settings.readInteger(QStringLiteral("rd"), QStringLiteral("rd"), -1), last);
}

TEST_F(RecordingWindowTest, PowerOffAtTheSetTimeEndsTheRecordingAndSavesFirst) {
    w = startWindow();
    const QString trees = data(QStringLiteral("treetext.txt"));
    EXPECT_EQ(QFileInfo(trees).size(), 0);
    // Saved with OK, as the clock reads the switch from the file.
    w->options()->CB_SHOWD()->setChecked(true);
    w->options()->dtpTime()->setTime(QTime(10, 0, 2));
    w->options()->OkClick();
    ASSERT_TRUE(unhandled.isEmpty()) << unhandled.join(QLatin1Char('\n')).toStdString();

    w->recorder().StartRecording();
    ASSERT_TRUE(w->recorder().recording());
    ASSERT_TRUE(test::waitUntil([&] { return w->audioRecord().RecordedSamples() > 44100; }));
    int powerOffsWhenFinished = -1;
    QObject::connect(&w->recorder(), &Recorder::fileFinished,
                     [&] { powerOffsWhenFinished = shell.powerOffs; });
    test::IcyServer icy; // a paused station no longer holds the power-off
    ASSERT_TRUE(icy.start());
    ASSERT_TRUE(playStation(*w, icy));
    w->player().PlayPauseStation();
    ASSERT_TRUE(w->player().stationPaused());
    clock.current = QDateTime(QDate(2026, 1, 2), QTime(10, 0, 1));
    w->clockTimer().Timer1Timer();
    EXPECT_EQ(shell.powerOffs, 0);
    clock.current = QDateTime(QDate(2026, 1, 2), QTime(10, 0, 3)); // a late tick: the second is not lost
    w->clockTimer().Timer1Timer();
    PowerOffCountdown *warning = w->powerOffCountdown();
    ASSERT_TRUE(warning && warning->isVisible()); // a minute's warning first, which Cancel ends
    EXPECT_EQ(shell.powerOffs, 0);
    EXPECT_TRUE(w->recorder().recording());
    warning->cancelButton->click();
    clock.current = clock.current.addSecs(PowerOffCountdown::Seconds);
    warning->tick();
    EXPECT_EQ(shell.powerOffs, 0);
    w->StartPowerOffCountdown();
    clock.current = clock.current.addSecs(PowerOffCountdown::Seconds);
    warning->tick();
    EXPECT_EQ(shell.powerOffs, 1);
    EXPECT_EQ(powerOffsWhenFinished, 0); // the file was finished before the power-off was asked for
    EXPECT_FALSE(w->recorder().recording());
    ASSERT_EQ(w->recordings().rowCount(), 1);
    const test::AudioFacts facts = test::probeAudio(w->recordings().rowPath(0));
    EXPECT_EQ(facts.codec, QStringLiteral("mp3"));
    EXPECT_GT(facts.seconds, 0.8);
    EXPECT_EQ(facts.genre, QStringLiteral("Other"));
    EXPECT_GT(QFileInfo(trees).size(), 0); // the shutdown's saving ran
    EXPECT_TRUE(unhandled.isEmpty()) << unhandled.join(QLatin1Char('\n')).toStdString();
}

} // namespace
