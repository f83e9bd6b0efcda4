#include "common/Error.h"
#include "common/SettingsFile.h"
#include "library/LibraryFiles.h"
#include "library_fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <map>
#include <sys/stat.h>

using namespace varnelo;
using namespace varnelo::test;

namespace {

class EntriesTest : public LibraryFixture {
protected:
    void SetUp() override {
        LibraryFixture::SetUp();
        entries.playRow = [this](int row) {
            played.push_back(row);
            if (failPlay)
                throw Error(QStringLiteral("cannot open"));
        };
        entries.stopPlayback = [this] { ++stops; };
    }
    // Tagged files in the media folder; each title is its file's base name.
    QStringList makeFiles(const QStringList &names, const QByteArray &artist = "Ann",
                          const QByteArray &album = "First") {
        QStringList paths;
        for (const QString &name : names) {
            const QString path = mediaFile(name);
            writeTaggedMp3(path, name.section(QLatin1Char('.'), 0, 0).toUtf8(), artist, album);
            paths << path;
        }
        return paths;
    }
    void addFiles(const QStringList &files) {
        prompts.filesToOpen = files;
        entries.AddFiles();
    }

    std::vector<int> played;
    bool failPlay = false;
    int stops = 0;
};

} // namespace

TEST_F(EntriesTest, AddFilesStoresReadsAndStartsTheNowPlayingList) {
    SettingsFile settings(dir.filePath(QStringLiteral("temp.ini")));
    entries.setSettings(&settings);
    write(QStringLiteral("tp.dat"), {track(QStringLiteral("stale"), {}, {}, QStringLiteral("/stale"))});
    showRoot(LibraryCatalogue::AllTitleRoot);

    addFiles(makeFiles({QStringLiteral("one.mp3"), QStringLiteral("two.MP3"), QStringLiteral("skip.aiff")}));

    EXPECT_EQ(titles(QStringLiteral("music.dat")),
              (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(read(QStringLiteral("music.dat")).front(),
              track(QStringLiteral("one"), QStringLiteral("Ann"), QStringLiteral("First"),
                    mediaFile(QStringLiteral("one.mp3"))));
    EXPECT_EQ(titles(QStringLiteral("tp.dat")), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot), QStringList{QStringLiteral("Ann")});
    EXPECT_EQ(children(LibraryCatalogue::MyAlbumRoot), QStringList{QStringLiteral("First")});
    EXPECT_EQ(settings.readString(QStringLiteral("File Manager"), QStringLiteral("add path"), {}), media());
    EXPECT_EQ(played, std::vector<int>{0});
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(library.lists.nowPlayingValid);
    EXPECT_EQ(library.lists.lastNodeText, QStringLiteral("Now Playing"));
    EXPECT_EQ(library.selectedNode(), library.root(LibraryCatalogue::NowPlayingRoot));
    EXPECT_EQ(library.lists.playingIndex, 0);
    EXPECT_EQ(library.selectedRow(), 0);
}

TEST_F(EntriesTest, AddingWhileNowPlayingIsShownExtendsTheList) {
    addFiles(makeFiles({QStringLiteral("one.mp3")}));
    // A known Path adds no record but still a row and, unless present, a tp.dat entry.
    addFiles(makeFiles({QStringLiteral("two.mp3"), QStringLiteral("one.mp3")}));
    EXPECT_EQ(titles(QStringLiteral("music.dat")),
              (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(listTitles(),
              (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("one")}));
    EXPECT_EQ(titles(QStringLiteral("tp.dat")), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    // From any other view the new files alone form the list.
    showRoot(LibraryCatalogue::AllTitleRoot);
    addFiles(makeFiles({QStringLiteral("three.mp3")}));
    EXPECT_EQ(titles(QStringLiteral("tp.dat")), QStringList{QStringLiteral("three")});
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("three")});
}

TEST_F(EntriesTest, AddingWithoutMusicFileReachesListNowPlayingAndTreeOnly) {
    QFile::remove(data(QStringLiteral("music.dat")));
    addFiles(makeFiles({QStringLiteral("one.mp3")}, "Zed"));
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("music.dat"))));
    EXPECT_EQ(titles(QStringLiteral("tp.dat")), QStringList{QStringLiteral("one")});
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot), QStringList{QStringLiteral("Zed")});
}

