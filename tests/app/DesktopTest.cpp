// The desktop around the window: the settings menu and its dialogs, menus under
// their skin objects, the about box from the tray, the folder browser behind the
// prompts, the file association from the settings menu, minimizing without a
// tray, the skin's one palette, and texts that show whole.
#include "TextFits.h"
#include "WindowFixture.h"
#include "app/MainWindow.h"
#include "app/SkinSurface.h"
#include "app/TrayTip.h"
#include "desktop/AssociateDialog.h"
#include "desktop/DialogPlacement.h"
#include "desktop/FolderBrowser.h"
#include "library/LibraryCatalogue.h"
#include "library/TagEditor.h"
#include "options/OptionsDialog.h"
#include "platform/skin/Skin.h"
#include "radio/SearchPanel.h"
#include "radio/StationCatalogue.h"
#include "radio/StationPanel.h"
#include "radio/StreamPlayer.h"
#include "support/Files.h"
#include "support/IcyServer.h"
#include "support/Wait.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

QByteArray station(const QString &name, const QString &genre, const QString &url) {
    StationRecord r;
    r.Name = name;
    r.Genre = genre;
    r.StreamUrl = url;
    return r.toBytes();
}

class DesktopTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("home/data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("home/config")).toUtf8());
        QDir().mkpath(dir.filePath(QStringLiteral("record")));
    }
    void TearDown() override {
        w.reset();
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_CONFIG_HOME");
        WindowTest::TearDown();
    }
    void start() {
        w = startWindow();
        ASSERT_TRUE(w->startupDone());
    }
    void click(const char *name) { w->surface().SkinClick(w->skin->GetObject(QLatin1String(name))); }
    QAction *action(const char *name) { return w->findChild<QAction *>(QLatin1String(name)); }
    QRect mainRect() const { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

    std::unique_ptr<MainWindow> w;
};

TEST_F(DesktopTest, MenusOpenUnderTheirSkinObjectAndDialogsCentreOverTheWindow) {
    start();
    for (const auto &[object, menu] :
         {std::pair{"file", w->p_1}, {"tools", w->p_lv}, {"settings", w->p_set}}) {
        click(object);
        ASSERT_TRUE(menu->isVisible()) << object;
        const QRect opener = w->skin->GetObject(QLatin1String(object)).AsElement().rect();
        EXPECT_EQ(menu->pos(), w->skin->mapToGlobal(opener.bottomLeft() + QPoint(0, 1))) << object;
        menu->hide();
    }
    action("SET1")->trigger();
    EXPECT_TRUE(w->fm_setting->isVisible());
    EXPECT_EQ(w->fm_setting->pos(), CentredPosition(mainRect(), w->fm_setting->size()));
    action("Associate1")->trigger();
    EXPECT_TRUE(w->fm_associate->isVisible());
    EXPECT_EQ(w->fm_associate->pos(), CentredPosition(mainRect(), w->fm_associate->size()));
    w->fm_setting->close();
    click("options");
    EXPECT_TRUE(w->fm_setting->isVisible());
}

