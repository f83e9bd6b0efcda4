#include "app/MainWindow.h"
#include "WindowFixture.h"
#include "app/Application.h"
#include "app/TrayTip.h"
#include "common/Error.h"
#include "common/TreeText.h"
#include "library/LibraryEntries.h"
#include "library/LocalPlayer.h"
#include "platform/skin/Skin.h"
#include "radio/StationCatalogue.h"
#include "radio/StationPanel.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Wait.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

QByteArray stations(std::initializer_list<std::pair<const char *, const char *>> list) {
    QByteArray out;
    for (const auto &[name, genre] : list) {
        StationRecord r;
        r.Name = QString::fromUtf8(name);
        r.Genre = QString::fromUtf8(genre);
        r.StreamUrl = QStringLiteral("http://s/") + r.Name;
        out += r.toBytes();
    }
    return out;
}

class MainWindowTest : public test::WindowTest {
protected:
    std::unique_ptr<MainWindow> start(QStringList args = {}) { return startWindow(args); }
};

} // namespace

TEST_F(MainWindowTest, FirstRunCreatesTheSevenEmptyFilesAndShowsTheCatalogue) {
    auto w = start();
    for (const char *name :
         {"radio.dat", "history.dat", "favorites.dat", "tp.dat", "tt.txt", "treetext.txt", "music.dat"}) {
        ASSERT_TRUE(QFile::exists(data(QString::fromUtf8(name)))) << name;
        EXPECT_EQ(QFile(data(QString::fromUtf8(name))).size(), 0) << name;
    }
    EXPECT_TRUE(w->startupDone());
    EXPECT_TRUE(w->shownPage().radio());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Varnelo V1.00"));
    EXPECT_EQ(w->size(), QSize(588, 442));
    EXPECT_EQ(w->catalogue().tv.rowCount(), 4); // built-in tree
    EXPECT_EQ(w->catalogue().selectedNode()->text(), QStringLiteral("Radio Stations"));
    EXPECT_TRUE(w->Timer1->isActive());
    EXPECT_EQ(w->settings.path(), QStringLiteral("temp.ini"));
    EXPECT_TRUE(unhandled.isEmpty());
}

TEST_F(MainWindowTest, ExistingFilesAreLoadedAndListed) {
    QDir().mkpath(dir.filePath(QStringLiteral("record")));
    test::writeBytes(data(QStringLiteral("radio.dat")), stations({{"One", "Jazz"}, {"Two", "Rock"}}));
    test::writeBytes(data(QStringLiteral("treetext.txt")),
                     "Now Playing\r\nRadio Stations\r\n\tJazz\r\nHistory\r\n\tOne\r\nFavorites\r\n");
    auto w = start();
    EXPECT_EQ(w->catalogue().LV.rowCount(), 2);
    EXPECT_EQ(w->catalogue().tv.item(1)->rowCount(), 1);
    EXPECT_EQ(w->catalogue().tv.item(2)->child(0)->text(), QStringLiteral("One"));
}

TEST_F(MainWindowTest, AnEmptyCatalogueFileStillCompletesStartUp) {
    QDir().mkpath(dir.filePath(QStringLiteral("record")));
    test::writeBytes(data(QStringLiteral("treetext.txt")), "");
    test::writeBytes(data(QStringLiteral("radio.dat")), stations({{"One", "Jazz"}}));
    auto w = start();
    EXPECT_TRUE(w->startupDone());
    EXPECT_EQ(w->catalogue().LV.rowCount(), 1);
}

// Files not read whole are kept aside before anything is saved over them, and
// said so once.
TEST_F(MainWindowTest, AMalformedCatalogueFileIsReportedAndStartUpGoesOn) {
    QDir().mkpath(dir.filePath(QStringLiteral("record")));
    const QByteArray tree = "Now Playing\r\n\t\t\tDeep\r\nRadio Stations\r\n";
    test::writeBytes(data(QStringLiteral("treetext.txt")), tree);
    const QByteArray radio = stations({{"One", "Jazz"}}) + "tail";
    test::writeBytes(data(QStringLiteral("radio.dat")), radio);
    auto w = start();
    ASSERT_EQ(unhandled.size(), 2);
    EXPECT_EQ(unhandled[0],
              QStringLiteral("Invalid level (3) for item \"Deep\": \"treetext.txt\" was not read "
                             "whole; it is kept as \"treetext.txt.damaged\""));
    EXPECT_EQ(unhandled[1],
              QStringLiteral("\"radio.dat\" ended in 4 bytes that are not a whole record; the file "
                             "as it was is kept as \"radio.dat.damaged\""));
    EXPECT_TRUE(w->startupDone());
    EXPECT_EQ(w->catalogue().LV.rowCount(), 1);
    EXPECT_EQ(test::readBytes(data(QStringLiteral("treetext.txt.damaged"))), tree);
    EXPECT_EQ(test::readBytes(data(QStringLiteral("radio.dat.damaged"))), radio);
    w->close(); // saves both trees
    EXPECT_EQ(test::readBytes(data(QStringLiteral("treetext.txt.damaged"))), tree);
    EXPECT_EQ(unhandled.size(), 2);
}