TEST_F(EntriesTest, CancelledDialogChangesNothing) {
    write(QStringLiteral("tp.dat"), {track(QStringLiteral("kept"), {}, {}, QStringLiteral("/k"))});
    addFiles({});
    EXPECT_EQ(titles(QStringLiteral("tp.dat")), QStringList{QStringLiteral("kept")});
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(stops, 0);
}

// What cannot be added is named, with why; everything else is added.
TEST_F(EntriesTest, EveryFailureOfAnAddReachesTheUserAndTheRestIsAdded) {
    QStringList files = makeFiles({QStringLiteral("one.mp3")});
    files << mediaFile(QStringLiteral("missing.mp3"));
    files << makeFiles({QStringLiteral("three.mp3")});
    try {
        addFiles(files);
        ADD_FAILURE() << "the missing file was not reported";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().startsWith(mediaFile(QStringLiteral("missing.mp3")) +
                                           QStringLiteral(" was not added: ")))
            << e.message().toStdString();
    }
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("one"), QStringLiteral("three")}));
    EXPECT_EQ(titles(QStringLiteral("music.dat")),
              (QStringList{QStringLiteral("one"), QStringLiteral("three")}));
    EXPECT_EQ(played, std::vector<int>{0});

    // music.dat that cannot be written: the rows are listed and the failure named.
    showRoot(LibraryCatalogue::AllTitleRoot);
    QFile::remove(data(QStringLiteral("music.dat")));
    ASSERT_TRUE(QDir().mkdir(data(QStringLiteral("music.dat"))));
    try {
        addFiles(makeFiles({QStringLiteral("four.mp3")}));
        ADD_FAILURE() << "the failed write was not reported";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("the library could not keep them")))
            << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(data(QStringLiteral("music.dat")))) << e.message().toStdString();
    }
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("four")});
}

TEST_F(EntriesTest, NothingReadableIntoAnEmptyListPlaysNothing) {
    showRoot(LibraryCatalogue::AllTitleRoot);
    addFiles(makeFiles({QStringLiteral("a.aiff")}));
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(stops, 0);
}

TEST_F(EntriesTest, FailingToOpenTheFirstRowRunsDeleteEntries) {
    showRoot(LibraryCatalogue::AllTitleRoot);
    failPlay = true;
    addFiles(makeFiles({QStringLiteral("bad.mp3"), QStringLiteral("good.mp3")}));
    // DeleteEntries on the "All Title" view took row 0 from the list and from music.dat.
    EXPECT_EQ(titles(QStringLiteral("music.dat")), QStringList{QStringLiteral("good")});
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("good")});
    EXPECT_EQ(library.lists.lastNodeText, QStringLiteral("Now Playing"));
    EXPECT_EQ(library.selectedRow(), 0);
}

TEST_F(EntriesTest, CommandLineFileIsAddedWithoutClearingAndPlayed) {
    library.appendTrackRow(track(QStringLiteral("earlier"), {}, {}, QStringLiteral("/e")));
    showRoot(LibraryCatalogue::MyArtistRoot); // a view that leaves the list
    entries.OpenCommandLineFile(makeFiles({QStringLiteral("song.ogg.mp3")}).first());
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("earlier"), QStringLiteral("song")}));
    EXPECT_EQ(titles(QStringLiteral("tp.dat")),
              (QStringList{QStringLiteral("earlier"), QStringLiteral("song")}));
    EXPECT_EQ(titles(QStringLiteral("music.dat")), QStringList{QStringLiteral("song")});
    EXPECT_EQ(played, std::vector<int>{0});
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(EntriesTest, CommandLineFileOfAnotherTypeIsRefusedWithAMessage) {
    const QString text = mediaFile(QStringLiteral("notes.txt"));
    writeBytes(text, "hello");
    entries.OpenCommandLineFile(text);
    entries.OpenCommandLineFile(mediaFile(QStringLiteral("absent.wma")));
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_TRUE(prompts.shown[0].text.contains(text));
    EXPECT_EQ(prompts.shown[0].caption, dialogCaption());
    EXPECT_TRUE(readBytes(data(QStringLiteral("music.dat"))).isEmpty());
    EXPECT_TRUE(played.empty());
}

