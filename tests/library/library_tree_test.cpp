#include "common/Error.h"
#include "library_fixtures.h"
#include "support/FakePlayer.h"

#include <QFile>
#include <QTest>
#include <QTreeView>

using namespace varnelo;
using namespace varnelo::test;

namespace {

class LibraryTreeTest : public LibraryFixture {
protected:
    void loadTree(const QByteArray &text) {
        writeBytes(data(QStringLiteral("tt.txt")), text);
        library.LoadLibraryTree(data(QStringLiteral("tt.txt")));
    }
    void expectFixedTopLevel() {
        ASSERT_GE(library.tv2.rowCount(), 5);
        EXPECT_EQ(library.root(LibraryCatalogue::NowPlayingRoot)->text(), QStringLiteral("Now Playing"));
        EXPECT_EQ(library.root(LibraryCatalogue::MyAlbumRoot)->text(), QStringLiteral("My Album"));
        EXPECT_EQ(library.root(LibraryCatalogue::FavoritesRoot)->text(), QStringLiteral("Favorites"));
        EXPECT_EQ(library.root(LibraryCatalogue::AllTitleRoot)->rowCount(), 27);
        EXPECT_EQ(library.absoluteIndex(library.root(LibraryCatalogue::MyArtistRoot)), 29);
        EXPECT_EQ(library.root(LibraryCatalogue::MyArtistRoot)->text(), QStringLiteral("My Artist"));
    }
};

} // namespace

TEST_F(LibraryTreeTest, BuiltInTreeHasTheFixedLayout) {
    expectFixedTopLevel();
    QStringList letters = children(LibraryCatalogue::AllTitleRoot);
    EXPECT_EQ(letters.first(), QStringLiteral("A"));
    EXPECT_EQ(letters.at(25), QStringLiteral("Z"));
    EXPECT_EQ(letters.last(), QStringLiteral("Extra"));
    library.SaveLibraryTree();
    const QByteArray saved = readBytes(data(QStringLiteral("tt.txt")));
    EXPECT_TRUE(saved.startsWith("Now Playing\r\nAll Title\r\n\tA\r\n\tB\r\n"));
    EXPECT_TRUE(saved.endsWith("\tExtra\r\nMy Artist\r\nMy Album\r\nFavorites\r\n"));
}

TEST_F(LibraryTreeTest, EmptyTreeFileRestoresTheBuiltInTree) {
    loadTree({});
    expectFixedTopLevel();
    EXPECT_TRUE(children(LibraryCatalogue::MyArtistRoot).isEmpty());
}

TEST_F(LibraryTreeTest, FileLackingTheFixedTopLevelKeepsItsGroups) {
    // No "Now Playing", a short letter list: the groups survive, the rest is rebuilt.
    // What the tree cannot take is kept aside first, and that is said.
    EXPECT_THROW(loadTree("All Title\r\n\tA\r\nMy Artist\r\n\tAnn\r\n\tBob\r\nMy Album\r\n\tFirst\r\n"),
                 Error);
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("tt.txt.damaged"))));
    expectFixedTopLevel();
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot),
              (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")}));
    EXPECT_EQ(children(LibraryCatalogue::MyAlbumRoot), QStringList{QStringLiteral("First")});
    // The operations that count on index 29 now work.
    library.EnsureArtistNode(QStringLiteral("Cid"));
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot).last(), QStringLiteral("Cid"));
}

TEST_F(LibraryTreeTest, ValidFileLoadsAsSaved) {
    library.EnsureArtistNode(QStringLiteral("Ann"));
    library.EnsureAlbumNode(QStringLiteral("First"));
    library.SaveLibraryTree();
    LibraryCatalogue other(folder);
    other.LoadLibraryTree(data(QStringLiteral("tt.txt")));
    EXPECT_EQ(tree::SaveTreeToBytes(other.tv2), tree::SaveTreeToBytes(library.tv2));
}

TEST_F(LibraryTreeTest, MalformedLineIsReportedAfterTheFallback) {
    writeBytes(data(QStringLiteral("tt.txt")), "Now Playing\r\n\t\t\tdeep\r\n");
    EXPECT_THROW(library.LoadLibraryTree(data(QStringLiteral("tt.txt"))), Error);
    expectFixedTopLevel();
}

