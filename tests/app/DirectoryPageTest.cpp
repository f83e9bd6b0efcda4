#include "WindowFixture.h"
#include "common/TreeText.h"
#include "radio/DirectorySearch.h"
#include "radio/SearchPanel.h"
#include "radio/StationCatalogue.h"
#include "radio/StationFile.h"
#include "radio/StationPanel.h"
#include "support/DirectoryServer.h"
#include "support/Files.h"
#include "support/IcyServer.h"
#include "support/Wait.h"

#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>

using namespace varnelo;
using test::directoryOf;
using test::directoryStation;
using test::HttpServer;

namespace {

const QString LongHome =
    QStringLiteral("https://www.example-broadcaster.example/stations/jazz-one/index.html");

class DirectoryPageTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(icy.start());
        static QTemporaryDir toneDir;
        static const QByteArray tone = test::makeTone({test::ToneFormat::Mp3, 440, 4.0}, toneDir.path());
        ASSERT_FALSE(tone.isEmpty());
        test::IcyMount mount;
        mount.audio = tone;
        icy.addMount(QStringLiteral("/jazz"), mount);
        // Sixty jazz stations, most played first; the first plays from the radio server.
        QJsonArray stations;
        for (int i = 0; i < 60; ++i) {
            QJsonObject s = directoryStation(QStringLiteral("id-%1").arg(i), QStringLiteral("Jazz %1").arg(i),
                                             QStringLiteral("http://127.0.0.1:9/jazz/%1").arg(i),
                                             QStringLiteral("jazz,swing"), QStringLiteral("DE"), 1000 - i);
            if (i == 0) {
                s.insert(QStringLiteral("url_resolved"), icy.url(QStringLiteral("/jazz")));
                s.insert(QStringLiteral("homepage"), LongHome);
            }
            stations.append(s);
        }
        stations.append(directoryStation(QStringLiteral("rock"), QStringLiteral("Rock Jazz Fusion"),
                                         QStringLiteral("http://127.0.0.1:9/rock"), QStringLiteral("rock"),
                                         QStringLiteral("US"), 5000));
        directory = std::make_unique<HttpServer>(directoryOf(stations));
        ASSERT_TRUE(directory->start());
    }
    void TearDown() override {
        w.reset();
        WindowTest::TearDown();
    }
    void useServer(const QString &base) {
        test::writeBytes(dir.filePath(QStringLiteral("temp.ini")),
                         "[directory]\r\nserver=" + base.toUtf8() + "\r\n");
    }
    void searchDirectory(const QString &text, const QString &tag = {}) {
        SearchPanel *panel = w->pan_search;
        panel->show();
        panel->cb_search->setCurrentIndex(SearchPanel::DirectoryIndex);
        panel->Search_genre->setText(text);
        panel->cb_tag->setEditText(tag);
        panel->Button6->click();
    }
    StationCatalogue &catalogue() { return w->catalogue(); }
    QByteArray radioBytes() { return test::readBytes(data(QStringLiteral("radio.dat"))); }
    QMap<QString, QString> lastSearch() const {
        QMap<QString, QString> query;
        for (const test::HttpRequest &r : directory->requests())
            if (r.path == QLatin1String("/json/stations/search"))
                query = r.query;
        return query;
    }

    test::IcyServer icy;
    std::unique_ptr<HttpServer> directory;
    std::unique_ptr<MainWindow> w;
};

} // namespace