TEST_F(EntriesTest, ScanTakesExactExtensionsAndSubFoldersUnlessTurnedOff) {
    makeFiles(
        {QStringLiteral("a.Mp3"), QStringLiteral("b.mp3"), QStringLiteral("c.MP3"), QStringLiteral("d.txt")});
    QDir().mkpath(mediaFile(QStringLiteral("sub")));
    makeFiles({QStringLiteral("sub/e.mp3")});
    writeBytes(mediaFile(QStringLiteral("broken.ogg")), "not an ogg");
    const QByteArray treeBefore = readBytes(data(QStringLiteral("tt.txt")));

    prompts.folderToChoose = media();
    // A file left out is named with why (after the rest was scanned).
    try {
        entries.ScanFolder();
        ADD_FAILURE() << "broken.ogg was skipped without a word";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().startsWith(mediaFile(QStringLiteral("broken.ogg")) +
                                           QStringLiteral(" was skipped: ")))
            << e.message().toStdString();
    }

    EXPECT_EQ(titles(QStringLiteral("music.dat")),
              (QStringList{QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("sub/e")}));
    EXPECT_EQ(read(QStringLiteral("music.dat")).front().Path, mediaFile(QStringLiteral("b.mp3")));
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot), QStringList{QStringLiteral("Ann")});
    // No rows and no tree save: the groups wait for the tree's next save.
    EXPECT_EQ(library.rowCount(), 0);
    EXPECT_EQ(readBytes(data(QStringLiteral("tt.txt"))), treeBefore);

    const ScanResult again = entries.ScanFolderAt(media(), false);
    EXPECT_EQ(again.filesRead, 2);
    EXPECT_EQ(again.recordsAdded, 0);
    ASSERT_EQ(again.skipped.size(), 1u);
    EXPECT_EQ(again.skipped[0].path, mediaFile(QStringLiteral("broken.ogg")));
}