TEST_F(LibraryTreeTest, GroupNodesAreAddedOnceComparedExactly) {
    library.EnsureArtistNode(QStringLiteral("Ann"));
    library.EnsureArtistNode(QStringLiteral("Ann"));
    library.EnsureArtistNode(QStringLiteral("ann"));
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot),
              (QStringList{QStringLiteral("Ann"), QStringLiteral("ann")}));
    library.EnsureGroupNodes({track({}, QStringLiteral("Ann"), QStringLiteral("X"), {}),
                              track({}, QStringLiteral("Bob"), QStringLiteral("X"), {})});
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot),
              (QStringList{QStringLiteral("Ann"), QStringLiteral("ann"), QStringLiteral("Bob")}));
    EXPECT_EQ(children(LibraryCatalogue::MyAlbumRoot), QStringList{QStringLiteral("X")});
}

TEST_F(LibraryTreeTest, AlbumsNeverLandUnderAnArtistNamedMyAlbum) {
    library.EnsureArtistNode(QStringLiteral("my album"));
    library.EnsureAlbumNode(QStringLiteral("Record"));
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot), QStringList{QStringLiteral("my album")});
    EXPECT_EQ(children(LibraryCatalogue::MyAlbumRoot), QStringList{QStringLiteral("Record")});
}

TEST_F(LibraryTreeTest, RemoveEmptiedGroupsRemovesOnlyGroupsWithoutRecords) {
    write(QStringLiteral("music.dat"),
          {track(QStringLiteral("t"), QStringLiteral("Ann"), QStringLiteral("Kept"), QStringLiteral("/1"))});
    for (const char *a : {"Ann", "Bob"})
        library.EnsureArtistNode(QLatin1String(a));
    for (const char *a : {"Kept", "Gone"})
        library.EnsureAlbumNode(QLatin1String(a));
    library.RemoveEmptiedGroups({track({}, QStringLiteral("Ann"), QStringLiteral("Gone"), {}),
                                 track({}, QStringLiteral("Bob"), QStringLiteral("Kept"), {})});
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot), QStringList{QStringLiteral("Ann")});
    EXPECT_EQ(children(LibraryCatalogue::MyAlbumRoot), QStringList{QStringLiteral("Kept")});
}

class LibraryListingTest : public LibraryTreeTest {
protected:
    void SetUp() override {
        LibraryTreeTest::SetUp();
        write(QStringLiteral("music.dat"),
              {track(QStringLiteral("apple"), QStringLiteral("Ann"), QStringLiteral("Love Songs"),
                     QStringLiteral("/1"), QStringLiteral("Hard Rock")),
               track(QStringLiteral("Avocado"), QStringLiteral("ann"), QStringLiteral("Love"),
                     QStringLiteral("/2"), QStringLiteral("Jazz")),
               track(QStringLiteral("9 lives"), QStringLiteral("Bob"), QStringLiteral("Cats"),
                     QStringLiteral("/3"), QStringLiteral("Pop")),
               track(QStringLiteral("banana"), QStringLiteral("Bob"), QStringLiteral("Fruit"),
                     QStringLiteral("/4"), QStringLiteral("rock"))});
        for (const char *a : {"Ann", "ann", "Bob"})
            library.EnsureArtistNode(QLatin1String(a));
        for (const char *a : {"Love", "Cats"})
            library.EnsureAlbumNode(QLatin1String(a));
    }
};

TEST_F(LibraryListingTest, AllTitleListsEveryRecordInFileOrder) {
    showRoot(LibraryCatalogue::AllTitleRoot);
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("apple"), QStringLiteral("Avocado"),
                                         QStringLiteral("9 lives"), QStringLiteral("banana")}));
    EXPECT_EQ(library.lists.lastNodeText, QStringLiteral("All Title"));
    const LibraryRecord row = library.trackRow(0);
    EXPECT_EQ(row, track(QStringLiteral("apple"), QStringLiteral("Ann"), QStringLiteral("Love Songs"),
                         QStringLiteral("/1"), QStringLiteral("Hard Rock"))
                       .stored());
}

