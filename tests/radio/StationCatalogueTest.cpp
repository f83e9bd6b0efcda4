#include "radio/StationCatalogue.h"
#include "common/Error.h"
#include "common/ShownPage.h"
#include "common/TreeText.h"
#include "radio/DataFiles.h"
#include "radio/StationFile.h"
#include "support/FakePlayer.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Wait.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

StationRecord station(const QString &name, const QString &genre, const QString &stream,
                      const QString &home = {}) {
    StationRecord r;
    r.Name = name;
    r.Genre = genre;
    r.StreamUrl = stream;
    r.HomeUrl = home;
    return r;
}

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = DataFolder(dir.path());
        CreateMissingDataFiles(folder);
        catalogue.setPanelSource([this] { return panel; });
        page.show(Page::Radio);
    }
    void write(const QString &file, const std::vector<StationRecord> &list, const QByteArray &tail = {}) {
        QByteArray bytes;
        for (const auto &r : list)
            bytes += r.toBytes();
        test::writeBytes(folder.file(file), bytes + tail);
    }
    std::vector<StationRecord> read(const QString &file) {
        std::vector<StationRecord> out;
        for (const QByteArray &b : stationFile(folder.file(file)).readAll())
            out.push_back(StationRecord::fromBytes(b));
        return out;
    }
    QStringList names() {
        QStringList out;
        for (int r = 0; r < catalogue.LV.rowCount(); ++r)
            out << catalogue.stationRow(r).Name;
        return out;
    }
    void show(const QString &text) {
        catalogue.selectNode(tree::FindNodeByText(catalogue.tv, text));
        catalogue.ShowCatalogueNode();
    }
    void showChild(const QString &parent, const QString &child) {
        QStandardItem *p = tree::FindNodeByText(catalogue.tv, parent);
        for (int r = 0; r < p->rowCount(); ++r)
            if (p->child(r)->text() == child)
                catalogue.selectNode(p->child(r));
        catalogue.ShowCatalogueNode();
    }

    QTemporaryDir dir;
    DataFolder folder;
    SetPage page;
    test::FakePrompts prompts;
    StationRecord panel;
    StationCatalogue catalogue{page, DataFolder(dir.path()), prompts};
};

} // namespace

TEST(StationRecordLayout, IsByteExact) {
    const QByteArray b = station(QStringLiteral("Name"), QStringLiteral("Jazz"), QStringLiteral("http://s"),
                                 QStringLiteral("http://h"))
                             .toBytes();
    ASSERT_EQ(b.size(), 234);
    EXPECT_EQ(b.mid(0, 9), QByteArray("\x08http://h"));
    EXPECT_EQ(b.mid(51, 9), QByteArray("\x08http://s"));
    EXPECT_EQ(b.mid(102, 5), QByteArray("\x04Jazz"));
    EXPECT_EQ(b.mid(133, 5), QByteArray("\x04Name"));
    EXPECT_EQ(b.mid(138, 96), QByteArray(96, '\0'));
}

TEST(StationRecordLayout, LongTextsAreCutToTheFieldWidths) {
    const StationRecord r =
        station(QString(120, QLatin1Char('n')), QString(40, QLatin1Char('g')), QString(60, QLatin1Char('s')))
            .stored();
    EXPECT_EQ(r.Name.size(), 100);
    EXPECT_EQ(r.Genre.size(), 30);
    EXPECT_EQ(r.StreamUrl.size(), 50);
    // Multi-byte characters are never split.
    const StationRecord u = station(QString(60, QChar(0x00E9)), {}, {}).stored();
    EXPECT_EQ(u.Name, QString(50, QChar(0x00E9)));
}