// A scan says which file it skipped and why: unreadable, not a regular file,
// or a path that shares the 255 bytes a record keeps with another one.
TEST_F(EntriesTest, AScanNamesEachSkippedFileAndWhy) {
    const QString stem(255 - media().toUtf8().size(), QLatin1Char('x'));
    makeFiles({stem + QStringLiteral("1.mp3"), stem + QStringLiteral("2.mp3"), QStringLiteral("good.mp3")});
    writeBytes(mediaFile(QStringLiteral("broken.ogg")), "not an ogg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(mediaFile(QStringLiteral("pipe.mp3"))).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), mediaFile(QStringLiteral("zero.ogg"))));
    const ScanResult result = entries.ScanFolderAt(media());
    EXPECT_EQ(result.filesRead, 2);
    std::map<QString, QString> reasons;
    for (const SkippedFile &skip : result.skipped)
        reasons[QFileInfo(skip.path).fileName()] = skip.reason;
    ASSERT_EQ(reasons.size(), 4u);
    EXPECT_TRUE(reasons[QStringLiteral("broken.ogg")].contains(QStringLiteral("not Vorbis data")));
    EXPECT_TRUE(reasons[QStringLiteral("pipe.mp3")].contains(QStringLiteral("not a regular file")));
    EXPECT_TRUE(reasons[QStringLiteral("zero.ogg")].contains(QStringLiteral("not a regular file")));
    EXPECT_TRUE(reasons[stem + QStringLiteral("2.mp3")].contains(QStringLiteral("first 255 bytes")))
        << reasons[stem + QStringLiteral("2.mp3")].toStdString();
}

TEST_F(EntriesTest, CancelledRescanChangesNothing) {
    makeFiles({QStringLiteral("b.mp3")});
    prompts.folderToChoose.clear();
    entries.ScanFolder();
    EXPECT_TRUE(readBytes(data(QStringLiteral("music.dat"))).isEmpty());
    EXPECT_TRUE(children(LibraryCatalogue::MyArtistRoot).isEmpty());
    EXPECT_EQ(prompts.folderPurposes, std::vector{FolderPurpose::LibraryScan});
}

// Below one KiB of records the page shows how to add music; it asks nothing.
TEST_F(EntriesTest, OpenLibraryPageShowsAllTitleAndTellsANearlyEmptyLibrary) {
    for (const auto &[bytes, nearlyEmpty] : {std::pair{0, true}, {1023, true}, {1024, false}}) {
        writeBytes(data(QStringLiteral("music.dat")), QByteArray(bytes, '\0'));
        entries.OpenLibraryPage();
        EXPECT_EQ(entries.libraryNearlyEmpty(), nearlyEmpty) << bytes;
    }
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(library.selectedNode(), library.root(LibraryCatalogue::AllTitleRoot));
}

TEST_F(EntriesTest, OpenLibraryPageAfterACommandLineStartKeepsTheList) {
    entries.keepListFromCommandLine();
    write(QStringLiteral("music.dat"), {track(QStringLiteral("x"), {}, {}, QStringLiteral("/x")),
                                        track(QStringLiteral("y"), {}, {}, QStringLiteral("/y"))});
    entries.OpenLibraryPage();
    EXPECT_EQ(library.selectedNode(), nullptr);
    EXPECT_EQ(library.rowCount(), 0);
    QFile::remove(data(QStringLiteral("music.dat")));
    EXPECT_THROW(entries.OpenLibraryPage(), Error);
}

class DeleteTest : public EntriesTest {
protected:
    void SetUp() override {
        EntriesTest::SetUp();
        write(
            QStringLiteral("music.dat"),
            {track(QStringLiteral("a1"), QStringLiteral("Ann"), QStringLiteral("Solo"),
                   QStringLiteral("/a1")),
             track(QStringLiteral("b1"), QStringLiteral("Bob"), QStringLiteral("Duo"), QStringLiteral("/b1")),
             track(QStringLiteral("a2"), QStringLiteral("Ann"), QStringLiteral("Duo"), QStringLiteral("/a2")),
             track(QStringLiteral("b2"), QStringLiteral("Bob"), QStringLiteral("Duo"),
                   QStringLiteral("/b2"))});
        write(QStringLiteral("tp.dat"), {track(QStringLiteral("a1"), QStringLiteral("Ann"),
                                               QStringLiteral("Solo"), QStringLiteral("/a1"))});
        library.EnsureGroupNodes(read(QStringLiteral("music.dat")));
    }
};

TEST_F(DeleteTest, AllTitleRemovesTheSelectedRecordAndEmptiedGroups) {
    showRoot(LibraryCatalogue::AllTitleRoot);
    library.selectRow(0);
    entries.DeleteEntries();
    EXPECT_EQ(titles(QStringLiteral("music.dat")),
              (QStringList{QStringLiteral("b1"), QStringLiteral("a2"), QStringLiteral("b2")}));
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("b1"), QStringLiteral("a2"), QStringLiteral("b2")}));
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot),
              (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")}));
    EXPECT_EQ(children(LibraryCatalogue::MyAlbumRoot), QStringList{QStringLiteral("Duo")});
    EXPECT_EQ(readBytes(data(QStringLiteral("tt.txt"))), tree::SaveTreeToBytes(library.tv2));
    EXPECT_EQ(titles(QStringLiteral("tp.dat")), QStringList{QStringLiteral("a1")});
    // Without a selected row the first row goes.
    library.lv2Selection.clear();
    entries.DeleteEntries();
    EXPECT_EQ(titles(QStringLiteral("music.dat")), (QStringList{QStringLiteral("a2"), QStringLiteral("b2")}));
}

TEST_F(DeleteTest, ArtistViewRemovesEveryRowItsRecordsAndTheNode) {
    show(child(LibraryCatalogue::MyArtistRoot, QStringLiteral("Ann")));
    entries.DeleteEntries();
    EXPECT_EQ(titles(QStringLiteral("music.dat")), (QStringList{QStringLiteral("b1"), QStringLiteral("b2")}));
    EXPECT_EQ(library.rowCount(), 0);
    EXPECT_EQ(children(LibraryCatalogue::MyArtistRoot), QStringList{QStringLiteral("Bob")});
    EXPECT_EQ(children(LibraryCatalogue::MyAlbumRoot), QStringList{QStringLiteral("Duo")});
    EXPECT_EQ(readBytes(data(QStringLiteral("tt.txt"))), tree::SaveTreeToBytes(library.tv2));
}

