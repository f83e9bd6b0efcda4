// The rip page on the real window with a disc image as its drive: the page
// switch, the list, CD playback from the skin (play, next, previous, seek on
// "bar", stop) with the playing row highlighted, the menu, a rip that keeps
// the window free, the options' drive list and the album-information states.
#include "WindowFixture.h"
#include "app/PlayingRowDelegate.h"
#include "app/SkinSurface.h"
#include "options/OptionsDialog.h"
#include "platform/cd/AudioCDGrabber.h"
#include "platform/cd/CdDrive.h"
#include "platform/cd/SectorReader.h"
#include "platform/skin/Skin.h"
#include "radio/Recorder.h"
#include "rip/CdPlayer.h"
#include "rip/CdRipper.h"
#include "rip/RipperPanel.h"
#include "support/DiscImage.h"
#include "support/Files.h"
#include "support/Wait.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

class RipPageTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        QDir().mkpath(dir.filePath(QStringLiteral("record")));
        test::ImageSpec spec;
        spec.tracks = {{440, 75 * 8}, {660, 75 * 26 + 11}, {880, 75 * 5 + 3}};
        spec.cdText = true;
        spec.title = QStringLiteral("High Voltage");
        spec.performer = QStringLiteral("AC/DC");
        spec.tracks[0].title = QStringLiteral("T.N.T.");
        spec.tracks[1].title = QStringLiteral("Live Wire");
        spec.tracks[2].title = QStringLiteral("The Jack");
        image = test::writeDiscImage(dir.path(), QStringLiteral("hv"), spec);
        test::writeBytes(dir.filePath(QStringLiteral("temp.ini")),
                         "[video]\npath=" + dir.filePath(QStringLiteral("out")).toUtf8() +
                             "\n[Format]\nimage=" + image.sheet.toUtf8() + "\n");
        w = startWindow();
        w->ripper()->accurateRipServer = QUrl();
    }
    void TearDown() override {
        w.reset();
        WindowTest::TearDown();
    }
    void click(const char *name) { w->surface().SkinClick(w->skin->GetObject(QLatin1String(name))); }
    QString status(int row) const { return w->ripper()->status(row); }
    QColor colourOfRow(int row) const {
        const QImage shot = w->lv_cd->viewport()->grab().toImage();
        const QRect r = w->lv_cd->visualRect(w->ripper()->lv_cd.index(row, 2));
        return shot.pixelColor(r.center().x(), r.top() + 1);
    }

    test::DiscImage image;
    std::unique_ptr<MainWindow> w;
};

} // namespace

TEST_F(RipPageTest, TheRipPageListsTheDiscOfTheChosenImage) {
    click("rip");
    EXPECT_TRUE(w->shownPage().rip());
    EXPECT_TRUE(w->lv_cd->isVisibleTo(w.get()));
    EXPECT_FALSE(w->LV->isVisibleTo(w.get()));
    ASSERT_EQ(w->ripper()->lv_cd.rowCount(), 3);
    EXPECT_EQ(w->ripper()->lv_cd.item(1, CdRipper::FileNameColumn)->text(), QStringLiteral("Live Wire"));
    EXPECT_EQ(w->ripper()->lv_cd.item(1, CdRipper::TimeColumn)->text(), QStringLiteral("0:26:11"));
    const Qt::CheckState ticked = w->ripper()->lv_cd.item(1)->checkState();
    w->lv_cd->setCurrentIndex(w->ripper()->lv_cd.index(1, 0));
    QTest::keyClick(w->lv_cd, Qt::Key_Space); // ticks the track, as before Enter/Space played rows
    EXPECT_NE(w->ripper()->lv_cd.item(1)->checkState(), ticked);
    QComboBox *drives = w->options()->driveCombo();
    ASSERT_GE(drives->count(), 1);
    EXPECT_EQ(drives->itemText(drives->count() - 1),
              QStringLiteral("[%1]  Disc image  hv.cue  CUE").arg(QFileInfo(image.sheet).absoluteFilePath()));
    EXPECT_TRUE(prompts.shown.empty());
    // Buttons with nothing to do on a disc leave the page; "+" opens another image.
    EXPECT_TRUE(w->skin->isHidden(QStringLiteral("search")) && w->skin->isHidden(QStringLiteral("down")));
    test::ImageSpec single;
    single.tracks = {{440, 75 * 3}};
    prompts.filesToOpen = {test::writeDiscImage(dir.path(), QStringLiteral("one"), single).sheet};
    click("add");
    EXPECT_EQ(w->ripper()->lv_cd.rowCount(), 1);
    prompts.filesToOpen = {image.sheet};
    click("add");
    ASSERT_EQ(w->ripper()->lv_cd.rowCount(), 3);

    // Long texts give way: the status a rip fills in shows without scrolling.
    const QString longText(
        QStringLiteral("A Title Much Longer Than The Whole List Is Wide, And Longer Still"));
    for (int column : {CdRipper::FileNameColumn, CdRipper::ArtistColumn, CdRipper::AlbumColumn})
        w->ripper()->lv_cd.item(1, column)->setText(longText);
    QCoreApplication::processEvents();
    QHeaderView *header = w->lv_cd->header();
    EXPECT_LE(header->sectionViewportPosition(CdRipper::StatusColumn) +
                  header->sectionSize(CdRipper::StatusColumn),
              w->lv_cd->viewport()->width());
    EXPECT_GE(header->sectionSize(CdRipper::TimeColumn), header->sectionSizeHint(CdRipper::TimeColumn));

    QStringList names;
    for (QAction *a : w->p_lvcd->actions())
        if (!a->isSeparator())
            names << (a->menu() ? a->menu()->objectName() : a->objectName());
    EXPECT_EQ(names, (QStringList{QStringLiteral("Play3"), QStringLiteral("Stop3"), QStringLiteral("Ripper1"),
                                  QStringLiteral("Refrsh1"), QStringLiteral("FreeDB1"),
                                  QStringLiteral("Eject1"), QStringLiteral("CloseDriveTray1")}));
    for (QAction *a : w->p_lvcd->actions())
        EXPECT_TRUE(a->isEnabled());

    // An image has no tray: the menu says so.
    w->ripper()->Eject1->trigger();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, QStringLiteral("hv.cue is a disc image: it has no tray to open."));
}