TEST_F(CatalogueTest, DefaultTreeHasFourRootsAndThirteenCategories) {
    ASSERT_EQ(catalogue.tv.rowCount(), 4);
    EXPECT_EQ(catalogue.tv.item(1)->text(), QStringLiteral("Radio Stations"));
    EXPECT_EQ(catalogue.tv.item(1)->rowCount(), 13);
    EXPECT_EQ(catalogue.tv.item(1)->child(4)->rowCount(), 8); // Electronic
    EXPECT_EQ(catalogue.tv.item(1)->child(9)->text(), QStringLiteral("Spiritual"));
}

TEST_F(CatalogueTest, RootsAndGenreNodesListTheirFiles) {
    write(QStringLiteral("radio.dat"),
          {station(QStringLiteral("A"), QStringLiteral("Classic Rock"), QStringLiteral("u1")),
           station(QStringLiteral("B"), QStringLiteral("opera live"), QStringLiteral("u2")),
           station(QStringLiteral("C"), QStringLiteral("Jazz"), QStringLiteral("u3"))},
          "x"); // a short tail is ignored
    write(QStringLiteral("history.dat"),
          {station(QStringLiteral("Opera Hist"), QStringLiteral("Opera"), QStringLiteral("h"))});
    write(QStringLiteral("favorites.dat"),
          {station(QStringLiteral("Fav"), QStringLiteral("x"), QStringLiteral("f"))});

    show(QStringLiteral("Radio Stations"));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    EXPECT_EQ(catalogue.lists.lastNodeText, QStringLiteral("Radio Stations"));
    showChild(QStringLiteral("Pop/Rock"), QStringLiteral("Rock"));
    EXPECT_EQ(names(), QStringList{QStringLiteral("A")});
    showChild(QStringLiteral("Classical"), QStringLiteral("Opera"));
    EXPECT_EQ(names(), QStringList{QStringLiteral("B")}); // radio.dat only, not the history
    show(QStringLiteral("Classical"));                    // a category is a genre filter too
    EXPECT_TRUE(names().isEmpty());

    show(QStringLiteral("History"));
    EXPECT_EQ(names(), QStringList{QStringLiteral("Opera Hist")});
    EXPECT_TRUE(catalogue.ClearHistory1->isEnabled());
    EXPECT_FALSE(catalogue.DelformFavorites1->isEnabled());
    show(QStringLiteral("Favorites"));
    EXPECT_EQ(names(), QStringList{QStringLiteral("Fav")});
    EXPECT_TRUE(catalogue.DelformFavorites1->isEnabled());
    EXPECT_FALSE(catalogue.ClearHistory1->isEnabled());
}

TEST_F(CatalogueTest, NowPlayingShowsThePanelOnlyWhileAStationPlays) {
    panel = station(QStringLiteral("Live"), QStringLiteral("Talk"), QStringLiteral("http://l"));
    show(QStringLiteral("Now Playing"));
    EXPECT_EQ(catalogue.LV.rowCount(), 0);
    test::FakePlayback playback;
    catalogue.playback = &playback.coordinator;
    playback.station.force(PlayState::Playing);
    show(QStringLiteral("Now Playing"));
    ASSERT_EQ(names(), QStringList{QStringLiteral("Live")});
    EXPECT_EQ(catalogue.stationRow(0).StreamUrl, QStringLiteral("http://l"));
    EXPECT_EQ(catalogue.selectedRow(), 0);
}

TEST_F(CatalogueTest, RadioStationsReloadsOnlyUpTo344Rows) {
    write(QStringLiteral("radio.dat"), {station(QStringLiteral("Only"), {}, QStringLiteral("u"))});
    for (int i = 0; i < 345; ++i)
        catalogue.appendStationRow(station(QStringLiteral("old"), {}, {}));
    show(QStringLiteral("Radio Stations"));
    EXPECT_EQ(catalogue.LV.rowCount(), 345); // left untouched
    catalogue.LV.removeRow(0);
    show(QStringLiteral("Radio Stations"));
    EXPECT_EQ(names(), QStringList{QStringLiteral("Only")});
    // Rows from elsewhere (the directory) are never taken for the catalogue's.
    catalogue.clearListForRefill();
    for (int i = 0; i < 345; ++i)
        catalogue.appendStationRow(station(QStringLiteral("found"), {}, {}));
    show(QStringLiteral("Radio Stations"));
    EXPECT_EQ(names(), QStringList{QStringLiteral("Only")});
}