TEST_F(LibraryListingTest, LetterNodesIgnoreCaseAndExtraTakesTheRest) {
    show(library.root(LibraryCatalogue::AllTitleRoot)->child(0)); // "A"
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("apple"), QStringLiteral("Avocado")}));
    show(library.root(LibraryCatalogue::AllTitleRoot)->child(26)); // "Extra"
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("9 lives")});
    for (int letter = 0; letter < 26; ++letter) {
        show(library.root(LibraryCatalogue::AllTitleRoot)->child(letter));
        EXPECT_FALSE(listTitles().contains(QStringLiteral("9 lives")));
    }
}

TEST_F(LibraryListingTest, ArtistAndAlbumNodesMatchCaseInsensitiveSubstrings) {
    show(child(LibraryCatalogue::MyArtistRoot, QStringLiteral("ann")));
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("apple"), QStringLiteral("Avocado")}));
    show(child(LibraryCatalogue::MyArtistRoot, QStringLiteral("Ann")));
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("apple"), QStringLiteral("Avocado")}));
    show(child(LibraryCatalogue::MyAlbumRoot, QStringLiteral("Love")));
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("apple"), QStringLiteral("Avocado")}));
}

TEST_F(LibraryListingTest, ShowingANodeBelowTheTopLevelSavesTheTree) {
    EXPECT_TRUE(readBytes(data(QStringLiteral("tt.txt"))).isEmpty());
    show(child(LibraryCatalogue::MyArtistRoot, QStringLiteral("Bob")));
    EXPECT_EQ(readBytes(data(QStringLiteral("tt.txt"))), tree::SaveTreeToBytes(library.tv2));
}

TEST_F(LibraryListingTest, GroupRootsLeaveTheListAsItWas) {
    show(child(LibraryCatalogue::MyArtistRoot, QStringLiteral("Bob")));
    writeBytes(data(QStringLiteral("tt.txt")), {});
    for (auto root : {LibraryCatalogue::MyArtistRoot, LibraryCatalogue::MyAlbumRoot}) {
        showRoot(root);
        EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("9 lives"), QStringLiteral("banana")}));
    }
    EXPECT_TRUE(readBytes(data(QStringLiteral("tt.txt"))).isEmpty());
}

TEST_F(LibraryListingTest, NowPlayingBranches) {
    write(QStringLiteral("tp.dat"), {track(QStringLiteral("np1"), {}, {}, QStringLiteral("/n1")),
                                     track(QStringLiteral("np2"), {}, {}, QStringLiteral("/n2"))});
    showRoot(LibraryCatalogue::AllTitleRoot);
    // Neither valid nor playing: the list stays.
    showRoot(LibraryCatalogue::NowPlayingRoot);
    EXPECT_EQ(listTitles().size(), 4);
    EXPECT_EQ(library.lists.lastNodeText, QStringLiteral("Now Playing"));

    // Playing from a letter view: back to that node, rows untouched.
    FakePlayback playback;
    library.playback = &playback.coordinator;
    playback.file.force(PlayState::Playing);
    library.lists.playingListText = QStringLiteral("B");
    showRoot(LibraryCatalogue::NowPlayingRoot);
    EXPECT_EQ(library.lists.lastNodeText, QStringLiteral("B"));
    EXPECT_EQ(library.selectedNode(), library.root(LibraryCatalogue::AllTitleRoot)->child(1));
    EXPECT_EQ(listTitles().size(), 4);

    library.lists.nowPlayingValid = true;
    library.lists.playingIndex = 1;
    showRoot(LibraryCatalogue::NowPlayingRoot);
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("np1"), QStringLiteral("np2")}));
    EXPECT_EQ(library.selectedRow(), 1);
}

TEST_F(LibraryListingTest, FavoritesCreatesItsFileAndEnablesTheStationEntry) {
    QAction stationEntry(nullptr);
    stationEntry.setEnabled(false);
    library.setStationFavoritesEntry(&stationEntry);
    ASSERT_FALSE(QFile::exists(data(QStringLiteral("fav.dat"))));
    showRoot(LibraryCatalogue::FavoritesRoot);
    EXPECT_TRUE(QFile::exists(data(QStringLiteral("fav.dat"))));
    EXPECT_EQ(library.rowCount(), 0);
    EXPECT_TRUE(stationEntry.isEnabled());
}

