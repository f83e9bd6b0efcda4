#pragma once
#include "common/DataFolder.h"
#include "radio/StationRecord.h"
#include "radio/StationSelection.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QObject>
#include <QStandardItemModel>
#include <functional>
#include <vector>

namespace varnelo {

class ShownPage;
class PlaybackCoordinator;
class PlaybackCoordinator;
class Prompts;

// The station catalogue: the tree `tv` (Now Playing, Radio Stations with its
// genre nodes, History, Favorites), the station list `LV` it fills, and the
// operations on radio.dat, history.dat and favorites.dat.
class StationCatalogue : public QObject {
    Q_OBJECT
public:
    enum Column { TitleColumn = 0, GenreColumn, StreamUrlColumn, HomeUrlColumn, ColumnCount };

    StationCatalogue(const ShownPage &page, const DataFolder &folder, Prompts &prompts,
                     QObject *parent = nullptr);

    // What plays (unbound: nothing).
    const PlaybackCoordinator *playback = nullptr;

    // Where the add-station panel's edits are read from (ename, egenre, url, eurl
    // as Name, Genre, StreamUrl, HomeUrl, untrimmed). Without one they read empty.
    void setPanelSource(std::function<StationRecord()> source) { panelSource_ = std::move(source); }
    // Set: the stations a node lists from a file go here one by one instead of
    // into the list, so a huge file is never held whole (the command line's list).
    void setRowSink(std::function<void(const StationRecord &)> sink) { rowSink_ = std::move(sink); }

    // Where the lists stand; the stream player and the recordings list share it.
    StationSelection lists;

    // The tree and the list with their selections, bound to views by the window.
    QStandardItemModel tv;
    QItemSelectionModel tvSelection{&tv};
    QStandardItemModel LV;
    QItemSelectionModel LVSelection{&LV};

    // Entries of the popup menu `p_lv` whose enabled state the catalogue drives.
    QAction *audioInfo;
    QAction *ClearHistory1;
    QAction *DelformFavorites1;

    static void BuildDefaultTree(QStandardItemModel &model);
    // Loads treetext.txt into `tv`. A file that is empty or lacks the four roots
    // gives the built-in tree (keeping History children found in the file), so
    // start-up always finds "Radio Stations". A file not read whole (a malformed
    // line, a byte 0, the roots missing) is kept as "treetext.txt.damaged"
    // before anything is saved over it, and an error (after the fallback) says so.
    void LoadCatalogueTree(const QString &path);
    void SaveCatalogueTree() const;

    // Selects `node` in `tv` (or clears the selection with nullptr).
    void selectNode(QStandardItem *node);
    QStandardItem *selectedNode() const;

    void ShowCatalogueNode();
    void tvMouseDown(Qt::MouseButton button, const QModelIndex &index);
    // Adds the station of the panel, then shows it selected in the list of its
    // genre's node; a refused add says why. True when added.
    bool AddStation();
    // AddStation's rules for a record from elsewhere (the directory, the command line).
    enum class AddResult { Added, Known, Empty, NoFile };
    AddResult AddStationRecord(const StationRecord &record);
    void AddToHistory();
    void AddToFavorites();
    void RemoveFavorites();
    void ClearHistory();

    // The search panel on the radio page: refill the list with the stations of
    // radio.dat whose Genre (by = 0) or Name (by = 1) contains the text.
    void SearchStations(int by, const QString &text);
    // Back to the node shown last; false when no node has that text.
    bool ResetSearch();
    // The list's mouse bookkeeping: a press selects a row when none is, and a
    // right press makes the pressed row the current one.
    void LVMouseDown(Qt::MouseButton button);

    // A list from a file shows its first ListBatchRows rows at once and the
    // rest a batch per turn of the event loop, each batch in one insertion:
    // start-up and a click on a node never wait for a hundred thousand rows,
    // and the view takes each batch once, not row by row.
    static constexpr int ListBatchRows = 4000;
    // Rows of the list still to come.
    bool listing() const { return pendingNext_ < pendingRows_.size(); }
    // Appends them all now.
    void finishListing();

    // List rows. A row appended while the list is still coming goes after it.
    void appendStationRow(const StationRecord &record);
    StationRecord stationRow(int row) const;
    int selectedRow() const; // -1 when none
    void selectRow(int row);

    // True when radio.dat holds no station (a first run).
    bool CatalogueEmpty() const;
    // Grows each time the list is cleared for a refill, so late answers can
    // tell that the list they were meant for is gone.
    quint64 listGeneration() const { return listGeneration_; }
    // Empties the list for rows from elsewhere (the directory): "Radio Stations"
    // then reloads however many there are.
    void clearListForRefill();

    QString radioPath() const { return folder_.file(QStringLiteral("radio.dat")); }
    QString historyPath() const { return folder_.file(QStringLiteral("history.dat")); }
    QString favoritesPath() const { return folder_.file(QStringLiteral("favorites.dat")); }
    QString treePath() const { return folder_.file(QStringLiteral("treetext.txt")); }

private:
    // The node whose list shows a station of `genre`, made under "Other" when no category knows it.
    QStandardItem *genreNode(const QString &genre);
    void showAddedStation(const StationRecord &record);
    void clearList();
    void listFile(const QString &path, const std::function<bool(const StationRecord &)> &keep);
    // Appends the next `count` rows still to come; the next batch follows from the event loop.
    void appendPendingRows(std::size_t count);
    // Selects `row` now, or once the list has come that far.
    void selectRowWhenListed(int row);
    StationRecord recordFromPanel(bool trimmed) const;

    const ShownPage &page_;
    DataFolder folder_;
    Prompts &prompts_;
    std::function<StationRecord()> panelSource_;
    std::function<void(const StationRecord &)> rowSink_;
    quint64 listGeneration_ = 0;
    std::vector<StationRecord> pendingRows_;
    std::size_t pendingNext_ = 0;
    int pendingSelection_ = -1;
    bool foreignRows_ = false;
    bool treeSaveBlocked_ = false;
};

} // namespace varnelo