// A long list comes a batch at a time, each in one insertion: the view never
// takes it row by row, and the click that shows it waits for the first batch only.
TEST_F(CatalogueTest, ALongListComesInBatchesOfOneInsertionEach) {
    constexpr int count = 100'000;
    std::vector<StationRecord> list;
    for (int i = 0; i < count; ++i)
        list.push_back(station(QStringLiteral("S%1").arg(i), {}, QStringLiteral("http://s/%1").arg(i)));
    write(QStringLiteral("radio.dat"), list);
    int inserts = 0;
    QObject::connect(&catalogue.LV, &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    QObject::connect(&catalogue.LV, &QAbstractItemModel::modelReset, [&] { inserts += 1000; });
    catalogue.lists.currentRow = count - 2;
    show(QStringLiteral("Radio Stations"));
    EXPECT_EQ(catalogue.LV.rowCount(), StationCatalogue::ListBatchRows);
    ASSERT_TRUE(test::waitUntil([&] { return !catalogue.listing(); }));
    EXPECT_EQ(inserts, (count + StationCatalogue::ListBatchRows - 1) / StationCatalogue::ListBatchRows);
    ASSERT_EQ(catalogue.LV.rowCount(), count);
    EXPECT_EQ(catalogue.stationRow(count - 1).StreamUrl, QStringLiteral("http://s/%1").arg(count - 1));
    EXPECT_EQ(catalogue.selectedRow(), count - 2); // once its batch came
    // A row added while a list comes goes last; another node drops what was still to come.
    catalogue.LV.removeRows(0, count);
    show(QStringLiteral("Radio Stations"));
    catalogue.appendStationRow(station(QStringLiteral("late"), {}, {}));
    EXPECT_EQ(catalogue.stationRow(count).Name, QStringLiteral("late"));
    catalogue.LV.removeRows(0, count + 1);
    show(QStringLiteral("Radio Stations"));
    show(QStringLiteral("History"));
    test::waitUntil([] { return false; }, 100);
    EXPECT_EQ(catalogue.LV.rowCount(), 0);
}

TEST_F(CatalogueTest, CurrentRowIsSelectedAfterARefillWhenValid) {
    write(QStringLiteral("radio.dat"), {station(QStringLiteral("A"), {}, QStringLiteral("1")),
                                        station(QStringLiteral("B"), {}, QStringLiteral("2"))});
    catalogue.lists.currentRow = 1;
    show(QStringLiteral("Radio Stations"));
    EXPECT_EQ(catalogue.selectedRow(), 1);
    catalogue.lists.currentRow = 7;
    catalogue.LVSelection.clear();
    show(QStringLiteral("Radio Stations"));
    EXPECT_EQ(catalogue.selectedRow(), -1);
}

TEST_F(CatalogueTest, AMissingStationFileRaisesAndLeavesTheListCleared) {
    catalogue.appendStationRow(station(QStringLiteral("old"), {}, {}));
    QFile::remove(folder.file(QStringLiteral("radio.dat")));
    catalogue.selectNode(tree::FindNodeByText(catalogue.tv, QStringLiteral("Jazz")));
    EXPECT_THROW(catalogue.ShowCatalogueNode(), Error);
    EXPECT_EQ(catalogue.LV.rowCount(), 0);
}

TEST_F(CatalogueTest, AddStationRules) {
    panel = station({}, {}, QStringLiteral("http://only-url"));
    catalogue.AddStation(); // the address alone does not count
    EXPECT_TRUE(read(QStringLiteral("radio.dat")).empty());
    EXPECT_TRUE(!prompts.shown.empty() &&
                prompts.shown.back().text.contains(QStringLiteral("fill in its name")));

    // Added: shown selected in its genre's list; a known address is refused with the reason.
    panel = station(QStringLiteral(" Name "), QStringLiteral("Rock"), QStringLiteral("http://a"));
    catalogue.AddStation();
    EXPECT_EQ(catalogue.selectedNode()->text(), QStringLiteral("Rock"));
    EXPECT_EQ(catalogue.stationRow(catalogue.selectedRow()).StreamUrl, QStringLiteral("http://a"));
    catalogue.AddStation();
    EXPECT_TRUE(prompts.shown.back().text.contains(QStringLiteral("http://a is already in the list")));
    ASSERT_EQ(read(QStringLiteral("radio.dat")).size(), 1u);
    EXPECT_EQ(read(QStringLiteral("radio.dat"))[0].Name, QStringLiteral(" Name ")); // not trimmed
    // A genre no category knows gets a node under "Other/Mixed".
    panel = station(QStringLiteral("Wave"), QStringLiteral("Vaporwave"), QStringLiteral("http://v"));
    catalogue.AddStation();
    EXPECT_EQ(catalogue.selectedNode()->index().parent().data().toString(), QStringLiteral("Other/Mixed"));
    EXPECT_EQ(catalogue.stationRow(catalogue.selectedRow()).Name, QStringLiteral("Wave"));
    prompts.shown.clear();

    // An address longer than the field is kept in full beside the record, so it
    // is found again and not added twice.
    const QString longUrl = QStringLiteral("http://") + QString(60, QLatin1Char('u'));
    panel = station(QStringLiteral("Long"), {}, longUrl);
    catalogue.AddStation();
    EXPECT_EQ(catalogue.stationRow(catalogue.selectedRow()).StreamUrl, longUrl);
    catalogue.AddStation();
    EXPECT_EQ(read(QStringLiteral("radio.dat")).size(), 3u);
    EXPECT_EQ(StationFile(catalogue.radioPath()).readAll().back().StreamUrl, longUrl);
    EXPECT_EQ(prompts.shown.size(), 1u); // the second add of the long address
}

TEST_F(CatalogueTest, AddToHistoryAppendsOnceByNameAndAddsATreeChild) {
    panel = station(QStringLiteral("  Jazz FM "), QStringLiteral(" Jazz"), QStringLiteral(" http://j "));
    catalogue.AddToHistory();
    catalogue.AddToHistory();
    const auto history = read(QStringLiteral("history.dat"));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Name, QStringLiteral("Jazz FM"));
    EXPECT_EQ(history[0].StreamUrl, QStringLiteral("http://j"));
    QStandardItem *node = tree::FindNodeByText(catalogue.tv, QStringLiteral("History"));
    ASSERT_EQ(node->rowCount(), 1);
    showChild(QStringLiteral("History"), QStringLiteral("Jazz FM"));
    EXPECT_EQ(names(), QStringList{QStringLiteral("Jazz FM")});
}

