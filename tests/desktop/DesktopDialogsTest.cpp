#include "common/SettingsFile.h"
#include "desktop/AboutBox.h"
#include "desktop/AssociateDialog.h"
#include "desktop/AutoCloser.h"
#include "desktop/DialogPlacement.h"
#include "desktop/FileAssociation.h"
#include "desktop/FolderBrowser.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Wait.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

TEST(DialogPlacement, CentresWithDivisionsTruncatedTowardZero) {
    const QRect owner(100, 50, 588, 442);
    const std::pair<QSize, QPoint> cases[] = {
        {QSize(288, 142), QPoint(250, 200)},
        {QSize(289, 151), QPoint(249, 195)}, // 299 / 2 = 149
        {QSize(721, 480), QPoint(34, 31)},   // -133 / 2 = -66, -38 / 2 = -19
        {QSize(588, 442), QPoint(100, 50)},
    };
    for (const auto &[size, at] : cases)
        EXPECT_EQ(CentredPosition(owner, size), at) << size.width();

    // On a small screen (a scale of 2 on 1280x900): inside it, the top left kept when too large.
    const QRect screen(0, 0, 640, 450);
    const std::pair<QSize, QPoint> onScreen[] = {{QSize(288, 142), QPoint(130, 190)},
                                                 {QSize(640, 440), QPoint(0, 10)},
                                                 {QSize(720, 480), QPoint(0, 0)}};
    for (const auto &[size, at] : onScreen)
        EXPECT_EQ(CentredOnScreen(QRect(-20, 40, 588, 442), size, screen), at) << size.width();
}

// ---- Association dialog --------------------------------------------------------

class AssociateDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.open(dir.filePath(QStringLiteral("temp.ini")));
        dialog.reportError = [this](const QString &m) { errors << m; };
    }
    QString file(const char *name) const { return dir.filePath(QLatin1String(name)); }
    void tick(std::initializer_list<QCheckBox *> boxes) {
        for (QCheckBox *b : {dialog.cbx_mp3, dialog.cbx_wav, dialog.cbx_ogg, dialog.cbx_wma})
            b->setChecked(std::find(boxes.begin(), boxes.end(), b) != boxes.end());
    }

    QTemporaryDir dir;
    SettingsFile settings;
    test::FakeShell shell;
    FileAssociation association{{dir.filePath(QStringLiteral("apps")),
                                 dir.filePath(QStringLiteral("mimeapps.list")),
                                 QStringLiteral("/usr/bin/varnelo")},
                                shell};
    AssociateDialog dialog{settings, association};
    QStringList errors;
};

TEST_F(AssociateDialogTest, CaptionsAreAsTheUserKnowsThem) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Associate"));
    EXPECT_EQ(dialog.cbx_wav->text(), QStringLiteral(".WAV"));
    EXPECT_EQ(dialog.cbx_mp3->text(), QStringLiteral(".MP3"));
    EXPECT_EQ(dialog.cbx_ogg->text(), QStringLiteral(".OGG"));
    EXPECT_EQ(dialog.cbx_wma->text(), QStringLiteral(".WMA"));
    EXPECT_EQ(dialog.btn_associate->text(), QStringLiteral("Associate"));
    EXPECT_EQ(dialog.btn_cancel->text(), QStringLiteral("Cancel"));
}

TEST_F(AssociateDialogTest, AssociateAppliesRemembersAndClosesAndShowingReadsTheChoicesBack) {
    dialog.show();
    tick({dialog.cbx_mp3});
    dialog.btn_associate->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(test::readBytes(file("temp.ini")),
              QByteArray("[assoc]\r\nmp3=1\r\nwav=0\r\nogg=0\r\nwma=0\r\n"));
    EXPECT_EQ(xdg::Defaults(test::readBytes(file("mimeapps.list")), QStringLiteral("audio/mpeg")),
              QStringList{QStringLiteral("varnelo.desktop")});
    EXPECT_EQ(shell.refreshedFolders.size(), 4);

    // The desktop's own state is never read back: only ".MP3" shows ticked.
    QFile::remove(file("mimeapps.list"));
    tick({dialog.cbx_wav, dialog.cbx_ogg});
    dialog.show();
    EXPECT_TRUE(dialog.cbx_mp3->isChecked());
    EXPECT_FALSE(dialog.cbx_wav->isChecked() || dialog.cbx_ogg->isChecked() || dialog.cbx_wma->isChecked());
}

