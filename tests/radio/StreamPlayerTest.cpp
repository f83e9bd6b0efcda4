#include "radio/StreamPlayer.h"
#include "common/ShownPage.h"
#include "platform/sound/SoundOutput.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/DataFiles.h"
#include "radio/StationCatalogue.h"
#include "radio/StationConnector.h"
#include "radio/StationPanel.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/IcyServer.h"
#include "support/SilentListener.h"
#include "support/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

// One generated tone shared by the tests of this file.
const QByteArray &toneMp3() {
    static QTemporaryDir dir;
    static const QByteArray audio = test::makeTone({test::ToneFormat::Mp3, 440, 4.0}, dir.path());
    return audio;
}

class StreamPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(toneMp3().isEmpty());
        ASSERT_TRUE(server.start());
        CreateMissingDataFiles(DataFolder(dir.path()));
        catalogue.setPanelSource([this] {
            StationRecord r;
            r.Name = panel.ename->text();
            r.Genre = panel.egenre->text();
            r.StreamUrl = panel.url->text();
            r.HomeUrl = panel.eurl->text();
            return r;
        });
        StreamPlayerViews views;
        views.panel = &panel;
        views.panel_state = &panelState;
        views.lab_state = &labState;
        views.BitBtn1 = &mute;
        views.BitBtn2 = &unmute;
        views.setLabtime = [this](const QString &t) { labtime = t; };
        views.barv = [this] { return barv; };
        views.setBarv = [this](int v) { barv = v; };
        player = std::make_unique<StreamPlayer>(catalogue, library, prompts, shell, clock, views);
    }
    void TearDown() override { player.reset(); }

    void addStation(const QString &name, const QString &url) {
        StationRecord r;
        r.Name = name;
        r.StreamUrl = url;
        catalogue.appendStationRow(r);
    }
    test::IcyMount mount(QList<QByteArray> metadata = {}) {
        test::IcyMount m;
        m.audio = toneMp3();
        m.metadata = std::move(metadata);
        m.metadataIntervalMs = 600;
        return m;
    }
    bool connectRow(int row) {
        QSignalSpy done(player.get(), &StreamPlayer::connectFinished);
        catalogue.selectRow(row);
        player->StartStation();
        return done.wait(20000);
    }

    QTemporaryDir dir;
    test::IcyServer server;
    SetPage page;
    test::FakePrompts prompts;
    test::FakeShell shell;
    test::FakeClock clock;
    std::unique_ptr<SoundOutput> output = SoundOutput::create(SoundOutput::Backend::Null);
    StreamLibrary library{*output};
    StationCatalogue catalogue{page, DataFolder(dir.path()), prompts};
    StationPanel panel;
    QWidget panelState;
    QLabel labState;
    QPushButton mute;
    QPushButton unmute;
    QString labtime;
    int barv = 50;
    std::unique_ptr<StreamPlayer> player;
};

} // namespace

TEST_F(StreamPlayerTest, ConnectFillsThePanelFromTheHeadersAndTitlesReachTheStatus) {
    test::IcyMount m = mount({test::streamTitle(QStringLiteral("First - One")),
                              test::streamTitle(QStringLiteral("Second - Two"))});
    m.headers = {"icy-name: Radio X", "icy-genre:Jazz", "Icy-Url:http://ignored",
                 "icy-url:http://home.example"};
    server.addMount(QStringLiteral("/live"), m);
    addStation(QStringLiteral("X"), server.url(QStringLiteral("/live")));
    panel.show();

    catalogue.selectRow(0);
    QSignalSpy done(player.get(), &StreamPlayer::connectFinished);
    player->StartStation();
    EXPECT_TRUE(panelState.isVisibleTo(&panelState));
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(panel.url->text(), server.url(QStringLiteral("/live")));
    ASSERT_TRUE(done.wait(20000));

    EXPECT_TRUE(player->stationPlaying());
    EXPECT_FALSE(player->connecting());
    EXPECT_NE(player->streamHandle(), 0u);
    EXPECT_EQ(panel.ename->text(), QStringLiteral("Radio X")); // the blank after the colon goes
    EXPECT_EQ(panel.egenre->text(), QStringLiteral("Jazz"));
    EXPECT_EQ(panel.eurl->text(), QStringLiteral("http://home.example"));
    // A title that came before the connection finished is kept.
    EXPECT_TRUE(panel.Lstatus->text().isEmpty() || panel.Lstatus->text().endsWith(QStringLiteral(" - One")) ||
                panel.Lstatus->text() == QStringLiteral("Second - Two"));
    EXPECT_FALSE(panelState.isHidden()); // the state strip stays while the station plays
    EXPECT_TRUE(catalogue.audioInfo->isEnabled());
    EXPECT_EQ(player->positionMs(), 0); // counted from the connection
    // The metadata callback's next title arrives through the GUI thread.
    EXPECT_TRUE(
        test::waitUntil([&] { return panel.Lstatus->text() == QStringLiteral("Second - Two"); }, 15000));
    EXPECT_EQ(labState.text(), QStringLiteral("Second - Two"));
}