TEST_F(DeleteTest, EmptyGroupViewRemovesJustTheNode) {
    library.EnsureAlbumNode(QStringLiteral("Nothing"));
    show(child(LibraryCatalogue::MyAlbumRoot, QStringLiteral("Nothing")));
    ASSERT_EQ(library.rowCount(), 0);
    entries.DeleteEntries();
    EXPECT_EQ(children(LibraryCatalogue::MyAlbumRoot),
              (QStringList{QStringLiteral("Solo"), QStringLiteral("Duo")}));
    EXPECT_EQ(titles(QStringLiteral("music.dat")).size(), 4);
}

TEST_F(DeleteTest, NowPlayingAndLetterViewsRemoveTheRowOnly) {
    library.lists.nowPlayingValid = true;
    showRoot(LibraryCatalogue::NowPlayingRoot);
    library.selectRow(0);
    entries.DeleteEntries();
    EXPECT_EQ(library.rowCount(), 0);
    EXPECT_EQ(titles(QStringLiteral("tp.dat")), QStringList{QStringLiteral("a1")});
    showRoot(LibraryCatalogue::NowPlayingRoot);
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("a1")});

    show(library.root(LibraryCatalogue::AllTitleRoot)->child(1)); // "B"
    library.selectRow(1);
    entries.DeleteEntries();
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("b1")});
    EXPECT_EQ(titles(QStringLiteral("music.dat")).size(), 4);
}

TEST_F(DeleteTest, FavoritesViewRemovesFromFavFileAndReloads) {
    write(QStringLiteral("fav.dat"), {track(QStringLiteral("f1"), {}, {}, QStringLiteral("/a1")),
                                      track(QStringLiteral("f2"), {}, {}, QStringLiteral("/b1"))});
    showRoot(LibraryCatalogue::FavoritesRoot);
    library.selectRow(1);
    entries.DeleteEntries();
    EXPECT_EQ(titles(QStringLiteral("fav.dat")), QStringList{QStringLiteral("f1")});
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("f1")});
    EXPECT_EQ(titles(QStringLiteral("music.dat")).size(), 4);
}

TEST_F(DeleteTest, ClearAllInFavoritesRemovesFromTheLibraryOnly) {
    write(QStringLiteral("fav.dat"), {track(QStringLiteral("a1"), QStringLiteral("Ann"),
                                            QStringLiteral("Solo"), QStringLiteral("/a1"))});
    showRoot(LibraryCatalogue::FavoritesRoot);
    entries.ClearAll();
    EXPECT_EQ(titles(QStringLiteral("music.dat")),
              (QStringList{QStringLiteral("b1"), QStringLiteral("a2"), QStringLiteral("b2")}));
    EXPECT_EQ(titles(QStringLiteral("fav.dat")), QStringList{QStringLiteral("a1")});
    EXPECT_EQ(titles(QStringLiteral("tp.dat")), QStringList{QStringLiteral("a1")});
    EXPECT_EQ(library.rowCount(), 0);
    EXPECT_EQ(children(LibraryCatalogue::MyAlbumRoot), QStringList{QStringLiteral("Duo")});
    EXPECT_EQ(readBytes(data(QStringLiteral("tt.txt"))), tree::SaveTreeToBytes(library.tv2));
}

TEST_F(DeleteTest, AddingAFavoriteTwiceAsksFirst) {
    showRoot(LibraryCatalogue::AllTitleRoot);
    library.selectRow(2);
    library.lv2MouseDown(Qt::RightButton);
    entries.AddToLibraryFavorites();
    EXPECT_EQ(titles(QStringLiteral("fav.dat")), QStringList{QStringLiteral("a2")});
    EXPECT_TRUE(prompts.shown.empty());

    prompts.answers = {PromptAnswer::Cancel};
    entries.AddToLibraryFavorites();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              QStringLiteral("The selected file(s) is/are already in the lists. Continue add or not? "));
    EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::OkCancel);
    EXPECT_EQ(titles(QStringLiteral("fav.dat")).size(), 1);

    prompts.answers = {PromptAnswer::Ok};
    entries.AddToLibraryFavorites();
    EXPECT_EQ(titles(QStringLiteral("fav.dat")), (QStringList{QStringLiteral("a2"), QStringLiteral("a2")}));
}