TEST_F(AssociateDialogTest, CancelWritesNothing) {
    dialog.show();
    tick({dialog.cbx_mp3, dialog.cbx_wav});
    dialog.btn_cancel->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(QFile::exists(file("temp.ini")));
    EXPECT_FALSE(QFile::exists(file("mimeapps.list")));
    EXPECT_FALSE(QFile::exists(file("apps")));
    EXPECT_TRUE(shell.refreshedFolders.isEmpty());
}

TEST_F(AssociateDialogTest, AFailureStopsAtThatExtensionAndKeepsTheDialogOpen) {
    QDir().mkpath(file("mimeapps.list")); // cannot be written as a file
    dialog.show();
    tick({dialog.cbx_wav, dialog.cbx_ogg});
    dialog.btn_associate->click();
    EXPECT_EQ(errors, QStringList{QStringLiteral("Failed to set data for '%1'").arg(file("mimeapps.list"))});
    EXPECT_TRUE(dialog.isVisible());
    // mp3 (un-associated, nothing to fail) was remembered; wav failed; ogg and wma never ran.
    EXPECT_EQ(test::readBytes(file("temp.ini")), QByteArray("[assoc]\r\nmp3=0\r\n"));
    EXPECT_FALSE(xdg::EntryMimeTypes(test::readBytes(file("apps/varnelo.desktop")))
                     .contains(QStringLiteral("audio/ogg")));
}

// ---- Folder browser -------------------------------------------------------------

class FolderBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.open(root.filePath(QStringLiteral("temp.ini")));
        for (const char *sub : {"music/jazz", "music/rock", "empty"})
            QDir().mkpath(root.filePath(QLatin1String(sub)));
        browser.storedOutputFolder = [this] {
            return settings.readString(QStringLiteral("video"), QStringLiteral("path"),
                                       QStringLiteral("default"));
        };
        browser.showOutputFolder = [this](const QString &f) { shownFolders << f; };
    }
    QString path(const char *sub) const { return root.filePath(QLatin1String(sub)); }
    QStringList childrenOf(const QString &folder) const {
        QStringList out;
        for (QTreeWidgetItem *item :
             browser.ShellTreeView1->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive))
            if (item->parent() && item->parent()->toolTip(0) == folder)
                out << item->text(0);
        return out;
    }

    QTemporaryDir root;
    SettingsFile settings;
    FolderBrowser browser{settings};
    QStringList shownFolders;
};

TEST_F(FolderBrowserTest, TheModeSetsCaptionLabelAndButtons) {
    struct Case {
        bool rescan;
        const char *caption;
        bool newFolder;
        int ok, cancel;
    };
    for (const Case &c : {Case{false, "Please select a destination folder", true, 110, 190},
                          Case{true, "Add File Directory", false, 50, 150}}) {
        browser.SetMode(c.rescan ? FolderPurpose::LibraryScan : FolderPurpose::OutputFolder);
        EXPECT_EQ(browser.windowTitle(), QLatin1String(c.caption));
        EXPECT_EQ(browser.Label1->text(), QLatin1String(c.caption));
        EXPECT_EQ(browser.Button1->isVisibleTo(&browser), c.newFolder);
        EXPECT_EQ(browser.btn_ok->geometry().topLeft(), QPoint(c.ok, 254));
        EXPECT_EQ(browser.btn_cancel->geometry().topLeft(), QPoint(c.cancel, 254));
    }
    EXPECT_EQ(browser.size(), QSize(276, 282));
    EXPECT_EQ(browser.ShellTreeView1->topLevelItem(0)->toolTip(0), QDir::homePath());
    EXPECT_EQ(browser.ShellTreeView1->topLevelItem(1)->toolTip(0), QStringLiteral("/"));
}

