#include "library/LibraryCatalogue.h"

#include "common/Error.h"
#include "common/FileGuards.h"
#include "common/PlaybackCoordinator.h"
#include "common/RowMove.h"
#include "common/TextRules.h"
#include "common/TreeText.h"
#include "library/LibraryFiles.h"

#include <QSet>
#include <optional>

namespace varnelo {
namespace {

const char *const kRootTexts[] = {"Now Playing", "All Title", "My Artist", "My Album", "Favorites"};

QStringList letterTexts() {
    QStringList letters;
    for (char c = 'A'; c <= 'Z'; ++c)
        letters << QString(QLatin1Char(c));
    letters << QStringLiteral("Extra");
    return letters;
}

QStandardItem *node(const QString &text) {
    auto *item = new QStandardItem(text);
    item->setEditable(false);
    item->setDragEnabled(false);
    item->setDropEnabled(false);
    return item;
}

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// Whether `model` has the top level every library operation counts on.
bool hasFixedTopLevel(const QStandardItemModel &model) {
    if (model.rowCount() < LibraryCatalogue::RootCount)
        return false;
    for (int i = 0; i < LibraryCatalogue::RootCount; ++i)
        if (model.item(i)->text() != QLatin1String(kRootTexts[i]))
            return false;
    if (model.item(LibraryCatalogue::NowPlayingRoot)->rowCount() != 0)
        return false;
    const QStandardItem *allTitle = model.item(LibraryCatalogue::AllTitleRoot);
    const QStringList letters = letterTexts();
    if (allTitle->rowCount() != letters.size())
        return false;
    for (int i = 0; i < letters.size(); ++i)
        if (allTitle->child(i)->text() != letters[i] || allTitle->child(i)->hasChildren())
            return false;
    return true;
}

QList<QList<QStandardItem *>> takeChildren(QStandardItem *parent) {
    QList<QList<QStandardItem *>> rows;
    if (parent)
        while (parent->rowCount() > 0)
            rows.append(parent->takeRow(0));
    return rows;
}

} // namespace

LibraryCatalogue::LibraryCatalogue(const DataFolder &folder, QObject *parent)
    : QObject(parent), folder_(folder) {
    lv2.setColumnCount(ColumnCount);
    lv2.setHorizontalHeaderLabels({QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Album"),
                                   QStringLiteral("Genre"), QStringLiteral("Path")});
    del = new QAction(QStringLiteral("Del"), this);
    del->setObjectName(QStringLiteral("del"));
    BuildDefaultTree(tv2);
}

void LibraryCatalogue::BuildDefaultTree(QStandardItemModel &model) {
    model.clear();
    for (const char *text : kRootTexts)
        model.appendRow(node(QString::fromUtf8(text)));
    QStandardItem *allTitle = model.item(AllTitleRoot);
    for (const QString &letter : letterTexts())
        allTitle->appendRow(node(letter));
}

void LibraryCatalogue::LoadLibraryTree(const QString &path) {
    std::optional<Error> loadError;
    try {
        tree::LoadTree(tv2, path);
    } catch (const Error &e) {
        loadError = e;
    }
    // What the file holds beyond what the tree takes would be lost to the next save.
    QString unread = loadError ? loadError->message() : QString();
    if (!hasFixedTopLevel(tv2)) {
        if (unread.isEmpty() && tv2.rowCount() > 0)
            unread = QStringLiteral("The fixed top level of the library tree is missing");
        // Keep the groups the file has; the fixed part comes from the built-in tree.
        QStandardItem *artists = tree::FindNodeByText(tv2, QStringLiteral("My Artist"));
        QStandardItem *albums = tree::FindNodeByText(tv2, QStringLiteral("My Album"));
        const auto albumRows = takeChildren(albums);
        const auto artistRows = takeChildren(artists);
        BuildDefaultTree(tv2);
        for (const auto &row : artistRows)
            root(MyArtistRoot)->appendRow(row);
        for (const auto &row : albumRows)
            root(MyAlbumRoot)->appendRow(row);
    }
    tree::ForEachNode(tv2, [](QStandardItem *item) {
        // Set only where it changes: each change is a notice to the view.
        const Qt::ItemFlags wanted =
            item->flags() & ~(Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
        if (item->flags() != wanted)
            item->setFlags(wanted);
        return true;
    });
    treeSaveBlocked_ = false;
    if (!unread.isEmpty())
        throw Error(tree::KeepUnreadTree(path, unread, treeSaveBlocked_));
}

void LibraryCatalogue::SaveLibraryTree() const {
    if (!treeSaveBlocked_)
        tree::SaveTree(tv2, treePath());
}

int LibraryCatalogue::absoluteIndex(const QStandardItem *target) const {
    int index = 0;
    int found = -1;
    tree::ForEachNode(tv2, [&](QStandardItem *item) {
        if (item == target) {
            found = index;
            return false;
        }
        ++index;
        return true;
    });
    return found;
}

void LibraryCatalogue::selectNode(QStandardItem *item) {
    if (!item) {
        tv2Selection.clear();
        return;
    }
    tv2Selection.setCurrentIndex(item->index(), QItemSelectionModel::ClearAndSelect);
}

QStandardItem *LibraryCatalogue::selectedNode() const {
    const QModelIndexList nodes = tv2Selection.selectedIndexes();
    return nodes.isEmpty() ? nullptr : tv2.itemFromIndex(nodes.first());
}

// ---- list rows ---------------------------------------------------------------

void LibraryCatalogue::clearList() {
    lv2.removeRows(0, lv2.rowCount());
}

void LibraryCatalogue::appendTrackRow(const LibraryRecord &record) {
    addRow(record.stored());
}

void LibraryCatalogue::addRow(const LibraryRecord &r) {
    constexpr Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    lv2.appendRow({NewListCell(r.Title, flags), NewListCell(r.Artist, flags), NewListCell(r.Album, flags),
                   NewListCell(r.Genre, flags), NewListCell(r.Path, flags)});
}

LibraryRecord LibraryCatalogue::trackRow(int row) const {
    LibraryRecord r;
    r.Title = lv2.item(row, TitleColumn)->text();
    r.Artist = lv2.item(row, ArtistColumn)->text();
    r.Album = lv2.item(row, AlbumColumn)->text();
    r.Genre = lv2.item(row, GenreColumn)->text();
    r.Path = lv2.item(row, PathColumn)->text();
    return r.stored();
}

std::vector<LibraryRecord> LibraryCatalogue::allRows() const {
    std::vector<LibraryRecord> rows;
    rows.reserve(static_cast<std::size_t>(lv2.rowCount()));
    for (int row = 0; row < lv2.rowCount(); ++row)
        rows.push_back(trackRow(row));
    return rows;
}

int LibraryCatalogue::selectedRow() const {
    const QModelIndexList rows = lv2Selection.selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void LibraryCatalogue::selectRow(int row) {
    if (!validRow(row))
        return;
    lv2Selection.setCurrentIndex(lv2.index(row, 0),
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void LibraryCatalogue::listFile(const QString &path, const std::function<bool(const LibraryRecord &)> &keep) {
    clearList();
    libraryFile(path).forEach([&](const QByteArray &bytes) {
        const LibraryRecord r = LibraryRecord::fromBytes(bytes);
        if (keep(r))
            addRow(r);
        return true;
    });
}

// ---- tree nodes ----------------------------------------------------------------

void LibraryCatalogue::ShowLibraryNode() {
    QStandardItem *n = selectedNode();
    if (!n)
        return;
    lists.lastNodeText = n->text();
    const int top = n->parent() ? -1 : n->row();

    if (top == NowPlayingRoot) {
        if (lists.nowPlayingValid) {
            listFile(nowPlayingPath(), [](const LibraryRecord &) { return true; });
            selectRow(lists.playingIndex);
        } else if (loaded(playback, MediaKind::File)) {
            // Back to the list that is playing, whose rows are still shown.
            lists.lastNodeText = lists.playingListText;
            selectNode(tree::FindNodeByText(tv2, lists.playingListText));
        }
        return;
    }
    if (top == AllTitleRoot) {
        listFile(musicPath(), [](const LibraryRecord &) { return true; });
    } else if (top < 0) {
        const QString parentText = n->parent()->text();
        const QString search = n->text();
        if (parentText == QLatin1String("My Album")) {
            listFile(musicPath(),
                     [&](const LibraryRecord &r) { return text::filterMatches(r.Album, search); });
        } else if (parentText == QLatin1String("My Artist")) {
            listFile(musicPath(),
                     [&](const LibraryRecord &r) { return text::filterMatches(r.Artist, search); });
        } else if (parentText == QLatin1String("All Title")) {
            const QString letter = text::asciiLower(text::trimControl(search));
            if (letter == QLatin1String("extra")) {
                // Every title that no letter node lists: digits, signs, other scripts.
                listFile(musicPath(), [](const LibraryRecord &r) {
                    return r.Title.isEmpty() || !isAsciiLetter(r.Title[0]);
                });
            } else {
                listFile(musicPath(), [&](const LibraryRecord &r) {
                    return !r.Title.isEmpty() && text::asciiLower(r.Title.left(1)) == letter;
                });
            }
        }
        SaveLibraryTree();
    } else if (top == FavoritesRoot) {
        libraryfiles::CreateIfMissing(favoritesPath());
        listFile(favoritesPath(), [](const LibraryRecord &) { return true; });
        if (stationFavoritesEntry_)
            stationFavoritesEntry_->setEnabled(true);
    }
    if (validRow(lists.playingIndex) && lists.lastNodeText == lists.playingListText)
        selectRow(lists.playingIndex);
}

QStandardItem *LibraryCatalogue::childWithText(const QStandardItem *parent, const QString &text) {
    for (int i = 0; i < parent->rowCount(); ++i)
        if (parent->child(i)->text() == text)
            return parent->child(i);
    return nullptr;
}

QStandardItem *LibraryCatalogue::addGroup(QStandardItem *parent, const QString &text) {
    QStandardItem *item = node(text);
    parent->appendRow(item);
    return item;
}

void LibraryCatalogue::EnsureArtistNode(const QString &artist) {
    QStandardItem *artists = root(MyArtistRoot); // absolute index 29
    if (!childWithText(artists, artist))
        addGroup(artists, artist);
}

void LibraryCatalogue::EnsureAlbumNode(const QString &album) {
    // The top-level node itself: a search by text would also find an artist
    // named "My Album" and file the albums under "My Artist".
    QStandardItem *albums = root(MyAlbumRoot);
    if (!childWithText(albums, album))
        addGroup(albums, album);
}

void LibraryCatalogue::EnsureGroupNodes(const std::vector<LibraryRecord> &list) {
    const auto known = [](const QStandardItem *parent) {
        QSet<QString> texts;
        for (int i = 0; i < parent->rowCount(); ++i)
            texts.insert(parent->child(i)->text());
        return texts;
    };
    QStandardItem *artists = root(MyArtistRoot);
    QStandardItem *albums = root(MyAlbumRoot);
    QSet<QString> artistTexts = known(artists);
    QSet<QString> albumTexts = known(albums);
    for (const LibraryRecord &record : list) {
        const LibraryRecord r = record.stored();
        if (!artistTexts.contains(r.Artist)) {
            artistTexts.insert(r.Artist);
            addGroup(artists, r.Artist);
        }
        if (!albumTexts.contains(r.Album)) {
            albumTexts.insert(r.Album);
            addGroup(albums, r.Album);
        }
    }
}

void LibraryCatalogue::RemoveEmptiedGroups(const std::vector<LibraryRecord> &rows) {
    if (rows.empty())
        return;
    QSet<QString> artistsLeft, albumsLeft;
    libraryFile(musicPath()).forEach([&](const QByteArray &bytes) {
        artistsLeft.insert(records::readField(bytes, LibraryRecord::ArtistField));
        albumsLeft.insert(records::readField(bytes, LibraryRecord::AlbumField));
        return true;
    });
    for (const LibraryRecord &row : rows) {
        if (!artistsLeft.contains(row.Artist))
            if (QStandardItem *item = childWithText(root(MyArtistRoot), row.Artist))
                root(MyArtistRoot)->removeRow(item->row());
        if (!albumsLeft.contains(row.Album))
            if (QStandardItem *item = childWithText(root(MyAlbumRoot), row.Album))
                root(MyAlbumRoot)->removeRow(item->row());
    }
}

// ---- search ------------------------------------------------------------------------

void LibraryCatalogue::SearchLibrary(const QString &search, int field) {
    listFile(musicPath(), [&](const LibraryRecord &r) {
        return text::filterMatches(field == 0 ? r.Genre : r.Title, search);
    });
}

void LibraryCatalogue::ResetLibrarySearch() {
    QStandardItem *n = tree::FindNodeByText(tv2, lists.lastNodeText);
    if (!n)
        return;
    selectNode(n);
    ShowLibraryNode();
}

// ---- events ------------------------------------------------------------------------

void LibraryCatalogue::lv2Click() {
    if (lv2.rowCount() == 0)
        return;
    const int row = selectedRow();
    if (row >= 0) {
        lists.currentRow = row;
        selectRow(row);
        return;
    }
    if (lists.lastNodeText == QLatin1String("Now Playing"))
        selectRow(0);
    selectRow(lists.playingIndex);
}

void LibraryCatalogue::lv2MouseDown(Qt::MouseButton button) {
    if (lv2.rowCount() == 0)
        return;
    if (selectedRow() < 0) {
        if (lists.lastNodeText == QLatin1String("Now Playing"))
            selectRow(0);
        if (!validRow(lists.playingIndex))
            return;
        selectRow(lists.playingIndex);
    }
    if (button == Qt::RightButton) {
        lists.currentRow = selectedRow();
        selectRow(lists.currentRow);
    }
}

void LibraryCatalogue::tv2MouseDown(Qt::MouseButton button, const QModelIndex &index) {
    if (button != Qt::RightButton || !index.isValid())
        return;
    tv2Selection.clear();
    selectNode(tv2.itemFromIndex(index));
    ShowLibraryNode();
}

void LibraryCatalogue::tv2ContextPopup() {
    const QStandardItem *n = selectedNode();
    del->setEnabled(n && n->parent() && absoluteIndex(n) >= MyArtistAbsoluteIndex + 1);
}

} // namespace varnelo