TEST_F(DirectoryPageTest, AFirstRunSaysWhereToFindStations) {
    useServer(directory->base());
    w = startWindow();
    ASSERT_TRUE(w->lab_hint->isVisible());
    EXPECT_TRUE(w->lab_hint->text().contains(QStringLiteral("No radio stations yet.")));
    EXPECT_TRUE(w->lab_hint->text().contains(QStringLiteral("search the directory")));
    // History lists nothing either, and says the same while radio.dat is empty.
    catalogue().selectNode(tree::FindNodeByText(catalogue().tv, QStringLiteral("History")));
    catalogue().ShowCatalogueNode();
    EXPECT_TRUE(w->lab_hint->isVisible());

    Q_EMIT w->lab_hint->linkActivated(QStringLiteral("directory"));
    EXPECT_TRUE(w->pan_search->isVisible());
    EXPECT_TRUE(w->pan_search->directoryScope());
    EXPECT_TRUE(w->pan_search->cb_tag->isVisible());
    // The tags and countries to choose from come from the directory.
    // Two answers, in either order.
    ASSERT_TRUE(test::waitUntil([&] {
        return w->pan_search->cb_country->count() == 3 &&
               w->pan_search->cb_tag->findText(QStringLiteral("swing")) >= 0;
    }));
    EXPECT_EQ(w->pan_search->cb_country->itemText(1), QStringLiteral("Land DE (DE)"));
    EXPECT_EQ(w->pan_search->cb_tag->findText(QStringLiteral("swing")), 3);
    // The list is not hidden behind the panel.
    EXPECT_LE(w->LV->geometry().bottom(), w->pan_search->geometry().top());

    // The directory is the radio page's: on the local page the panel searches the library only.
    w->ShowLocalPage();
    EXPECT_EQ(w->pan_search->cb_search->count(), 2);
    EXPECT_FALSE(w->pan_search->directoryScope());
    w->ShowRadioPage();
    EXPECT_EQ(w->pan_search->cb_search->count(), 3);

    StationFile(data(QStringLiteral("radio.dat")))
        .append(StationRecord{{}, QStringLiteral("http://s/1"), {}, QStringLiteral("One")});
    catalogue().selectNode(tree::FindNodeByText(catalogue().tv, QStringLiteral("Radio Stations")));
    catalogue().ShowCatalogueNode();
    EXPECT_FALSE(w->lab_hint->isVisible());
    EXPECT_TRUE(unhandled.isEmpty());
}