TEST_F(FolderBrowserTest, TheTreeIsTheRealFolderTreeFoldersOnly) {
    test::writeBytes(path("music/song.mp3"), "x");
    ASSERT_TRUE(browser.SelectFolder(path("music/rock")));
    EXPECT_EQ(browser.SelectedFolder(), path("music/rock"));
    EXPECT_EQ(childrenOf(path("music")), (QStringList{QStringLiteral("jazz"), QStringLiteral("rock")}));
    ASSERT_TRUE(browser.SelectFolder(path("music/gone/deeper")));
    EXPECT_EQ(browser.SelectedFolder(), path("music")); // the deepest folder that exists
    // The path field follows the tree, and a path typed there (Enter) selects it.
    EXPECT_EQ(browser.ed_path->text(), path("music"));
    browser.ed_path->setText(path("music/jazz/"));
    QTest::keyClick(browser.ed_path, Qt::Key_Return);
    EXPECT_EQ(browser.SelectedFolder(), path("music/jazz"));
    EXPECT_TRUE(browser.ChosenFolder.isEmpty()); // Enter there does not close the dialog
}

TEST_F(FolderBrowserTest, OkWritesTheOutputFolderOnlyInDestinationMode) {
    browser.SetMode(FolderPurpose::OutputFolder);
    browser.SelectFolder(path("music/jazz"));
    browser.btn_okClick();
    EXPECT_EQ(browser.ChosenFolder, path("music/jazz"));
    EXPECT_EQ(settings.readString(QStringLiteral("video"), QStringLiteral("path"), {}), path("music/jazz"));
    EXPECT_EQ(shownFolders, QStringList{path("music/jazz")});

    browser.SetMode(FolderPurpose::LibraryScan);
    browser.SelectFolder(path("music/rock"));
    browser.btn_okClick();
    EXPECT_EQ(browser.ChosenFolder, path("music/rock"));
    EXPECT_EQ(settings.readString(QStringLiteral("video"), QStringLiteral("path"), {}), path("music/jazz"));
    EXPECT_EQ(shownFolders.size(), 1);
}

TEST_F(FolderBrowserTest, CancelEmptiesTheResultAndTheCloseButtonLeavesIt) {
    QTimer::singleShot(0, &browser, [this] {
        browser.SelectFolder(path("empty"));
        browser.btn_ok->click();
    });
    EXPECT_EQ(browser.Browse(path("music"), nullptr, FolderPurpose::LibraryScan), path("empty"));

    QTimer::singleShot(0, &browser, [this] { browser.close(); }); // the title bar's close button
    EXPECT_EQ(browser.Browse(path("music"), nullptr, FolderPurpose::LibraryScan), QString());
    EXPECT_EQ(browser.ChosenFolder, path("empty"));

    QTimer::singleShot(0, &browser, [this] { browser.btn_cancel->click(); });
    EXPECT_EQ(browser.Browse(path("music"), nullptr, FolderPurpose::LibraryScan), QString());
    EXPECT_EQ(browser.ChosenFolder, QString());
}

TEST_F(FolderBrowserTest, NewFolderCreatesOnceShowsItAndLeavesTheSelection) {
    browser.SelectFolder(path("empty"));
    browser.Button1Click();
    browser.Button1Click(); // exists now: nothing is reported
    EXPECT_TRUE(QDir(path("empty/New Folder")).exists());
    EXPECT_EQ(childrenOf(path("empty")), QStringList{QStringLiteral("New Folder")});
    EXPECT_EQ(browser.SelectedFolder(), path("empty"));
    EXPECT_EQ(browser.ChosenFolder, path("empty/New Folder"));
}