TEST_F(CatalogueTest, AddToFavoritesAsksForAKnownAddress) {
    catalogue.appendStationRow(
        station(QStringLiteral("S"), QStringLiteral("G"), QString(60, QLatin1Char('x'))));
    catalogue.lists.currentRow = 0;
    catalogue.AddToFavorites();
    EXPECT_TRUE(prompts.shown.empty());
    catalogue.LV.removeRows(0, 1);
    catalogue.appendStationRow(
        StationFile(catalogue.favoritesPath()).readAll()[0]); // as listed from the file
    prompts.answers = {PromptAnswer::Cancel};
    catalogue.AddToFavorites();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              QStringLiteral("The selected file(s) is/are already in the lists. Continue add or not? "));
    EXPECT_EQ(prompts.shown[0].caption, dialogCaption());
    EXPECT_EQ(read(QStringLiteral("favorites.dat")).size(), 1u);
    prompts.answers = {PromptAnswer::Ok};
    catalogue.AddToFavorites();
    EXPECT_EQ(read(QStringLiteral("favorites.dat")).size(), 2u);
}

TEST_F(CatalogueTest, RemoveFavoritesDropsTheFirstMatchAtomically) {
    write(QStringLiteral("favorites.dat"),
          {station(QStringLiteral("A"), {}, QStringLiteral("1")),
           station(QStringLiteral("B"), {}, QStringLiteral("2")),
           station(QStringLiteral("B2"), {}, QStringLiteral("2"))},
          "tail");
    show(QStringLiteral("Favorites"));
    catalogue.selectRow(1);
    catalogue.RemoveFavorites();
    const auto left = read(QStringLiteral("favorites.dat"));
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].Name, QStringLiteral("A"));
    EXPECT_EQ(left[1].Name, QStringLiteral("B2"));
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("temp.dat"))));
    // No row selected: the first row is taken.
    show(QStringLiteral("Favorites"));
    catalogue.LVSelection.clear();
    catalogue.RemoveFavorites();
    EXPECT_EQ(read(QStringLiteral("favorites.dat")).size(), 1u);
}

