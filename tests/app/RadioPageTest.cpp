#include "WindowFixture.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/PlayingRowDelegate.h"
#include "app/SkinSurface.h"
#include "platform/skin/Skin.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/SearchPanel.h"
#include "radio/StationCatalogue.h"
#include "radio/StationInfoWindow.h"
#include "radio/StationPanel.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/IcyServer.h"
#include "support/Wait.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

QByteArray station(const QString &name, const QString &genre) {
    StationRecord r;
    r.Name = name;
    r.Genre = genre;
    r.StreamUrl = QStringLiteral("http://s/") + name;
    return r.toBytes();
}

class RadioPageTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        QDir().mkpath(dir.filePath(QStringLiteral("record")));
        test::writeBytes(dir.filePath(QStringLiteral("record/radio.dat")),
                         station(QStringLiteral("One"), QStringLiteral("Classic Rock")) +
                             station(QStringLiteral("Two"), QStringLiteral("Jazz")) +
                             station(QStringLiteral("Three"), QStringLiteral("Rock")));
        w = startWindow();
        ASSERT_TRUE(w->startupDone());
    }
    void TearDown() override {
        w.reset();
        WindowTest::TearDown();
    }
    void click(const char *name) { w->surface().SkinClick(w->skin->GetObject(QLatin1String(name))); }
    QStringList names() {
        QStringList out;
        for (int r = 0; r < w->catalogue().LV.rowCount(); ++r)
            out << w->catalogue().stationRow(r).Name;
        return out;
    }

    std::unique_ptr<MainWindow> w;
};

} // namespace

TEST_F(RadioPageTest, TheSkinIsHookedUpAndItsWrittenObjectsWork) {
    EXPECT_EQ(w->size(), QSize(588, 442));
    EXPECT_FALSE(w->skin->GetObject(QStringLiteral("labtime")).isNull());
    w->surface().SetLabtime(QStringLiteral("01:02:03"));
    EXPECT_EQ(w->skin->GetObject(QStringLiteral("labtime")).AsText().GetText(), QStringLiteral("01:02:03"));
    EXPECT_EQ(w->surface().BarvValue(), w->streams().GetVolume());
    EXPECT_TRUE(w->skin->isSelected(QStringLiteral("radio")));
    // The views lie inside the skin's areas.
    EXPECT_TRUE(w->skin->areaRect(QStringLiteral("area_list")).contains(w->LV->geometry()));
    EXPECT_TRUE(unhandled.isEmpty());
}

TEST_F(RadioPageTest, DispatchIsExactAndCaseSensitive) {
    w->surface().SkinClick(w->skin->GetObject(QStringLiteral("Search"))); // not a skin name: nothing
    EXPECT_FALSE(w->pan_search->isVisible());
    click("search");
    EXPECT_TRUE(w->pan_search->isVisible());
    click("search");
    EXPECT_FALSE(w->pan_search->isVisible());
    click("add");
    EXPECT_TRUE(w->panel_radio->isVisible());
}