TEST_F(RipPageTest, CdPlaybackFromTheSkinWithTheRowHighlighted) {
    click("rip");
    w->ripper()->selectRow(0);
    click("btnplay");
    ASSERT_TRUE(w->cdPlayer()->loaded());
    EXPECT_EQ(status(0), QStringLiteral("Play"));
    EXPECT_EQ(w->ripper()->CurrentTrackName(), QStringLiteral("T.N.T."));
    // Drawn without the selection on it: the playing row's colour, the others
    // the list's own background (the skin's).
    w->ripper()->lv_cdSelection.clear();
    EXPECT_EQ(colourOfRow(0), PlayingRowDelegate::highlightColour());
    EXPECT_EQ(colourOfRow(1), w->lv_cd->palette().color(QPalette::Base));
    EXPECT_NE(colourOfRow(1), PlayingRowDelegate::highlightColour());
    w->ripper()->selectRow(0);
    EXPECT_TRUE(test::waitUntil([this] { return w->surface().BarValue() > 0; }));

    click("btnnext");
    EXPECT_TRUE(w->cdPlayer()->loaded());
    EXPECT_EQ(w->cdPlayer()->CdRow, 1);
    EXPECT_EQ(status(0), QStringLiteral("Stop"));
    EXPECT_EQ(status(1), QStringLiteral("Play"));
    w->ripper()->lv_cdSelection.clear();
    EXPECT_EQ(colourOfRow(1), PlayingRowDelegate::highlightColour());
    w->ripper()->selectRow(1);
    click("btnpre");
    EXPECT_EQ(w->cdPlayer()->CdRow, 0);

    // Seek: hold the bar (the feed stops moving it), release at its middle.
    const SkinObject bar = w->skin->GetObject(QStringLiteral("bar"));
    w->surface().SkinMouseDown(bar, Qt::LeftButton, 10, 5);
    EXPECT_TRUE(w->cdPlayer()->seeking());
    w->surface().SkinMouseUp(bar, Qt::LeftButton, 80, 5);
    EXPECT_FALSE(w->cdPlayer()->seeking());
    EXPECT_GE(w->cdPlayer()->CdReadPosition, 300);
    EXPECT_GE(w->surface().BarValue(), 3750);
    EXPECT_TRUE(w->skin->GetObject(QStringLiteral("labtime"))
                    .AsText()
                    .GetText()
                    .startsWith(QStringLiteral("00:00:0")));

    click("btnstop");
    EXPECT_FALSE(w->cdPlayer()->loaded());
    EXPECT_EQ(status(0), QStringLiteral("Stop"));
    EXPECT_EQ(w->surface().BarValue(), 0);
    EXPECT_EQ(w->skin->GetObject(QStringLiteral("labtime")).AsText().GetText(), QStringLiteral("00:00:00"));
    EXPECT_NE(colourOfRow(0), PlayingRowDelegate::highlightColour());

    // Another page ends CD playback.
    click("btnplay");
    EXPECT_TRUE(w->cdPlayer()->loaded());
    click("radio");
    EXPECT_FALSE(w->cdPlayer()->loaded());
    click("rip");
    click("btnplay");
    EXPECT_TRUE(w->cdPlayer()->loaded());
    prompts.answers = {PromptAnswer::Cancel}; // no rescan
    click("local");
    EXPECT_FALSE(w->cdPlayer()->loaded());
}

