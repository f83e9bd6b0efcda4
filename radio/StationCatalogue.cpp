#include "radio/StationCatalogue.h"

#include "common/Error.h"
#include "common/PlaybackCoordinator.h"
#include "common/RowMove.h"
#include "common/Seams.h"
#include "common/ShownPage.h"
#include "common/TextRules.h"
#include "common/TreeText.h"
#include "radio/StationFile.h"

#include <QDateTime>
#include <QFile>
#include <QTimer>

namespace varnelo {
namespace {

constexpr int RadioStationsRoot = 1;
constexpr int HistoryRoot = 2;
constexpr int FavoritesRoot = 3;
// "Radio Stations" reloads only a list of at most this many rows.
constexpr int ReloadRowLimit = 344;

struct Category {
    const char *name;
    std::initializer_list<const char *> children;
};

const Category kCategories[] = {
    {"Alternative", {"College", "Industrial", "Punk", "Hardcore", "Ska"}},
    {"Americana", {"Blues", "Folk", "Cajun", "Bluegrass"}},
    {"Classical", {"Contemporary", "Opera", "Symphonic"}},
    {"Country", {"Western Swing", "New Country", "Blue Grass"}},
    {"Electronic",
     {"Ambient", "Drum and Bass", "Trance", "Techno", "House", "Downtempo", "Breakbeat", "Acid Jazz"}},
    {"Hip-Hop/Rap", {"Hardcore", "Alternative", "Turntablism", "Old School", "New School"}},
    {"Jazz", {"Latin", "Swing", "Big Band", "Classic", "Smooth", "Acid Jazz"}},
    {"Pop/Rock", {"Oldies", "Classic", "80s", "Top40", "Metal", "Rock", "Pop"}},
    {"R&B/Soul", {"Contemporary", "Classic", "Funk", "Smooth", "Urban"}},
    {"Spiritual", {"Pop", "Rock", "Alternative", "Gospel", "Country"}},
    {"Spoken", {"Talk", "Comedy", "Spoken Word"}},
    {"World", {"Reggae/Island", "African", "Latin", "European", "Middle Eastern", "Asian"}},
    {"Other/Mixed", {"Eclectic", "Film/Show", "Instrumental"}},
};

QStandardItem *node(const QString &text) {
    auto *item = new QStandardItem(text);
    item->setEditable(false);
    return item;
}

int rootPosition(const QStandardItem *item) {
    return item->parent() ? -1 : item->row();
}

} // namespace

StationCatalogue::StationCatalogue(const ShownPage &page, const DataFolder &folder, Prompts &prompts,
                                   QObject *parent)
    : QObject(parent), page_(page), folder_(folder), prompts_(prompts) {
    LV.setColumnCount(ColumnCount);
    LV.setHorizontalHeaderLabels({QStringLiteral("Title"), QStringLiteral("Genre"),
                                  QStringLiteral("StreamUrl"), QStringLiteral("HomeUrl")});
    audioInfo = new QAction(QStringLiteral("Station Info"), this);
    audioInfo->setObjectName(QStringLiteral("audioInfo"));
    audioInfo->setEnabled(false);
    ClearHistory1 = new QAction(QStringLiteral("Clear History"), this);
    ClearHistory1->setObjectName(QStringLiteral("ClearHistory1"));
    ClearHistory1->setEnabled(false);
    DelformFavorites1 = new QAction(QStringLiteral("Del From Favorites"), this);
    DelformFavorites1->setObjectName(QStringLiteral("DelformFavorites1"));
    DelformFavorites1->setEnabled(false);
    BuildDefaultTree(tv);
}

void StationCatalogue::BuildDefaultTree(QStandardItemModel &model) {
    model.clear();
    model.appendRow(node(QStringLiteral("Now Playing")));
    QStandardItem *stations = node(QStringLiteral("Radio Stations"));
    model.appendRow(stations);
    for (const Category &c : kCategories) {
        QStandardItem *category = node(QString::fromUtf8(c.name));
        for (const char *child : c.children)
            category->appendRow(node(QString::fromUtf8(child)));
        stations->appendRow(category);
    }
    model.appendRow(node(QStringLiteral("History")));
    model.appendRow(node(QStringLiteral("Favorites")));
}

void StationCatalogue::LoadCatalogueTree(const QString &path) {
    std::optional<Error> loadError;
    try {
        tree::LoadTree(tv, path);
    } catch (const Error &e) {
        loadError = e;
    }
    // What the file holds beyond what the tree takes would be lost to the next save.
    QString unread = loadError ? loadError->message() : QString();
    const bool usable = tv.rowCount() >= 4 && tree::FindNodeByText(tv, QStringLiteral("Radio Stations"));
    if (!usable) {
        if (unread.isEmpty() && tv.rowCount() > 0)
            unread = QStringLiteral("The catalogue tree lacks its four roots");
        // Keep what the history had; everything else comes from the built-in tree.
        QList<QList<QStandardItem *>> historyChildren;
        if (QStandardItem *history = tree::FindNodeByText(tv, QStringLiteral("History")))
            while (history->rowCount() > 0)
                historyChildren.append(history->takeRow(0));
        BuildDefaultTree(tv);
        QStandardItem *history = tv.item(HistoryRoot);
        for (auto &row : historyChildren)
            history->appendRow(row);
    }
    // Trees saved by earlier versions name one category with a misspelling.
    if (QStandardItem *stations = tv.item(RadioStationsRoot))
        for (int c = 0; c < stations->rowCount(); ++c)
            if (stations->child(c)->text() == QLatin1String("Spirritual"))
                stations->child(c)->setText(QStringLiteral("Spiritual"));
    treeSaveBlocked_ = false;
    if (!unread.isEmpty())
        throw Error(tree::KeepUnreadTree(path, unread, treeSaveBlocked_));
}

void StationCatalogue::SaveCatalogueTree() const {
    if (!treeSaveBlocked_)
        tree::SaveTree(tv, treePath());
}

void StationCatalogue::selectNode(QStandardItem *item) {
    if (!item) {
        tvSelection.clear();
        return;
    }
    tvSelection.setCurrentIndex(item->index(), QItemSelectionModel::ClearAndSelect);
}

QStandardItem *StationCatalogue::selectedNode() const {
    const QModelIndexList rows = tvSelection.selectedIndexes();
    if (rows.isEmpty())
        return nullptr;
    return tv.itemFromIndex(rows.first());
}

void StationCatalogue::clearList() {
    ++listGeneration_;
    pendingRows_.clear();
    pendingNext_ = 0;
    pendingSelection_ = -1;
    foreignRows_ = false;
    LV.removeRows(0, LV.rowCount());
}

void StationCatalogue::clearListForRefill() {
    clearList();
    foreignRows_ = true;
}

bool StationCatalogue::CatalogueEmpty() const {
    return QFile(radioPath()).size() < StationRecord::Size;
}

namespace {
QList<QStandardItem *> stationCells(const StationRecord &r) {
    constexpr Qt::ItemFlags flags =
        Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    return {NewListCell(r.Name, flags), NewListCell(r.Genre, flags), NewListCell(r.StreamUrl, flags),
            NewListCell(r.HomeUrl, flags)};
}
} // namespace

void StationCatalogue::appendStationRow(const StationRecord &r) {
    finishListing();
    LV.appendRow(stationCells(r));
}

StationRecord StationCatalogue::stationRow(int row) const {
    StationRecord r;
    r.Name = LV.item(row, TitleColumn)->text();
    r.Genre = LV.item(row, GenreColumn)->text();
    r.StreamUrl = LV.item(row, StreamUrlColumn)->text();
    r.HomeUrl = LV.item(row, HomeUrlColumn)->text();
    return r;
}

int StationCatalogue::selectedRow() const {
    const QModelIndexList rows = LVSelection.selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void StationCatalogue::selectRow(int row) {
    const QModelIndex index = LV.index(row, 0);
    LVSelection.setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void StationCatalogue::listFile(const QString &path, const std::function<bool(const StationRecord &)> &keep) {
    std::vector<StationRecord> kept;
    StationFile(path).forEach([&](const StationRecord &r) {
        if (keep(r)) {
            if (rowSink_)
                rowSink_(r);
            else
                kept.push_back(r);
        }
        return true;
    });
    pendingRows_ = std::move(kept);
    pendingNext_ = 0;
    appendPendingRows(ListBatchRows);
}

void StationCatalogue::appendPendingRows(std::size_t count) {
    const std::size_t end = std::min(pendingRows_.size(), pendingNext_ + count);
    QList<QList<QStandardItem *>> rows;
    rows.reserve(qsizetype(end - pendingNext_));
    for (std::size_t i = pendingNext_; i < end; ++i)
        rows.append(stationCells(pendingRows_[i]));
    pendingNext_ = end;
    AppendRows(LV, rows);
    if (pendingSelection_ >= 0 && pendingSelection_ < LV.rowCount())
        selectRow(std::exchange(pendingSelection_, -1));
    if (!listing()) {
        pendingRows_.clear();
        pendingNext_ = 0;
        pendingSelection_ = -1;
        return;
    }
    // A list cleared or refilled meanwhile drops what this one had still to come.
    QTimer::singleShot(0, this, [this, generation = listGeneration_] {
        if (generation == listGeneration_ && listing())
            appendPendingRows(ListBatchRows);
    });
}

void StationCatalogue::finishListing() {
    if (listing())
        appendPendingRows(pendingRows_.size());
}

void StationCatalogue::selectRowWhenListed(int row) {
    if (row < LV.rowCount())
        selectRow(row);
    else if (listing() && std::size_t(row) < pendingRows_.size())
        pendingSelection_ = row;
}

void StationCatalogue::ShowCatalogueNode() {
    QStandardItem *n = selectedNode();
    if (!n)
        return;
    DelformFavorites1->setEnabled(false);
    ClearHistory1->setEnabled(false);
    lists.lastNodeText = n->text();

    const auto all = [](const StationRecord &) { return true; };
    const int root = rootPosition(n);
    const int parentRoot = n->parent() ? rootPosition(n->parent()) : -1;
    const QString search = n->text();

    if (root == 0) {
        clearList();
        if (!loaded(playback, MediaKind::Station))
            return;
        appendStationRow(recordFromPanel(false));
        selectRow(0);
    } else if (root == RadioStationsRoot) {
        if (LV.rowCount() > ReloadRowLimit && !foreignRows_)
            return;
        clearList();
        listFile(radioPath(), all);
    } else if (parentRoot == HistoryRoot) {
        clearList();
        listFile(historyPath(), [&](const StationRecord &r) { return text::filterMatches(r.Name, search); });
        return;
    } else if (parentRoot == FavoritesRoot) {
        clearList();
        listFile(favoritesPath(),
                 [&](const StationRecord &r) { return text::filterMatches(r.Name, search); });
        DelformFavorites1->setEnabled(true);
        return;
    } else if (root < 0) {
        clearList();
        listFile(radioPath(), [&](const StationRecord &r) { return text::filterMatches(r.Genre, search); });
    } else if (root == HistoryRoot) {
        clearList();
        listFile(historyPath(), all);
        ClearHistory1->setEnabled(true);
        return;
    } else if (root == FavoritesRoot) {
        clearList();
        listFile(favoritesPath(), all);
        DelformFavorites1->setEnabled(true);
    } else {
        return; // roots after the fourth list nothing
    }
    if (lists.currentRow >= 0)
        selectRowWhenListed(lists.currentRow);
}

void StationCatalogue::tvMouseDown(Qt::MouseButton button, const QModelIndex &index) {
    if (button != Qt::RightButton || !index.isValid())
        return;
    tvSelection.clear();
    tvSelection.setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    ShowCatalogueNode();
}

StationRecord StationCatalogue::recordFromPanel(bool trimmed) const {
    StationRecord r = panelSource_ ? panelSource_() : StationRecord{};
    if (trimmed) {
        for (QString *t : {&r.Name, &r.HomeUrl, &r.Genre, &r.StreamUrl})
            *t = text::trimControl(*t);
    }
    return r;
}

bool StationCatalogue::AddStation() {
    const StationRecord r = recordFromPanel(false);
    const auto refuse = [this](const QString &why) {
        prompts_.message(why, dialogCaption(), PromptIcon::Warning, PromptButtons::Ok);
    };
    switch (AddStationRecord(r)) {
    case AddResult::Empty:
        refuse(QStringLiteral("The station was not added: fill in its name, genre or home page."));
        return false;
    case AddResult::NoFile:
        refuse(QStringLiteral("The station was not added: the station file %1 is missing.").arg(radioPath()));
        return false;
    case AddResult::Known:
        refuse(QStringLiteral("The station was not added: the address %1 is already in the list.")
                   .arg(text::escapeControls(r.StreamUrl)));
        return false;
    case AddResult::Added:
        showAddedStation(r);
        return true;
    }
    return false;
}

QStandardItem *StationCatalogue::genreNode(const QString &genre) {
    QStandardItem *stations = tv.item(RadioStationsRoot);
    if (!stations)
        return nullptr;
    const QString wanted = text::replaceControls(genre.trimmed(), QLatin1Char('_')).left(64);
    if (wanted.isEmpty())
        return stations; // listed with all the stations
    // A category's child lists the stations whose genre holds its text.
    for (int c = 0; c < stations->rowCount(); ++c) {
        QStandardItem *category = stations->child(c);
        for (int g = 0; category && g < category->rowCount(); ++g)
            if (text::filterMatches(wanted, category->child(g)->text()))
                return category->child(g);
    }
    // A genre no category knows gets its own node under "Other/Mixed" (or "Other").
    QStandardItem *other = nullptr;
    for (int c = 0; c < stations->rowCount() && !other; ++c)
        if (stations->child(c)->text().startsWith(QLatin1String("Other")))
            other = stations->child(c);
    if (!other) {
        other = node(QStringLiteral("Other"));
        stations->appendRow(other);
    }
    QStandardItem *added = node(wanted);
    other->appendRow(added);
    return added;
}

void StationCatalogue::showAddedStation(const StationRecord &r) {
    QStandardItem *n = genreNode(r.Genre);
    if (!n)
        return;
    selectNode(n);
    ShowCatalogueNode();
    finishListing();
    for (int row = 0; row < LV.rowCount(); ++row)
        if (stationRow(row).StreamUrl == r.StreamUrl) {
            lists.currentRow = row;
            selectRow(row);
            return;
        }
}

StationCatalogue::AddResult StationCatalogue::AddStationRecord(const StationRecord &r) {
    if (r.Name.isEmpty() && r.Genre.isEmpty() && r.HomeUrl.isEmpty())
        return AddResult::Empty;
    const StationFile file(radioPath());
    if (!file.exists())
        return AddResult::NoFile;
    // Stored addresses read back in full, so a long address is found again.
    if (file.any([&](const StationRecord &stored) { return stored.StreamUrl == r.StreamUrl; }))
        return AddResult::Known;
    file.append(r);
    return AddResult::Added;
}

void StationCatalogue::AddToHistory() {
    const StationRecord r = recordFromPanel(true);
    if (r.Name.isEmpty() && r.Genre.isEmpty() && r.HomeUrl.isEmpty())
        return;
    const StationFile file(historyPath());
    if (!file.exists())
        return;
    if (file.any([&](const StationRecord &stored) { return stored.Name == r.Name; }))
        return;
    file.append(r);
    if (QStandardItem *history = tree::FindNodeByText(tv, QStringLiteral("History")))
        history->appendRow(node(r.Name));
}

void StationCatalogue::AddToFavorites() {
    if (LV.rowCount() == 0 || lists.currentRow < 0 || lists.currentRow >= LV.rowCount())
        return;
    const StationRecord r = stationRow(lists.currentRow);
    const StationFile file(favoritesPath());
    if (!file.exists())
        return;
    const bool known = file.any([&](const StationRecord &stored) { return stored.StreamUrl == r.StreamUrl; });
    if (known &&
        prompts_.message(
            QStringLiteral("The selected file(s) is/are already in the lists. Continue add or not? "),
            dialogCaption(), PromptIcon::Question, PromptButtons::OkCancel) != PromptAnswer::Ok)
        return;
    file.append(r);
}

void StationCatalogue::RemoveFavorites() {
    if (selectedRow() < 0 && LV.rowCount() > 0)
        selectRow(0);
    if (LV.rowCount() == 0)
        return;
    const QString address = LV.item(selectedRow(), StreamUrlColumn)->text();
    bool removed = false;
    StationFile(favoritesPath())
        .removeWhere(
            [&](int, const StationRecord &stored) {
                if (removed || stored.StreamUrl != address)
                    return false;
                removed = true;
                return true;
            },
            folder_.file(QStringLiteral("temp.dat")));
}

void StationCatalogue::ClearHistory() {
    if (!page_.radio())
        return;
    if (QStandardItem *history = tree::FindNodeByText(tv, QStringLiteral("History")))
        history->removeRows(0, history->rowCount());
    QFile::remove(historyPath());
    QFile::remove(StationFile::companionPath(historyPath()));
    SaveCatalogueTree();
    if (!QFile::exists(historyPath())) {
        QFile file(historyPath());
        if (!file.open(QIODevice::WriteOnly))
            throw Error(
                QStringLiteral("Cannot create file \"%1\": %2").arg(historyPath(), file.errorString()));
    }
    ShowCatalogueNode();
}

void StationCatalogue::SearchStations(int by, const QString &search) {
    clearList();
    listFile(radioPath(),
             [&](const StationRecord &r) { return text::filterMatches(by == 0 ? r.Genre : r.Name, search); });
}

bool StationCatalogue::ResetSearch() {
    QStandardItem *node = tree::FindNodeByText(tv, lists.lastNodeText);
    if (!node)
        return false;
    selectNode(node);
    ShowCatalogueNode();
    return true;
}

void StationCatalogue::LVMouseDown(Qt::MouseButton button) {
    if (LV.rowCount() == 0)
        return;
    if (selectedRow() < 0) {
        if (loaded(playback, MediaKind::Station)) {
            if (lists.currentRow >= LV.rowCount())
                return;
            selectRow(lists.currentRow);
        } else {
            selectRow(0);
        }
    }
    if (button == Qt::RightButton) {
        lists.currentRow = selectedRow();
        selectRow(lists.currentRow);
    }
}

} // namespace varnelo