TEST_F(RadioPageTest, RowMovesChangeOnlyTheList) {
    const QByteArray before = test::readBytes(dir.filePath(QStringLiteral("record/radio.dat")));
    click("up"); // nothing selected
    EXPECT_EQ(names(), (QStringList{QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")}));
    w->catalogue().selectRow(0);
    click("up"); // the first row does not move up
    click("down");
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Two"), QStringLiteral("One"), QStringLiteral("Three")}));
    EXPECT_EQ(w->catalogue().selectedRow(), 1);
    EXPECT_EQ(w->catalogue().stationRow(1).StreamUrl,
              QStringLiteral("http://s/One")); // hidden columns moved too
    w->catalogue().selectRow(2);
    click("down");
    EXPECT_EQ(names().last(), QStringLiteral("Three"));
    EXPECT_EQ(w->catalogue().LV.rowCount(), 3);
    EXPECT_EQ(test::readBytes(dir.filePath(QStringLiteral("record/radio.dat"))), before);
}

TEST_F(RadioPageTest, SearchByGenreOrTitleAndResetToTheLastNode) {
    w->pan_search->Search_genre->setText(QStringLiteral("ROCK "));
    w->pan_search->Button6->click();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("One"), QStringLiteral("Three")}));
    w->pan_search->cb_search->setCurrentIndex(1);
    w->pan_search->Search_genre->setText(QStringLiteral("tw"));
    Q_EMIT w->pan_search->searchRequested();
    EXPECT_EQ(names(), QStringList{QStringLiteral("Two")});
    w->pan_search->Search_genre->setText(QStringLiteral("  "));
    w->pan_search->Button6->click();
    EXPECT_TRUE(names().isEmpty());
    w->pan_search->Button7->click(); // back to "Radio Stations"
    EXPECT_EQ(names().size(), 3);
}

TEST_F(RadioPageTest, VolumeStepWhileMutedUnmutesBelowTheBarAndIsRememberedAtTheNextStart) {
    w->surface().SetBarv(60);
    w->BitBtn1->click();
    EXPECT_EQ(w->streams().GetVolume(), 0);
    EXPECT_TRUE(w->BitBtn1->isHidden());
    click("vj");
    EXPECT_EQ(w->surface().BarvValue(), 55);
    EXPECT_EQ(w->streams().GetVolume(), 55);
    EXPECT_FALSE(w->BitBtn1->isHidden());
    EXPECT_TRUE(w->BitBtn2->isHidden());
    ASSERT_TRUE(test::waitUntil(
        [&] { return test::readBytes(dir.filePath(QStringLiteral("temp.ini"))).contains("volume=55"); }));
    w.reset();
    w = startWindow();
    EXPECT_EQ(w->surface().BarvValue(), 55);
    EXPECT_EQ(w->streams().GetVolume(), 55);
}

TEST_F(RadioPageTest, ThePlayingRowIsHighlightedOnlyWhileAStationPlays) {
    const auto colourOfRow = [this](int row) {
        const QImage image = w->LV->viewport()->grab().toImage();
        const QRect r = w->LV->visualRect(w->catalogue().LV.index(row, 1));
        return image.pixelColor(r.center().x(), r.top() + 1);
    };
    w->catalogue().LVSelection.clear();
    w->catalogue().lists.currentRow = 1;
    EXPECT_NE(colourOfRow(1), PlayingRowDelegate::highlightColour());
    const QColor listBackground = colourOfRow(0);
    test::IcyServer icy;
    ASSERT_TRUE(icy.start());
    ASSERT_TRUE(playStation(*w, icy));
    w->catalogue().LVSelection.clear();
    w->catalogue().lists.currentRow = 1;
    EXPECT_EQ(colourOfRow(1), PlayingRowDelegate::highlightColour());
    EXPECT_EQ(colourOfRow(0), listBackground); // the other rows keep the list's own colour
    w->player().StopRadioOrRecording();
}