TEST_F(DesktopTest, TheAboutBoxFromTheTrayAndFromHelpCountsDownAndClosesItself) {
    start();
    for (const char *from : {"tray", "help"}) {
        QStringList titles;
        QTimer fastClock; // five seconds of the program's clock pass in about half a second
        QObject::connect(&fastClock, &QTimer::timeout, [&] {
            clock.current = clock.current.addMSecs(250);
            QWidget *box = QApplication::activeModalWidget();
            const QString title = box ? box->windowTitle() : QString();
            if (title.startsWith(QLatin1Char('(')) && (titles.isEmpty() || titles.last() != title))
                titles << title;
        });
        fastClock.start(25);
        if (QLatin1String(from) == QLatin1String("tray"))
            action("Exit2")->trigger(); // returns when the box has closed
        else
            click("help");
        fastClock.stop();
        ASSERT_FALSE(titles.isEmpty()) << from;
        EXPECT_EQ(titles.first(), QStringLiteral("(5)  About")) << from;
        for (int i = 1; i < titles.size(); ++i) // counting down, never up
            EXPECT_LT(titles[i].mid(1, 1), titles[i - 1].mid(1, 1)) << from;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

TEST_F(DesktopTest, TheFolderBrowserTakesItsModeFromTheCaller) {
    start();
    QDir().mkpath(dir.filePath(QStringLiteral("music/jazz")));
    const QString jazz = dir.filePath(QStringLiteral("music/jazz"));
    const auto browse = [&](bool rescan, QString *caption, QPoint *at) {
        QTimer::singleShot(0, w.get(), [&, caption, at] {
            *caption = w->folderBrowser()->windowTitle();
            *at = w->folderBrowser()->pos();
            w->folderBrowser()->btn_ok->click();
        });
        return w->BrowseFolder(jazz, rescan ? FolderPurpose::LibraryScan : FolderPurpose::OutputFolder);
    };
    QString caption;
    QPoint at;
    EXPECT_EQ(browse(true, &caption, &at), jazz);
    EXPECT_EQ(caption, QStringLiteral("Add File Directory"));
    EXPECT_EQ(at, CentredPosition(mainRect(), w->folderBrowser()->size()));
    EXPECT_FALSE(w->settings.hasKey(QStringLiteral("video"), QStringLiteral("path")));

    w->ShowCentredDialog(w->fm_setting);
    EXPECT_EQ(browse(false, &caption, &at), jazz);
    EXPECT_EQ(caption, QStringLiteral("Please select a destination folder"));
    EXPECT_EQ(at, CentredPosition(QRect(w->fm_setting->mapToGlobal(QPoint(0, 0)), w->fm_setting->size()),
                                  w->folderBrowser()->size()));
    EXPECT_EQ(w->settings.readString(QStringLiteral("video"), QStringLiteral("path"), {}), jazz);
    EXPECT_EQ(w->options()->ed_out()->text(), jazz);
}

TEST_F(DesktopTest, AssociateFromTheSettingsMenuMakesUsTheDefaultPlayer) {
    start();
    action("Associate1")->trigger();
    auto *dialog = w->associateDialog();
    dialog->cbx_mp3->setChecked(true);
    dialog->btn_associate->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(unhandled.isEmpty());
    QProcess query;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_DIRS"), dir.filePath(QStringLiteral("none")));
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), dir.filePath(QStringLiteral("none")));
    env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    query.setProcessEnvironment(env);
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("audio/mpeg")});
    ASSERT_TRUE(query.waitForFinished(20000));
    EXPECT_EQ(query.readAllStandardOutput().trimmed(), QByteArray("varnelo.desktop"));
    EXPECT_EQ(shell.refreshedFolders.value(0), dir.filePath(QStringLiteral("home/data/applications")));

    // A file that cannot be written is reported and the dialog stays.
    QFile::remove(dir.filePath(QStringLiteral("home/config/mimeapps.list")));
    QDir().mkpath(dir.filePath(QStringLiteral("home/config/mimeapps.list")));
    action("Associate1")->trigger();
    dialog->cbx_wav->setChecked(true);
    dialog->btn_associate->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(unhandled, QStringList{QStringLiteral("Failed to set data for '%1'")
                                         .arg(dir.filePath(QStringLiteral("home/config/mimeapps.list")))});
}

TEST_F(DesktopTest, FileMenuExitAsks) {
    start();
    prompts.answers = {PromptAnswer::No};
    action("Exit1")->trigger();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, QStringLiteral("Close it now?"));
    EXPECT_TRUE(w->isVisible());
}

TEST_F(DesktopTest, WithoutATrayMinimizeGoesToTheTaskBar) {
    start();
    ASSERT_FALSE(w->hasTray()); // the offscreen desktop has none
    click("minimize");
    EXPECT_TRUE(w->isMinimized());
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->windowShown());
    w->setWindowState(Qt::WindowNoState); // the task bar gives it back
    EXPECT_TRUE(w->windowShown());
    EXPECT_EQ(w->currentTrayTip(), QStringLiteral("Varnelo"));
}

TEST_F(DesktopTest, OnePaletteFromTheSkinForEveryWindow) {
    start();
    const QColor window = w->skin->formPalette(QPalette()).color(QPalette::Window);
    ASSERT_EQ(window, QColor(0x1b, 0x1e, 0x25)); // the default skin's
    QMessageBox box(w.get());
    for (QWidget *other : std::initializer_list<QWidget *>{
             w->fm_setting, w->fm_dir, w->fm_id3, w->fm_associate, w->fm_about, w->p_set, w->p_min, &box})
        EXPECT_EQ(other->palette().color(QPalette::Window), window) << other->objectName().toStdString();
    EXPECT_EQ(w->folderBrowser()->ShellTreeView1->palette().color(QPalette::Base),
              w->options()->palette().color(QPalette::Base));
}

TEST_F(DesktopTest, TheAddPanelCoversTheListWhenShown) {
    test::writeBytes(dir.filePath(QStringLiteral("record/radio.dat")),
                     station(QStringLiteral("One"), QStringLiteral("Jazz"), QStringLiteral("http://a/")));
    start();
    w->catalogue().selectRow(0);
    click("add");
    const QRect row = w->LV->visualRect(w->catalogue().LV.index(0, 0));
    const QPoint inRow = w->LV->viewport()->mapTo(w.get(), row.center());
    QWidget *top = w->childAt(inRow);
    EXPECT_TRUE(top == w->panel_radio || w->panel_radio->isAncestorOf(top));
    // Painted: the selected row's colour does not show through the panel.
    const QImage shot = w->grab().toImage();
    const QPoint margin(w->panel_radio->x() + 3, inRow.y());
    EXPECT_NE(shot.pixelColor(margin), w->LV->palette().color(QPalette::Highlight));
    EXPECT_TRUE(w->panel_radio->url->text().isEmpty()); // the example is a hint only
    EXPECT_FALSE(w->panel_radio->url->placeholderText().isEmpty());
    EXPECT_TRUE(w->panel_radio->eurl->text().isEmpty());
}

