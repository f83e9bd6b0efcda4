#pragma once
#include "radio/DirectoryClient.h"
#include "radio/StationCatalogue.h"

#include <QHash>
#include <QObject>
#include <QPair>

namespace varnelo {

class Prompts;

// The "Directory" scope of the search panel: stations of the community
// directory in the station list `LV`, filled as a node's stations are (Title,
// Genre = the first tag, the addresses hidden), most played first, a page at a
// time. A row of the directory carries the station's id; one whose address is
// already in radio.dat is marked and is not added twice.
class DirectorySearch : public QObject {
    Q_OBJECT
public:
    static constexpr int PageSize = 50;
    static constexpr int TagChoices = 300;
    // Item data on the Title cell of a directory row.
    static constexpr int UuidRole = Qt::UserRole + 1;
    static constexpr int KnownRole = Qt::UserRole + 2;

    DirectorySearch(StationCatalogue &catalogue, DirectoryClient &client, Prompts &prompts,
                    QObject *parent = nullptr);
    ~DirectorySearch() override;

    // The first page of stations whose name contains `text`, narrowed by a tag
    // and a country code (either may be empty), replaces the list.
    void SearchDirectory(const QString &text, const QString &tag, const QString &countryCode);
    // Appends the next page; nothing while one is on its way or after the last.
    void MoreResults();
    bool hasMore() const;
    bool busy() const { return busy_; }

    bool isDirectoryRow(int row) const;
    DirectoryStation station(int row) const;
    // Adds the row's station to radio.dat through AddStation (name, first tag,
    // resolved address, home page) and marks the row; says what happened.
    StationCatalogue::AddResult AddDirectoryStation(int row);
    // A connection to `address` started: a directory station counts the click.
    void StationStarted(const QString &address);
    // Asks for the tags and countries the panel offers (once).
    void LoadChoices();
    // The station list holds this search's rows (no other refill since).
    bool showsList() const;
    // What the empty list says while it shows the directory ("" when it does not).
    QString emptyListText() const { return showsList() ? emptyText_ : QString(); }

Q_SIGNALS:
    void status(const QString &text);
    void tagsLoaded(const QStringList &tags);
    void countriesLoaded(const QList<QPair<QString, QString>> &countries);
    // The list's rows changed (a page arrived, a row was marked).
    void rowsChanged();

private:
    void requestPage();
    void pageArrived(const DirectoryStations &page, quint64 generation);
    void markKnownRows();
    void markRow(int row);

    StationCatalogue &catalogue_;
    DirectoryClient &client_;
    Prompts &prompts_;
    DirectoryQuery query_;
    quint64 generation_ = 0; // the list generation the rows belong to
    bool busy_ = false;
    bool more_ = false;
    bool choicesAsked_ = false;
    QString emptyText_;
    QHash<QString, DirectoryStation> stations_; // by id
};

} // namespace varnelo