TEST_F(MainWindowTest, CommandLineStepShowsTheLocalPageAndSavesTheCatalogue) {
    QStringList opened;
    auto w = std::make_unique<MainWindow>(
        prompts, shell, clock, DataFolder(dir.filePath(QStringLiteral("record"))),
        QStringList{QStringLiteral("/music/a.mp3"), QStringLiteral("/music/b.mp3")});
    w->openCommandLineFile = [&](const QString &f) { opened << f; };
    QSignalSpy done(w.get(), &MainWindow::startupFinished);
    w->show();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(opened, QStringList{QStringLiteral("/music/a.mp3")}); // only the first argument
    EXPECT_TRUE(w->libraryEntries().listFromCommandLine());
    EXPECT_FALSE(w->shownPage().radio());
    EXPECT_FALSE(w->shownPage().rip());
    EXPECT_TRUE(w->tv2->isVisibleTo(w.get()));
    EXPECT_FALSE(w->LV->isVisibleTo(w.get()));
    EXPECT_TRUE(test::readBytes(data(QStringLiteral("treetext.txt")))
                    .startsWith("Now Playing\r\nRadio Stations\r\n"));

    // A restore from the tray shows the window again and opens the file again.
    w->trayIcon()->show(); // a desktop with a tray
    w->ApplicationMinimize();
    EXPECT_FALSE(w->windowShown());
    w->ApplicationRestore();
    EXPECT_TRUE(test::waitUntil([&] { return opened.size() == 2; }));
    EXPECT_TRUE(w->windowShown());
}

TEST_F(MainWindowTest, ClosingSavesTheTreesAndAsks) {
    auto w = start();
    QSignalSpy stops(&w->localPlayer(), &LocalPlayer::highlightChanged); // the player's stop redraws
    QFile::remove(data(QStringLiteral("treetext.txt")));
    prompts.answers = {PromptAnswer::No};
    EXPECT_FALSE(w->close());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, QStringLiteral("Close it now?"));
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Are you sure?"));
    EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::YesNo);
    EXPECT_FALSE(stops.isEmpty());
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("treetext.txt"))));
    EXPECT_TRUE(w->isVisible());
    prompts.answers = {PromptAnswer::Yes};
    EXPECT_TRUE(w->close());
}

// A larger window gives the room to the lists; the transport and the volume keep
// to the bottom and right edges, the skin's size is the least, and the size is
// there again at the next start.
TEST_F(MainWindowTest, AResizedWindowGrowsItsListsAndIsRememberedAtTheNextStart) {
    auto w = start();
    const QRect tree = w->tv->geometry(), list = w->LV->geometry();
    const QRect play = w->skin->GetObject(QStringLiteral("btnplay")).AsElement().rect();
    const QRect volume = w->skin->GetObject(QStringLiteral("barv")).AsElement().rect();
    w->resize(900, 700);
    EXPECT_EQ(w->tv->geometry(), tree.adjusted(0, 0, 0, 258));
    EXPECT_EQ(w->LV->geometry(), list.adjusted(0, 0, 312, 258));
    w->ShowLocalPage();
    EXPECT_EQ(w->lv2->geometry(), list.adjusted(0, 0, 312, 258));
    EXPECT_EQ(w->skin->GetObject(QStringLiteral("btnplay")).AsElement().rect(), play.translated(0, 258));
    EXPECT_EQ(w->skin->GetObject(QStringLiteral("barv")).AsElement().rect(), volume.translated(312, 258));
    w->resize(300, 200);
    EXPECT_EQ(w->size(), QSize(588, 442));
    w->resize(800, 600);
    prompts.answers = {PromptAnswer::Yes};
    ASSERT_TRUE(w->close());
    w.reset();
    EXPECT_EQ(start()->size(), QSize(800, 600));
}

TEST_F(MainWindowTest, MinimizingPutsTheTipAndRestoringPutsVarneloBack) {
    auto w = start();
    w->trayIcon()->show(); // a desktop with a tray
    clock.current = QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9));
    w->ApplicationMinimize();
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(w->currentTrayTip().startsWith(QStringLiteral("Now") + QChar(0xFF1A)));
    w->ApplicationRestore();
    EXPECT_EQ(w->currentTrayTip(), QStringLiteral("Varnelo"));
    EXPECT_TRUE(w->isVisible());
}

TEST(TrayTip, WhatPlaysNamesTheTipAndLongTipsAreShortened) {
    const QDateTime now(QDate(2026, 5, 6), QTime(7, 8, 9));
    const QChar colon(0xFF1A);
    EXPECT_EQ(MinimizedTip(MediaKind::None, now, QStringLiteral("x"), {}, {}),
              QStringLiteral("Now") + colon + QLocale().toString(now, QLocale::ShortFormat));
    EXPECT_EQ(MinimizedTip(MediaKind::Station, now, QStringLiteral("Artist - Song"), {}, {}),
              QStringLiteral("Now play") + colon + QStringLiteral("Artist - Song"));
    EXPECT_EQ(MinimizedTip(MediaKind::File, now, QStringLiteral("x"),
                           QStringLiteral("/home/u/Music/track.mp3"), {}),
              QStringLiteral("Now play") + colon + QStringLiteral("track.mp3"));
    EXPECT_EQ(MinimizedTip(MediaKind::CdTrack, now, QStringLiteral("x"), {}, QStringLiteral("Track 01")),
              QStringLiteral("Now play") + colon + QStringLiteral("Track 01"));
    const QString tip = MinimizedTip(MediaKind::CdTrack, now, {}, {}, QString(100, QLatin1Char('x')));
    EXPECT_EQ(tip.size(), TrayTipLimit);
    EXPECT_TRUE(tip.endsWith(QChar(0x2026)));
}

TEST(UnhandledErrors, ReachTheDialogWithTheirOwnText) {
    QStringList shown;
    Application::setUnhandledSink([&](const QString &m) { shown << m; });
    Application::guarded([] { throw Error(QStringLiteral("Cannot open file \"x\"")); });
    Application::guarded([] { throw std::runtime_error("plain failure"); });
    Application::setUnhandledSink(nullptr);
    EXPECT_EQ(shown,
              (QStringList{QStringLiteral("Cannot open file \"x\""), QStringLiteral("plain failure")}));
}