TEST_F(LibraryListingTest, PlayingRowIsSelectedWhenItsListIsShownAgain) {
    library.lists.playingListText = QStringLiteral("All Title");
    library.lists.playingIndex = 2;
    showRoot(LibraryCatalogue::AllTitleRoot);
    EXPECT_EQ(library.selectedRow(), 2);
    library.lists.playingIndex = 9; // past the last row: no selection
    showRoot(LibraryCatalogue::AllTitleRoot);
    EXPECT_EQ(library.selectedRow(), -1);
}

TEST_F(LibraryListingTest, MissingMusicFileIsAnErrorAndTheListIsCleared) {
    showRoot(LibraryCatalogue::AllTitleRoot);
    QFile::remove(data(QStringLiteral("music.dat")));
    EXPECT_THROW(showRoot(LibraryCatalogue::AllTitleRoot), Error);
    EXPECT_EQ(library.rowCount(), 0);
}

TEST_F(LibraryListingTest, SearchAndResetOnTheLocalPage) {
    showRoot(LibraryCatalogue::AllTitleRoot);
    library.SearchLibrary(QStringLiteral(" ROCK "), 0);
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("apple"), QStringLiteral("banana")}));
    library.SearchLibrary(QStringLiteral("AN"), 1);
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("banana")});
    library.SearchLibrary(QStringLiteral("  "), 1);
    EXPECT_EQ(library.rowCount(), 0);

    show(child(LibraryCatalogue::MyAlbumRoot, QStringLiteral("Cats")));
    library.SearchLibrary(QStringLiteral("jazz"), 0);
    library.ResetLibrarySearch();
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("9 lives")});
}

TEST_F(LibraryListingTest, ListEventsKeepTheContextRow) {
    showRoot(LibraryCatalogue::AllTitleRoot);
    library.selectRow(2);
    library.lv2MouseDown(Qt::RightButton);
    EXPECT_EQ(library.lists.currentRow, 2);
    library.selectRow(1);
    library.lv2Click();
    EXPECT_EQ(library.lists.currentRow, 1);

    // Nothing selected: the playing row comes back, or row 0 in Now Playing.
    library.lv2Selection.clear();
    library.lists.playingIndex = 3;
    library.lv2Click();
    EXPECT_EQ(library.selectedRow(), 3);
    library.lv2Selection.clear();
    library.lists.playingIndex = -1;
    library.lv2MouseDown(Qt::RightButton);
    EXPECT_EQ(library.selectedRow(), -1);
    library.lists.lastNodeText = QStringLiteral("Now Playing");
    library.lv2Click();
    EXPECT_EQ(library.selectedRow(), 0);
}

TEST_F(LibraryListingTest, DelIsEnabledOnlyForGroupNodes) {
    const auto enabledOn = [this](QStandardItem *n) {
        library.tv2MouseDown(Qt::RightButton, n->index());
        library.tv2ContextPopup();
        return library.del->isEnabled();
    };
    EXPECT_TRUE(enabledOn(child(LibraryCatalogue::MyArtistRoot, QStringLiteral("Bob"))));
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("9 lives"), QStringLiteral("banana")}));
    EXPECT_TRUE(enabledOn(child(LibraryCatalogue::MyAlbumRoot, QStringLiteral("Cats"))));
    EXPECT_FALSE(enabledOn(library.root(LibraryCatalogue::AllTitleRoot)->child(3)));
    EXPECT_FALSE(enabledOn(library.root(LibraryCatalogue::MyArtistRoot)));
    EXPECT_FALSE(enabledOn(library.root(LibraryCatalogue::FavoritesRoot)));
}

TEST_F(LibraryListingTest, ClickInAViewWithTheHiddenPathColumnSelectsTheRow) {
    QTreeView view;
    view.setModel(&library.lv2);
    view.setSelectionModel(&library.lv2Selection);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setColumnHidden(LibraryCatalogue::PathColumn, true);
    view.resize(400, 300);
    view.show();
    showRoot(LibraryCatalogue::AllTitleRoot);
    const QRect cell = view.visualRect(library.lv2.index(2, LibraryCatalogue::ArtistColumn));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(library.selectedRow(), 2);
    library.lv2Click();
    EXPECT_EQ(library.lists.currentRow, 2);
}
