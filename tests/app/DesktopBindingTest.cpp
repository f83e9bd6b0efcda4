// The real window behind the desktop's media controls and notices, on a
// private session bus: a station and a local file as MPRIS shows them and as
// playerctl drives them; notices of titles and of a finished conversion.
#include "app/DesktopBinding.h"
#include "WindowFixture.h"
#include "app/SkinSurface.h"
#include "convert/Converter.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "library/LocalPlayer.h"
#include "options/OptionsDialog.h"
#include "platform/tags/AudioInformation.h"
#include "radio/StationPanel.h"
#include "radio/StreamPlayer.h"
#include "support/Files.h"
#include "support/IcyServer.h"
#include "support/SessionBus.h"
#include "support/Wait.h"

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace varnelo {
namespace {

class DesktopBindingTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(bus.running());
        ASSERT_TRUE(notices.serve(bus.connect(QStringLiteral("notification-server"))));
        QDir().mkpath(dir.filePath(QStringLiteral("record")));
        test::writeBytes(dir.filePath(QStringLiteral("temp.ini")),
                         "[video]\npath=" + dir.filePath(QStringLiteral("out")).toUtf8() + "\n");
        w = startWindow();
        binding = std::make_unique<DesktopBinding>(*w, bus.bus());
        ASSERT_TRUE(binding->mpris().registered());
    }
    void TearDown() override {
        binding.reset();
        w.reset();
        WindowTest::TearDown();
    }
    // playerctl against the private bus; what it printed, trimmed.
    QString playerctl(const QStringList &args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("playerctl"),
                QStringList{QStringLiteral("-p"), QStringLiteral("varnelo")} + args);
        test::waitUntil([&p] { return p.state() == QProcess::NotRunning; }, 20000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    QString tone(const QString &name, double seconds) {
        const QString path = dir.filePath(name);
        EXPECT_EQ(test::runTool(QStringLiteral("sox"),
                                {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                                 QStringLiteral("-c"), QStringLiteral("2"), path, QStringLiteral("synth"),
                                 QString::number(seconds), QStringLiteral("sine"), QStringLiteral("440")}),
                  0);
        return path;
    }
    const test::FakeNotificationServer::Notice *notice(const QString &summary) const {
        for (const auto &n : notices.notices)
            if (n.summary == summary)
                return &n;
        return nullptr;
    }

    test::SessionBus bus;
    test::FakeNotificationServer notices;
    std::unique_ptr<MainWindow> w;
    std::unique_ptr<DesktopBinding> binding;
};

TEST_F(DesktopBindingTest, AStationShowsItsTitleArtistAndNameAndIsPausedFromTheDesktop) {
    QTemporaryDir media;
    test::IcyServer server;
    ASSERT_TRUE(server.start());
    test::IcyMount m;
    m.audio = test::makeTone({test::ToneFormat::Mp3, 440, 4.0}, media.path());
    m.headers = {"icy-name:Radio Test"};
    m.metadata = {test::streamTitle(QStringLiteral("The Testers - Night Drive"))};
    server.addMount(QStringLiteral("/live"), m);
    w->panel_radio->url->setText(server.url(QStringLiteral("/live")));
    w->player().AuditionStation();
    ASSERT_TRUE(test::waitUntil(
        [&] { return binding->mpris().status().title == QLatin1String("Night Drive"); }, 20000));

    const MediaStatus &s = binding->mpris().status();
    EXPECT_EQ(s.playback, MediaStatus::Playback::Playing);
    EXPECT_EQ(s.artists, QStringList{QStringLiteral("The Testers")});
    EXPECT_EQ(s.album, QStringLiteral("Radio Test"));
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));
    EXPECT_EQ(playerctl({QStringLiteral("metadata"), QStringLiteral("title")}),
              QStringLiteral("Night Drive"));
    EXPECT_EQ(playerctl({QStringLiteral("metadata"), QStringLiteral("album")}), QStringLiteral("Radio Test"));
    ASSERT_TRUE(
        test::waitUntil([&] { return notice(QStringLiteral("The Testers - Night Drive")) != nullptr; }));
    EXPECT_EQ(notice(QStringLiteral("The Testers - Night Drive"))->body, QStringLiteral("Radio Test"));

    playerctl({QStringLiteral("play-pause")});
    EXPECT_TRUE(w->player().stationPaused());
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Paused"));
    playerctl({QStringLiteral("play")});
    EXPECT_FALSE(w->player().stationPaused());
    playerctl({QStringLiteral("stop")});
    EXPECT_FALSE(w->player().stationPlaying());
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));
}

TEST_F(DesktopBindingTest, ALocalFileIsDrivenFromTheDesktopAndItsVolumeIsTheBar) {
    const QString song = tone(QStringLiteral("song.wav"), 30);
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QString png = dir.filePath(QStringLiteral("red.png"));
    ASSERT_TRUE(picture.save(png));
    AudioInformation().SaveCover(song, png);
    w->libraryEntries().OpenCommandLineFile(song);
    ASSERT_TRUE(w->localPlayer().loaded());
    binding->mpris().refresh();
    const MediaStatus &s = binding->mpris().status();
    EXPECT_EQ(s.playback, MediaStatus::Playback::Playing);
    EXPECT_EQ(s.title, QStringLiteral("song.wav")); // no tags: the name the library gives it
    EXPECT_EQ(s.lengthUs, 30'000'000);
    EXPECT_EQ(s.url, QUrl::fromLocalFile(song).toString());
    EXPECT_EQ(test::readBytes(QUrl(s.artUrl).toLocalFile()), test::readBytes(png)); // the cover, as a file

    playerctl({QStringLiteral("pause")});
    EXPECT_TRUE(w->localPlayer().paused());
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Paused"));
    playerctl({QStringLiteral("pause")}); // paused already: stays paused
    EXPECT_TRUE(w->localPlayer().paused());
    playerctl({QStringLiteral("play")});
    EXPECT_FALSE(w->localPlayer().paused());

    playerctl({QStringLiteral("volume"), QStringLiteral("0.4")});
    EXPECT_EQ(w->surface().BarvValue(), 40);
    EXPECT_EQ(w->soundOutput().volume(), 40);
    EXPECT_EQ(playerctl({QStringLiteral("volume")}).toDouble(), 0.4);

    playerctl({QStringLiteral("stop")});
    EXPECT_FALSE(w->localPlayer().loaded());
    EXPECT_EQ(playerctl({QStringLiteral("status")}), QStringLiteral("Stopped"));
}

TEST_F(DesktopBindingTest, AFinishedConversionIsNoticedUnlessTheOptionIsOff) {
    LibraryRecord r;
    r.Title = QStringLiteral("Blues");
    r.Path = tone(QStringLiteral("blues.wav"), 1);
    w->library().appendTrackRow(r);
    w->ShowLocalPage();
    w->library().lists.currentRow = 0;
    auto *option = w->options()->findChild<QCheckBox *>(QStringLiteral("cb_notify"));
    ASSERT_NE(option, nullptr);
    EXPECT_TRUE(option->isChecked()); // on by default

    option->setChecked(false);
    w->converter()->owav->trigger();
    option->setChecked(true);
    w->converter()->OGG->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return notice(QStringLiteral("Conversion finished")) != nullptr; }));
    EXPECT_EQ(notice(QStringLiteral("Conversion finished"))->body, w->converter()->lastOutput());
    EXPECT_TRUE(w->converter()->lastOutput().endsWith(QStringLiteral("N_blues.ogg")));
    EXPECT_EQ(notices.notices.size(), 1u);
}

} // namespace
} // namespace varnelo