TEST_F(StreamPlayerTest, ASecondStartWhileConnectingOnlyBeeps) {
    test::IcyMount slow = mount();
    slow.hostile = test::Hostile::TrickleHeaders;
    server.addMount(QStringLiteral("/slow"), slow);
    server.addMount(QStringLiteral("/other"), mount());
    addStation(QStringLiteral("Slow"), server.url(QStringLiteral("/slow")));
    addStation(QStringLiteral("Other"), server.url(QStringLiteral("/other")));
    catalogue.selectRow(0);
    QSignalSpy done(player.get(), &StreamPlayer::connectFinished);
    player->StartStation();
    catalogue.selectRow(1);
    player->StartStation();
    EXPECT_EQ(shell.beeps, 1);
    EXPECT_EQ(panel.url->text(), server.url(QStringLiteral("/other")));
    EXPECT_EQ(catalogue.lists.currentRow, 1);
    ASSERT_TRUE(done.wait(30000));
    EXPECT_EQ(server.connections(QStringLiteral("/other")), 0);
}

TEST_F(StreamPlayerTest, AFailedConnectionAsksAboutTheNetworkOnlyWhenItIsDown) {
    addStation(QStringLiteral("Dead"), QStringLiteral("http://127.0.0.1:1/none"));
    ASSERT_TRUE(connectRow(0));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(panel.Lstatus->text(), QStringLiteral("Connection refused by 127.0.0.1:1"));
    EXPECT_EQ(labState.text(), panel.Lstatus->text());
    EXPECT_EQ(labtime, QStringLiteral("00:00:00"));
    EXPECT_FALSE(player->stationPlaying());
    EXPECT_EQ(player->streamHandle(), 0u);
    EXPECT_TRUE(panelState.isVisibleTo(&panelState)); // the reason stays in sight

    shell.reachable = false;
    ASSERT_TRUE(connectRow(0));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.shown[0].text.startsWith(QStringLiteral("The system reports no network")));
    EXPECT_EQ(prompts.shown[0].caption, dialogCaption());
    EXPECT_EQ(panel.Lstatus->text(), QStringLiteral("Connection refused by 127.0.0.1:1"));
}

TEST_F(StreamPlayerTest, PauseAndResumeKeepTheElapsedTimeWithoutThePause) {
    server.addMount(QStringLiteral("/live"), mount());
    addStation(QStringLiteral("X"), server.url(QStringLiteral("/live")));
    ASSERT_TRUE(connectRow(0));
    clock.current = clock.current.addSecs(10);
    player->PlayPauseStation();
    EXPECT_TRUE(player->stationPaused());
    EXPECT_EQ(library.ChannelIsActive(player->streamHandle()), StreamLibrary::Activity::Paused);
    clock.current = clock.current.addSecs(100);
    labtime.clear();
    player->ClockTick();
    EXPECT_TRUE(labtime.isEmpty()); // frozen while paused
    player->PlayPauseStation();
    EXPECT_FALSE(player->stationPaused());
    EXPECT_EQ(library.ChannelIsActive(player->streamHandle()), StreamLibrary::Activity::Playing);
    clock.current = clock.current.addSecs(3);
    player->ClockTick();
    EXPECT_EQ(labtime, QStringLiteral("00:00:13"));
}

TEST_F(StreamPlayerTest, StopClearsThePanelAndTheTime) {
    server.addMount(QStringLiteral("/live"), mount({test::streamTitle(QStringLiteral("A - B"))}));
    addStation(QStringLiteral("X"), server.url(QStringLiteral("/live")));
    ASSERT_TRUE(connectRow(0));
    bool recordingStopped = false;
    player->stopRecordingIfRunning = [&] {
        if (recordingStopped)
            return false;
        recordingStopped = true; // the first Stop ends only the recording
        return true;
    };
    player->StopRadioOrRecording();
    EXPECT_TRUE(player->stationPlaying());
    player->StopRadioOrRecording();
    EXPECT_FALSE(player->stationPlaying());
    EXPECT_EQ(library.ChannelIsActive(player->streamHandle()), StreamLibrary::Activity::Stopped);
    for (QLineEdit *e : {panel.url, panel.ename, panel.egenre, panel.eurl})
        EXPECT_TRUE(e->text().isEmpty());
    EXPECT_EQ(labtime, QStringLiteral("00:00:00"));
    EXPECT_FALSE(catalogue.audioInfo->isEnabled());
}