TEST_F(RipPageTest, ARipKeepsTheWindowFreeAndStopsWhenAsked) {
    click("rip");
    w->options()->findChild<QComboBox *>(QStringLiteral("cb_name"))->setCurrentIndex(2);
    RipperPanel *panel = w->ripperPanel();
    // A slow spot in the second track: the window stays free while the drive takes its time.
    auto faults = std::make_shared<cd::ReadFaults>();
    faults->stallSector(image.starts[1] + 1500, 60000);
    w->cdGrabber().setReadFaults(faults);
    bool sawPanel = false;
    QObject context;
    QObject::connect(&w->cdGrabber(), &cd::AudioCDGrabber::GrabStarted, &context,
                     [&] { sawPanel = sawPanel || (panel->isVisible() && !w->lv_cd->isEnabled()); });
    // The first track done, the second still being read: Stop.
    QObject::connect(&w->cdGrabber(), &cd::AudioCDGrabber::GrabFinished, &context, [&](int grab) {
        if (grab == 0)
            QTimer::singleShot(100, panel, [panel] { panel->btn_cdripper_stop->click(); });
    });
    bool ended = false;
    QObject::connect(w->ripper(), &CdRipper::ripFinished, &context, [&] { ended = true; });
    const auto *Ripper1 = w->p_lvcd->findChild<QMenu *>(QStringLiteral("Ripper1"));
    ASSERT_TRUE(Ripper1);
    QStringList formats; // in the order of the stored format numbers
    for (const QAction *a : Ripper1->actions())
        formats << a->text();
    EXPECT_EQ(formats,
              QStringList({QStringLiteral("To MP3"), QStringLiteral("To WAV"), QStringLiteral("To WMA"),
                           QStringLiteral("To OGG"), QStringLiteral("To FLAC")}));
    Ripper1->actions().at(0)->trigger(); // To MP3
    ASSERT_TRUE(w->ripping());
    w->surface().SkinClick(w->skin->GetObject(QStringLiteral("btnrec"))); // refused while ripping
    EXPECT_FALSE(w->recorder().recording());
    ASSERT_TRUE(test::waitUntil([&] { return ended; }, 120000));
    EXPECT_TRUE(sawPanel);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(w->lv_cd->isEnabled());
    EXPECT_EQ(status(0), QStringLiteral("Finished"));
    EXPECT_EQ(status(1), QStringLiteral("Stopped"));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("out/High Voltage/T.N.T..mp3"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("out/High Voltage/Live Wire.mp3"))));
    // "<Album>" asked nothing; the folder opened at the end (cb_auto is on by default).
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(shell.openedFolders.value(0), dir.filePath(QStringLiteral("out/High Voltage")));
}

TEST_F(RipPageTest, AlbumInformationStatesAndTheDriveChoice) {
    click("rip");
    cd::LookupSettings dead;
    dead.cddbServer = QUrl(QStringLiteral("http://127.0.0.1:1/~cddb/cddb.cgi"));
    dead.timeoutMs = 2000;
    w->ripper()->lookupSettings = [dead] { return dead; };
    QStringList texts;
    QObject context;
    QObject::connect(&w->cdGrabber(), &cd::AudioCDGrabber::OnFreeDBQueryStatus, &context,
                     [&](int) { texts << w->lab_state->text(); });
    w->ripper()->FreeDB1->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return texts.size() >= 2; }, 15000));
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Connecting to  server..."),
                                  QStringLiteral("Connection failed!")}));
    EXPECT_FALSE(w->panel_state->isVisible());
    EXPECT_EQ(w->ripper()->lv_cd.rowCount(), 3) << "the list stays as it was";

    // "Image..." in the options: another image becomes the drive, remembered for the next start.
    test::ImageSpec other;
    other.tracks = {{500, 300}};
    const test::DiscImage second = test::writeDiscImage(dir.path(), QStringLiteral("single"), other);
    prompts.filesToOpen = {second.sheet};
    w->options()->findChild<QPushButton *>(QStringLiteral("btn_cdimage"))->click();
    EXPECT_TRUE(w->options()->driveCombo()->currentText().contains(QStringLiteral("single.cue")));
    EXPECT_EQ(w->ripper()->lv_cd.rowCount(), 1);
    EXPECT_TRUE(test::readBytes(dir.filePath(QStringLiteral("temp.ini"))).contains("single.cue"));
}