TEST_F(DirectoryPageTest, SearchAuditionAddAndTheStationShowsUnderItsGenre) {
    useServer(directory->base());
    // A station the catalogue already has (same address) is marked and not added twice.
    QDir().mkpath(dir.filePath(QStringLiteral("record")));
    const StationRecord known{
        {}, QStringLiteral("http://127.0.0.1:9/jazz/2"), QStringLiteral("Jazz"), QStringLiteral("Mine")};
    test::writeBytes(data(QStringLiteral("radio.dat")), known.toBytes());
    w = startWindow();
    const QByteArray before = radioBytes();

    searchDirectory(QStringLiteral("jazz"), QStringLiteral("jazz"));
    ASSERT_TRUE(test::waitUntil([&] { return catalogue().LV.rowCount() == 50; }));
    EXPECT_EQ(lastSearch().value(QStringLiteral("tag")), QStringLiteral("jazz"));
    EXPECT_EQ(catalogue().stationRow(0).Name, QStringLiteral("Jazz 0"));
    EXPECT_EQ(catalogue().stationRow(0).Genre, QStringLiteral("jazz"));
    EXPECT_EQ(catalogue().stationRow(0).StreamUrl, icy.url(QStringLiteral("/jazz")));
    DirectorySearch &search = w->directory();
    EXPECT_TRUE(catalogue().LV.item(2)->data(DirectorySearch::KnownRole).toBool());
    EXPECT_FALSE(catalogue().LV.item(1)->data(DirectorySearch::KnownRole).toBool());
    EXPECT_FALSE(w->lab_hint->isVisible());

    // More on scroll.
    w->LV->scrollToBottom();
    ASSERT_TRUE(test::waitUntil([&] { return catalogue().LV.rowCount() == 60 && !search.busy(); }));
    EXPECT_EQ(lastSearch().value(QStringLiteral("offset")), QStringLiteral("50"));
    EXPECT_FALSE(search.hasMore());

    // A double-click auditions the station through the player and counts the click.
    w->LV->scrollToTop();
    QTest::mouseClick(w->LV->viewport(), Qt::LeftButton, {},
                      w->LV->visualRect(catalogue().LV.index(0, 0)).center());
    QTest::mouseDClick(w->LV->viewport(), Qt::LeftButton, {},
                       w->LV->visualRect(catalogue().LV.index(0, 0)).center());
    ASSERT_TRUE(
        test::waitUntil([&] { return w->player().stationPlaying() && !w->player().connecting(); }, 20000));
    EXPECT_EQ(w->panel_radio->url->text(), icy.url(QStringLiteral("/jazz")));
    ASSERT_TRUE(test::waitUntil([&] { return directory->count(QStringLiteral("/json/url/id-0")) == 1; }));
    EXPECT_EQ(test::readBytes(data(QStringLiteral("history.dat"))),
              QByteArray()); // auditioned, not played from the catalogue

    // "Add radio" saves name, first tag, resolved address and home page (kept in full).
    catalogue().selectRow(0);
    w->pan_search->btn_diradd->click();
    const StationRecord added{LongHome, icy.url(QStringLiteral("/jazz")), QStringLiteral("jazz"),
                              QStringLiteral("Jazz 0")};
    EXPECT_EQ(radioBytes(), before + added.toBytes());
    EXPECT_TRUE(catalogue().LV.item(0)->data(DirectorySearch::KnownRole).toBool());
    w->pan_search->btn_diradd->click(); // not twice
    catalogue().selectRow(2);
    w->pan_search->btn_diradd->click(); // nor one the catalogue had
    EXPECT_EQ(radioBytes(), before + added.toBytes());

    // The list's popup adds the row pressed last.
    w->catalogue().lists.currentRow = 5;
    QAction *addRadio = w->p_lv->findChild<QAction *>(QStringLiteral("AddRadio1"));
    ASSERT_TRUE(addRadio);
    Q_EMIT w->p_lv->aboutToShow();
    EXPECT_TRUE(addRadio->isVisible());
    addRadio->trigger();
    const StationRecord fifth{QStringLiteral("https://home.example/id-5"),
                              QStringLiteral("http://127.0.0.1:9/jazz/5"), QStringLiteral("jazz"),
                              QStringLiteral("Jazz 5")};
    EXPECT_EQ(radioBytes(), before + added.toBytes() + fifth.toBytes());

    // Both show under "Radio Stations" and under the genre node "Jazz", full addresses and all.
    QStandardItem *stations = tree::FindNodeByText(catalogue().tv, QStringLiteral("Radio Stations"));
    QStandardItem *jazz = nullptr;
    for (int r = 0; r < stations->rowCount(); ++r)
        if (stations->child(r)->text() == QLatin1String("Jazz"))
            jazz = stations->child(r);
    ASSERT_TRUE(jazz);
    catalogue().selectNode(jazz);
    catalogue().ShowCatalogueNode();
    ASSERT_EQ(catalogue().LV.rowCount(), 3);
    EXPECT_EQ(catalogue().stationRow(1).Name, QStringLiteral("Jazz 0"));
    EXPECT_EQ(catalogue().stationRow(1).HomeUrl, LongHome);
    EXPECT_FALSE(search.isDirectoryRow(1));
    Q_EMIT w->p_lv->aboutToShow();
    EXPECT_FALSE(addRadio->isVisible());
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(unhandled.isEmpty());
}

TEST_F(DirectoryPageTest, AFailedSearchSaysWhyAndLeavesTheListEmpty) {
    const QString refused = QStringLiteral("http://127.0.0.1:%1").arg(HttpServer::closedPort());
    useServer(refused);
    w = startWindow();
    searchDirectory(QStringLiteral("jazz"));
    ASSERT_TRUE(test::waitUntil([&] { return !prompts.shown.empty(); }));
    EXPECT_EQ(
        prompts.shown[0].text,
        QStringLiteral("The station directory at %1 could not be used: Connection refused.").arg(refused));
    EXPECT_EQ(prompts.shown[0].caption, dialogCaption());
    EXPECT_EQ(catalogue().LV.rowCount(), 0);
    EXPECT_EQ(w->lab_hint->text(), QStringLiteral("The station directory could not be searched."));

    // A server setting that is no address is named, and nothing is asked.
    useServer(QStringLiteral("ftp://mirror.example/"));
    w->settings.reload();
    searchDirectory(QStringLiteral("jazz"));
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_TRUE(prompts.shown[1].text.contains(QStringLiteral("\"ftp://mirror.example/\"")))
        << prompts.shown[1].text.toStdString();
}