TEST_F(FolderBrowserTest, ShownCentredOverItsOwner) {
    QWidget owner;
    owner.setGeometry(200, 100, 720, 480);
    owner.show();
    QPoint at;
    QTimer::singleShot(0, &browser, [&] {
        at = browser.pos();
        browser.btn_cancel->click();
    });
    browser.Browse({}, &owner, FolderPurpose::OutputFolder);
    EXPECT_EQ(at, owner.mapToGlobal(QPoint(0, 0)) + QPoint((720 - 276) / 2, (480 - 282) / 2));
    EXPECT_EQ(browser.SelectedFolder(), QDir::homePath()); // no start folder: home
}

// ---- About box and auto-closer ------------------------------------------------------

class AutoCloserTest : public ::testing::Test {
protected:
    // Steps the fake clock and the closer's tick.
    void advance(int ms) {
        clock.current = clock.current.addMSecs(ms);
        closer.Tick();
        QCoreApplication::processEvents();
    }
    test::FakeClock clock;
    AutoCloser closer{clock};
    QWidget mainWindow; // a window from before arming, as the program always has
};

TEST_F(AutoCloserTest, CountsDownInTheTitleAndClosesAfterTheTimeout) {
    closer.Arm(5000, true); // armed before the window is made, as the program does
    AboutBox box(QIcon(), nullptr);
    EXPECT_EQ(box.size(), QSize(289, 151));
    EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
    box.open(); // modal, as the program shows it
    QStringList titles;
    for (int step = 0; step < 60 && box.isVisible(); ++step) {
        advance(100);
        if (titles.isEmpty() || titles.last() != box.windowTitle())
            titles << box.windowTitle();
    }
    const QString sp = QStringLiteral("  ");
    EXPECT_EQ(titles,
              (QStringList{QStringLiteral("(5)") + sp + QStringLiteral("About"),
                           QStringLiteral("(4)") + sp + QStringLiteral("About"),
                           QStringLiteral("(3)") + sp + QStringLiteral("About"),
                           QStringLiteral("(2)") + sp + QStringLiteral("About"),
                           QStringLiteral("(1)") + sp + QStringLiteral("About"), QStringLiteral("About")}));
    EXPECT_FALSE(box.isVisible());
    EXPECT_FALSE(closer.armed());
}

TEST_F(AutoCloserTest, DisarmsWhenTheWindowGoesOrNoNewWindowShows) {
    enum class Then { UserCloses, Hidden, Destroyed, NothingShown, NoCountdown };
    for (const Then then :
         {Then::UserCloses, Then::Hidden, Then::Destroyed, Then::NothingShown, Then::NoCountdown}) {
        closer.Arm(5000, then != Then::NoCountdown);
        auto box = std::make_unique<AboutBox>(QIcon(), nullptr);
        if (then != Then::NothingShown)
            box->open();
        advance(100);
        if (then == Then::NothingShown) {
            EXPECT_FALSE(closer.armed());
            continue;
        }
        EXPECT_EQ(closer.target(), box.get());
        EXPECT_EQ(box->windowTitle().startsWith(QLatin1Char('(')), then != Then::NoCountdown);
        if (then == Then::UserCloses)
            box->close();
        else if (then == Then::Hidden)
            box->hide();
        else if (then == Then::Destroyed)
            box.reset();
        advance(100);
        EXPECT_EQ(closer.armed(), then == Then::NoCountdown) << static_cast<int>(then);
        if (box && then != Then::NoCountdown) {
            EXPECT_EQ(box->windowTitle(), QStringLiteral("About")); // put back
        }
    }
}

TEST_F(AutoCloserTest, OnlyWindowsOpenedAfterArmingAreTargets) {
    AboutBox old(QIcon(), nullptr);
    old.show();
    QApplication::setActiveWindow(&old);
    closer.Arm(1000, true);
    advance(100);
    EXPECT_FALSE(closer.armed()); // the one window is from before
    EXPECT_EQ(old.windowTitle(), QStringLiteral("About"));
}

TEST(AboutBox, AClickAnywhereClosesIt) {
    AboutBox box(QIcon(), nullptr);
    box.show();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(200, 120), QPointF(200, 120), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&box, &press);
    EXPECT_FALSE(box.isVisible());
}

} // namespace
