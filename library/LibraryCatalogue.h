#pragma once
#include "common/DataFolder.h"
#include "library/LibraryRecord.h"
#include "library/LibrarySelection.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QObject>
#include <QPointer>
#include <QStandardItemModel>
#include <vector>

namespace varnelo {

class PlaybackCoordinator;

// The library: the tree `tv2` (Now Playing, All Title with its letters, My
// Artist, My Album, Favorites), the track list `lv2` it fills, and the
// library record files music.dat, tp.dat and fav.dat.
class LibraryCatalogue : public QObject {
    Q_OBJECT
public:
    enum Column { TitleColumn = 0, ArtistColumn, AlbumColumn, GenreColumn, PathColumn, ColumnCount };
    // Widths of the shown columns; the Path column is hidden.
    static constexpr int ColumnWidths[] = {160, 63, 63, 57};

    enum Root { NowPlayingRoot = 0, AllTitleRoot, MyArtistRoot, MyAlbumRoot, FavoritesRoot, RootCount };
    // "All Title" always holds the 27 letter nodes, so "My Artist" sits here.
    static constexpr int MyArtistAbsoluteIndex = 29;

    LibraryCatalogue(const DataFolder &folder, QObject *parent = nullptr);

    // What plays (unbound: nothing).
    const PlaybackCoordinator *playback = nullptr;

    // Where the lists stand; the entries and the local player share it.
    LibrarySelection lists;

    QStandardItemModel tv2;
    QItemSelectionModel tv2Selection{&tv2};
    QStandardItemModel lv2;
    QItemSelectionModel lv2Selection{&lv2};

    // "Del" of the tree pop-up `p_tv2`; its enabled state follows tv2ContextPopup.
    QAction *del;
    // The station page's "Del From Favorites": the Favorites node enables it.
    void setStationFavoritesEntry(QAction *entry) { stationFavoritesEntry_ = entry; }

    static void BuildDefaultTree(QStandardItemModel &model);
    // Loads tt.txt into `tv2`. A file that is empty or lacks the fixed top
    // level gives the built-in tree, keeping the artist and album groups found
    // in the file, so "My Artist" is always at absolute index 29. A file not
    // read whole (a malformed line, a byte 0, the fixed top level missing) is
    // kept as "tt.txt.damaged" before anything is saved over it, and an error
    // (after the fallback) says so.
    void LoadLibraryTree(const QString &path);
    void SaveLibraryTree() const;

    QStandardItem *root(Root which) const { return tv2.item(which); }
    // Position of `node` counting every node in tree order from 0; -1 when not in the tree.
    int absoluteIndex(const QStandardItem *node) const;

    void selectNode(QStandardItem *node);
    QStandardItem *selectedNode() const;

    void ShowLibraryNode();
    void EnsureArtistNode(const QString &artist);
    void EnsureAlbumNode(const QString &album);
    // The same for a whole batch, comparing against the groups once.
    void EnsureGroupNodes(const std::vector<LibraryRecord> &records);
    // Removes the artist and album nodes of rows whose values no longer occur
    // in music.dat (one read of the file for all the rows).
    void RemoveEmptiedGroups(const std::vector<LibraryRecord> &rows);
    void RemoveEmptiedGroups(const LibraryRecord &row) {
        RemoveEmptiedGroups(std::vector<LibraryRecord>{row});
    }

    // The local halves of the search panel: refill the list from music.dat by
    // Genre (field 0) or Title (field 1); go back to the node shown last.
    void SearchLibrary(const QString &search, int field);
    void ResetLibrarySearch();

    // List and tree events.
    void lv2Click();
    void lv2MouseDown(Qt::MouseButton button);
    void tv2MouseDown(Qt::MouseButton button, const QModelIndex &index);
    void tv2ContextPopup();

    // List rows.
    void appendTrackRow(const LibraryRecord &record);
    LibraryRecord trackRow(int row) const;
    std::vector<LibraryRecord> allRows() const;
    int rowCount() const { return lv2.rowCount(); }
    int selectedRow() const; // -1 when none
    void selectRow(int row);
    void clearList();
    // Clears the list and loads every record of `path` that `keep` accepts.
    void listFile(const QString &path, const std::function<bool(const LibraryRecord &)> &keep);

    QString musicPath() const { return folder_.file(QStringLiteral("music.dat")); }
    QString nowPlayingPath() const { return folder_.file(QStringLiteral("tp.dat")); }
    QString favoritesPath() const { return folder_.file(QStringLiteral("fav.dat")); }
    QString scratchPath() const { return folder_.file(QStringLiteral("temp.dat")); }
    QString treePath() const { return folder_.file(QStringLiteral("tt.txt")); }

private:
    void addRow(const LibraryRecord &storedRecord);
    bool validRow(int row) const { return row >= 0 && row < lv2.rowCount(); }
    static QStandardItem *addGroup(QStandardItem *parent, const QString &text);
    static QStandardItem *childWithText(const QStandardItem *parent, const QString &text);

    DataFolder folder_;
    QPointer<QAction> stationFavoritesEntry_;
    bool treeSaveBlocked_ = false;
};

} // namespace varnelo