TEST_F(StreamPlayerTest, NextAndPreviousMoveTheSelectionAndRestartOnlyWhilePlaying) {
    server.addMount(QStringLiteral("/a"), mount());
    server.addMount(QStringLiteral("/b"), mount());
    addStation(QStringLiteral("A"), server.url(QStringLiteral("/a")));
    addStation(QStringLiteral("B"), server.url(QStringLiteral("/b")));
    player->NextStation(); // nothing selected: row 0
    EXPECT_EQ(catalogue.selectedRow(), 0);
    player->NextStation();
    player->NextStation(); // stays on the last row
    EXPECT_EQ(catalogue.selectedRow(), 1);
    EXPECT_TRUE(catalogue.lists.stationListActive);
    EXPECT_EQ(server.connections(QStringLiteral("/b")), 0);

    ASSERT_TRUE(connectRow(1));
    QSignalSpy done(player.get(), &StreamPlayer::connectFinished);
    player->NextStation(); // the last row restarts its own station
    ASSERT_TRUE(done.wait(20000));
    EXPECT_EQ(server.connections(QStringLiteral("/b")), 2);
    ASSERT_TRUE(player->stationPlaying()) << panel.Lstatus->text().toStdString();
    player->PreviousStation();
    ASSERT_TRUE(done.wait(20000));
    EXPECT_EQ(catalogue.selectedRow(), 0);
    EXPECT_EQ(panel.url->text(), server.url(QStringLiteral("/a")));
    EXPECT_EQ(server.connections(QStringLiteral("/a")), 1);
}

TEST_F(StreamPlayerTest, VolumeMuteUnmuteAndSteps) {
    library.SetVolume(40);
    player->MuteVolume();
    EXPECT_TRUE(mute.isHidden());
    EXPECT_FALSE(unmute.isHidden());
    EXPECT_EQ(library.GetVolume(), 0);
    barv = 30;
    player->VolumeStep(-1); // unmutes, then one below the bar
    EXPECT_FALSE(mute.isHidden());
    EXPECT_TRUE(unmute.isHidden());
    EXPECT_EQ(barv, 29);
    EXPECT_EQ(library.GetVolume(), 29);
    player->VolumeTrack(77);
    EXPECT_EQ(library.GetVolume(), 77);
}

TEST_F(StreamPlayerTest, AuditionAddsAnUnsavedRowAndConnectsIt) {
    server.addMount(QStringLiteral("/try"), mount());
    addStation(QStringLiteral("Selected FM"), server.url(QStringLiteral("/other")));
    catalogue.selectRow(0);
    panel.url->setText(QStringLiteral("  ") + server.url(QStringLiteral("/try")) + QStringLiteral(" "));
    QSignalSpy done(player.get(), &StreamPlayer::connectFinished);
    player->AuditionStation();
    ASSERT_EQ(catalogue.LV.rowCount(), 2);
    EXPECT_EQ(catalogue.stationRow(1).StreamUrl, server.url(QStringLiteral("/try")));
    EXPECT_EQ(panel.url->text(), server.url(QStringLiteral("/try")));
    ASSERT_TRUE(done.wait(20000));
    EXPECT_TRUE(player->stationPlaying());
    EXPECT_EQ(labState.text(), server.url(QStringLiteral("/try")));        // not "Selected FM"
    EXPECT_EQ(QFile(dir.filePath(QStringLiteral("radio.dat"))).size(), 0); // nothing saved
}

TEST_F(StreamPlayerTest, StopEndsAConnectThatWouldWaitItsFullTime) {
    test::SilentListener silent;
    ASSERT_TRUE(silent.listening());
    addStation(QStringLiteral("Silent"), silent.url(QStringLiteral("/live")));
    catalogue.selectRow(0);
    QSignalSpy done(player.get(), &StreamPlayer::connectFinished);
    player->StartStation();
    ASSERT_TRUE(test::waitUntil([&] { return panel.Lstatus->text() == QStringLiteral("connecting..."); }));
    QElapsedTimer clock;
    clock.start();
    player->StopRadioOrRecording();
    ASSERT_TRUE(done.wait(20000));
    EXPECT_LT(clock.elapsed(), 5000); // the connect alone would take its 10 s
    EXPECT_FALSE(player->connecting());
    EXPECT_FALSE(player->stationPlaying());
    EXPECT_EQ(player->streamHandle(), 0u);
    EXPECT_TRUE(panel.Lstatus->text().isEmpty()); // stopped, not failed
    EXPECT_TRUE(prompts.shown.empty());
}