TEST_F(CatalogueTest, ClearHistoryEmptiesFileTreeAndTreeFile) {
    panel = station(QStringLiteral("Gone"), {}, QStringLiteral("g"));
    catalogue.AddToHistory();
    show(QStringLiteral("History"));
    catalogue.ClearHistory();
    EXPECT_EQ(QFile(folder.file(QStringLiteral("history.dat"))).size(), 0);
    EXPECT_TRUE(QFile::exists(folder.file(QStringLiteral("history.dat"))));
    EXPECT_EQ(tree::FindNodeByText(catalogue.tv, QStringLiteral("History"))->rowCount(), 0);
    EXPECT_FALSE(test::readBytes(folder.file(QStringLiteral("treetext.txt"))).contains("Gone"));
    EXPECT_TRUE(test::readBytes(folder.file(QStringLiteral("treetext.txt"))).contains("History\r\n"));
    EXPECT_EQ(catalogue.LV.rowCount(), 0);
}

TEST_F(CatalogueTest, AnEmptyOrRootlessTreeFileFallsBackToTheBuiltInTree) {
    const QString path = folder.file(QStringLiteral("treetext.txt"));
    catalogue.LoadCatalogueTree(path); // empty file
    ASSERT_NE(tree::FindNodeByText(catalogue.tv, QStringLiteral("Radio Stations")), nullptr);
    test::writeBytes(path, "History\r\n\tKept FM\r\nOther\r\n");
    // What the built-in tree cannot take ("Other") is kept aside, and that is said.
    EXPECT_THROW(catalogue.LoadCatalogueTree(path), Error);
    EXPECT_EQ(test::readBytes(path + QStringLiteral(".damaged")), "History\r\n\tKept FM\r\nOther\r\n");
    EXPECT_EQ(catalogue.tv.rowCount(), 4);
    EXPECT_EQ(catalogue.tv.item(2)->child(0)->text(), QStringLiteral("Kept FM"));
    // A usable file is taken as it is, but for the old misspelt category.
    test::writeBytes(path, "Now\r\nRadio Stations\r\n\tSpirritual\r\nHistory\r\nFavorites\r\n");
    catalogue.LoadCatalogueTree(path);
    ASSERT_EQ(catalogue.tv.item(1)->rowCount(), 1);
    EXPECT_EQ(catalogue.tv.item(1)->child(0)->text(), QStringLiteral("Spiritual"));
    // A malformed line reports the error after falling back.
    test::writeBytes(path, "Now\r\n\t\t\tBad\r\n");
    EXPECT_THROW(catalogue.LoadCatalogueTree(path), Error);
    EXPECT_NE(tree::FindNodeByText(catalogue.tv, QStringLiteral("Radio Stations")), nullptr);
}