TEST_F(DesktopTest, EveryTextShowsWhole) {
    const QString longName = QStringLiteral("Classic Rock Legends Around The Clock 24/7");
    test::writeBytes(
        dir.filePath(QStringLiteral("record/radio.dat")),
        station(longName, QStringLiteral("Electronic/Dance"), QStringLiteral("http://a/")) +
            station(QStringLiteral("Jazz"), QStringLiteral("Smooth Jazz"), QStringLiteral("http://b/")));
    start();
    EXPECT_EQ(test::cutTexts(w.get()).toStdString(), "") << "radio page";
    click("search");
    w->pan_search->Search_genre->setText(QStringLiteral("Electronic/Dance")); // room for a search text
    // The lists make room for the search panel: no row, recording or scroll bar behind it.
    w->ToggleRecordingsList();
    for (QWidget *list :
         {static_cast<QWidget *>(w->LV), static_cast<QWidget *>(w->LV_R), static_cast<QWidget *>(w->lv2)})
        EXPECT_FALSE(list->geometry().intersects(w->pan_search->geometry()))
            << list->objectName().toStdString();
    w->ToggleRecordingsList();
    click("add");
    EXPECT_EQ(test::cutTexts(w.get()).toStdString(), "") << "radio page with its panels";
    w->pan_search->hide();
    w->panel_radio->hide();

    // The local page with the texts of a real file: the default fields of a file
    // without tags, and long tag values.
    const QString file = dir.filePath(QStringLiteral("Untagged recording.mp3"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:duration=1"), file});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    prompts.answers = {PromptAnswer::Cancel};
    click("local");
    LibraryRecord record;
    record.Title = QStringLiteral("Untagged recording.mp3");
    record.Artist = QStringLiteral("Unknown Artist");
    record.Album = QStringLiteral("Unknown Album");
    record.Genre = QStringLiteral("Dance");
    record.Path = file;
    w->library().appendTrackRow(record);
    record.Title = QStringLiteral("A Title Much Longer Than The Column It Sits In");
    w->library().appendTrackRow(record);
    QCoreApplication::processEvents();
    EXPECT_EQ(test::cutTexts(w.get()).toStdString(), "") << "local page";

    // The dialogs.
    w->ShowCentredDialog(w->fm_setting);
    for (int page = 0; page < 13; ++page) {
        w->options()->ShowPage(page);
        EXPECT_EQ(test::cutTexts(w->fm_setting).toStdString(), "") << "options page " << page;
    }
    w->tagEditor()->Open(file);
    QCoreApplication::processEvents();
    EXPECT_EQ(test::cutTexts(w->fm_id3).toStdString(), "") << "tag editor";
    for (const bool rescan : {false, true}) {
        w->folderBrowser()->SetMode(rescan ? FolderPurpose::LibraryScan : FolderPurpose::OutputFolder);
        w->folderBrowser()->show();
        EXPECT_EQ(test::cutTexts(w->fm_dir).toStdString(), "") << "folder browser";
        w->folderBrowser()->hide();
    }
    w->ShowCentredDialog(w->fm_associate);
    EXPECT_EQ(test::cutTexts(w->fm_associate).toStdString(), "") << "associate";
}

TEST_F(DesktopTest, TheStreamTitleShowsInTheStateStripAndTheTrayTip) {
    test::IcyServer server;
    ASSERT_TRUE(server.start());
    static QTemporaryDir toneDir;
    test::IcyMount mount;
    mount.audio = test::makeTone({test::ToneFormat::Mp3, 440, 4.0}, toneDir.path());
    mount.metadata = {test::streamTitle(QStringLiteral("Artist - First Song")),
                      test::streamTitle(QStringLiteral("Artist - Second Song"))};
    mount.metadataIntervalMs = 1500;
    server.addMount(QStringLiteral("/live"), mount);
    test::writeBytes(
        dir.filePath(QStringLiteral("record/radio.dat")),
        station(QStringLiteral("Radio X"), QStringLiteral("Pop"), server.url(QStringLiteral("/live"))));
    start();
    w->trayIcon()->show(); // a desktop with a tray
    w->catalogue().selectRow(0);
    w->player().LVDblClick();
    ASSERT_TRUE(test::waitUntil([&] { return w->lab_state->text() == QStringLiteral("Artist - First Song"); },
                                20000));
    EXPECT_TRUE(w->panel_state->isVisible());
    const QChar colon(0xFF1A);
    EXPECT_EQ(w->currentTrayTip(),
              QStringLiteral("Varnelo\nNow play") + colon + QStringLiteral("Artist - First Song"));
    w->ApplicationMinimize();
    EXPECT_EQ(w->currentTrayTip(),
              QStringLiteral("Now play") + colon + QStringLiteral("Artist - First Song"));
    // A new title while in the tray reaches the tip.
    ASSERT_TRUE(
        test::waitUntil([&] { return w->currentTrayTip().endsWith(QStringLiteral("Second Song")); }, 20000));
    w->ApplicationRestore();
    click("btnstop");
    EXPECT_FALSE(w->panel_state->isVisible());
    EXPECT_EQ(w->currentTrayTip(), QStringLiteral("Varnelo"));
}

} // namespace