// Each failure says what happened, shown as plain text with control
// characters escaped; a double-click whose first step fails says so too.
TEST_F(StreamPlayerTest, EveryFailureSaysWhatHappened) {
    server.addFile(QStringLiteral("/page"), "text/html", "<html><body>Please log in first</body></html>");
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("http://127.0.0.1:1/none"), QStringLiteral("Connection refused by 127.0.0.1:1")},
        {QStringLiteral("http://no-such-host.invalid/x"),
         QStringLiteral("The server name no-such-host.invalid could not be found")},
        {server.url(QStringLiteral("/nowhere")), QStringLiteral("The server answered 404 ")},
        {server.url(QStringLiteral("/page")), QStringLiteral("No audio in the answer (text/html)")},
    };
    for (const auto &[url, opening] : cases) {
        catalogue.LV.removeRows(0, catalogue.LV.rowCount());
        addStation(QStringLiteral("X"), url);
        ASSERT_TRUE(connectRow(0));
        EXPECT_TRUE(panel.Lstatus->text().startsWith(opening)) << panel.Lstatus->text().toStdString();
        EXPECT_EQ(labState.text(), panel.Lstatus->text());
    }
    EXPECT_EQ(panel.Lstatus->textFormat(), Qt::PlainText);
    EXPECT_EQ(labState.textFormat(), Qt::PlainText);

    server.addMount(QStringLiteral("/evil"),
                    mount({test::streamTitle(QStringLiteral("<b>Bold\x1b[2J</b>"))}));
    catalogue.LV.removeRows(0, catalogue.LV.rowCount());
    addStation(QStringLiteral("Evil"), server.url(QStringLiteral("/evil")));
    ASSERT_TRUE(connectRow(0));
    ASSERT_TRUE(test::waitUntil([&] { return !labState.text().isEmpty(); }, 15000));
    EXPECT_EQ(labState.text(), QStringLiteral("<b>Bold\\x1B[2J</b>"));

    // history.dat is no file to read: the double-click ends with the error, and no station starts.
    QFile::remove(dir.filePath(QStringLiteral("history.dat")));
    QDir(dir.path()).mkdir(QStringLiteral("history.dat"));
    ASSERT_TRUE(player->stationPlaying());
    panel.ename->setText(QStringLiteral("Playing"));
    catalogue.selectRow(0);
    const int before = server.connections(QStringLiteral("/evil"));
    EXPECT_THROW(player->LVDblClick(), std::exception);
    EXPECT_EQ(server.connections(QStringLiteral("/evil")), before);
    EXPECT_FALSE(player->connecting());
}

TEST_F(StreamPlayerTest, OnlyTheStationThatPlayedGoesToTheHistory) {
    test::IcyMount m = mount();
    m.headers = {"icy-name:Radio X", "icy-genre:Jazz"};
    server.addMount(QStringLiteral("/x"), m);
    server.addMount(QStringLiteral("/y"), mount());
    addStation(QStringLiteral("X"), server.url(QStringLiteral("/x")));
    addStation(QStringLiteral("Y"), server.url(QStringLiteral("/y")));
    const QString history = dir.filePath(QStringLiteral("history.dat"));
    QSignalSpy done(player.get(), &StreamPlayer::connectFinished);

    // Nothing played before: the panel's examples are hints, nothing is kept.
    catalogue.selectRow(0);
    player->LVDblClick();
    EXPECT_EQ(QFile(history).size(), 0);
    ASSERT_TRUE(done.wait(20000));
    ASSERT_TRUE(player->stationPlaying());
    EXPECT_FALSE(panelState.isHidden());
    EXPECT_EQ(labState.text(), QStringLiteral("Radio X")); // the name until a title comes

    catalogue.selectRow(1);
    player->LVDblClick();
    ASSERT_TRUE(done.wait(20000));
    const QByteArray bytes = test::readBytes(history);
    ASSERT_EQ(bytes.size(), StationRecord::Size);
    EXPECT_EQ(StationRecord::fromBytes(bytes).Name, QStringLiteral("Radio X"));
    EXPECT_EQ(StationRecord::fromBytes(bytes).HomeUrl, QString());
}