TEST_F(RadioPageTest, PageSwitchesToLocalShowAnEmptyLibraryHowToAddMusicAndKeepTheirStrips) {
    w->lab_state->setText(QStringLiteral("Refused")); // a radio failure: not shown on the library page
    w->panel_state->show();
    click("local");
    EXPECT_FALSE(w->shownPage().radio() || w->panel_state->isVisibleTo(w.get()));
    EXPECT_TRUE(w->lv2->isVisibleTo(w.get()));
    EXPECT_TRUE(prompts.shown.empty());
    QLabel *hint = w->findChild<QLabel *>(QStringLiteral("lab_libhint"));
    ASSERT_TRUE(hint && hint->isVisibleTo(w.get()));
    Q_EMIT hint->linkActivated(QStringLiteral("scan")); // the folder browser, for a library scan
    EXPECT_EQ(prompts.folderPurposes, std::vector{FolderPurpose::LibraryScan});
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("record/treetext.txt"))));
    click("radio");
    EXPECT_TRUE(w->shownPage().radio());
    EXPECT_EQ(w->catalogue().selectedNode()->text(), QStringLiteral("Radio Stations"));
    EXPECT_TRUE(w->panel_state->isVisibleTo(w.get()) && w->lab_state->text() == QLatin1String("Refused"));

    // A station that fails while the library page shows says so on the radio page only.
    click("local");
    QSignalSpy done(&w->player(), &StreamPlayer::connectFinished);
    w->player().PlayAddress(QStringLiteral("http://127.0.0.1:1/none"));
    ASSERT_TRUE(done.wait(20000));
    EXPECT_FALSE(w->panel_state->isVisibleTo(w.get()));
    EXPECT_NE(w->lab_state->text(), QStringLiteral("Connection refused by 127.0.0.1:1"));
    click("radio");
    EXPECT_TRUE(w->panel_state->isVisibleTo(w.get()));
    EXPECT_EQ(w->lab_state->text(), QStringLiteral("Connection refused by 127.0.0.1:1"));
}

TEST_F(RadioPageTest, StationInfoShowsTheServerPageAndHomeGoesToTheHomeAddress) {
    test::IcyServer server;
    ASSERT_TRUE(server.start());
    server.addFile(QStringLiteral("/"), "text/html", "<html><body><h1>Status of Radio X</h1></body></html>");
    server.addFile(QStringLiteral("/home"), "text/html", "<html><body><p>Welcome home</p></body></html>");
    w->panel_radio->url->setText(server.url(QStringLiteral("/")));
    w->panel_radio->eurl->setText(server.url(QStringLiteral("/home")));
    QSignalSpy loaded(w->stationInfo(), &StationInfoWindow::pageLoaded);
    w->ShowStationInfo();
    ASSERT_TRUE(loaded.wait(10000));
    EXPECT_TRUE(w->stationInfo()->isVisible());
    EXPECT_TRUE(w->stationInfo()->WebBrowser1->toPlainText().contains(QStringLiteral("Status of Radio X")));
    w->stationInfo()->Button2->click();
    ASSERT_TRUE(loaded.wait(10000));
    EXPECT_TRUE(w->stationInfo()->WebBrowser1->toPlainText().contains(QStringLiteral("Welcome home")));
    w->stationInfo()->Navigate(QStringLiteral("http://127.0.0.1:1/"));
    ASSERT_TRUE(loaded.wait(10000));
    EXPECT_FALSE(loaded.last().at(0).toBool());
    EXPECT_TRUE(w->stationInfo()->WebBrowser1->toPlainText().contains(QStringLiteral("could not be loaded")));
    w->panel_radio->eurl->clear();
    w->stationInfo()->Button2->click();
    EXPECT_TRUE(w->stationInfo()->WebBrowser1->toPlainText().contains(QStringLiteral("no home page")));
}

TEST_F(RadioPageTest, ControlCharactersInANameShowAsEscapesAndAreKept) {
    StationRecord r;
    r.Name = QStringLiteral("Bell\aRadio\x1B[31m");
    r.StreamUrl = QStringLiteral("http://s/bell");
    w->catalogue().appendStationRow(r);
    const int row = w->catalogue().LV.rowCount() - 1;
    const QModelIndex index = w->catalogue().LV.index(row, StationCatalogue::TitleColumn);
    auto *delegate = qobject_cast<QStyledItemDelegate *>(w->LV->itemDelegateForIndex(index));
    ASSERT_NE(delegate, nullptr);
    EXPECT_EQ(delegate->displayText(index.data(), QLocale()), QStringLiteral("Bell\\x07Radio\\x1B[31m"));
    EXPECT_EQ(w->catalogue().stationRow(row).Name, r.Name); // saved and played as it is
}
