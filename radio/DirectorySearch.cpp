#include "radio/DirectorySearch.h"

#include "common/Error.h"
#include "common/Seams.h"
#include "radio/DirectoryClient.h"
#include "radio/StationFile.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSet>

namespace varnelo {
namespace {

QIcon knownIcon() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x6f, 0xcf, 0x97), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4.5)}));
    return QIcon(pm);
}

QString describe(const DirectoryStation &s) {
    QStringList lines;
    if (!s.tags.isEmpty())
        lines << QStringLiteral("Tags: %1").arg(s.tags);
    if (!s.countryCode.isEmpty())
        lines << QStringLiteral("Country: %1").arg(s.countryCode);
    if (!s.codec.isEmpty() || s.bitrate > 0)
        lines << QStringLiteral("Codec: %1 %2 kbit/s").arg(s.codec).arg(s.bitrate);
    lines << s.address;
    return lines.join(QLatin1Char('\n'));
}

} // namespace

DirectorySearch::DirectorySearch(StationCatalogue &catalogue, DirectoryClient &client, Prompts &prompts,
                                 QObject *parent)
    : QObject(parent), catalogue_(catalogue), client_(client), prompts_(prompts) {}

DirectorySearch::~DirectorySearch() {
    client_.cancel();
}

bool DirectorySearch::showsList() const {
    return generation_ != 0 && catalogue_.listGeneration() == generation_;
}

void DirectorySearch::SearchDirectory(const QString &text, const QString &tag, const QString &countryCode) {
    catalogue_.clearListForRefill();
    generation_ = catalogue_.listGeneration();
    stations_.clear();
    query_ = DirectoryQuery{text.trimmed(), tag.trimmed(), countryCode, {}, PageSize, 0};
    more_ = false;
    emptyText_ = QStringLiteral("Searching the station directory...");
    Q_EMIT status(emptyText_);
    Q_EMIT rowsChanged();
    requestPage();
}

bool DirectorySearch::hasMore() const {
    return more_ && !busy_ && showsList();
}

void DirectorySearch::MoreResults() {
    if (!hasMore())
        return;
    Q_EMIT status(QStringLiteral("Fetching more stations..."));
    requestPage();
}

void DirectorySearch::requestPage() {
    busy_ = true;
    const quint64 generation = generation_;
    client_.searchStations(
        query_, [this, generation](const DirectoryStations &page) { pageArrived(page, generation); });
}

void DirectorySearch::pageArrived(const DirectoryStations &page, quint64 generation) {
    if (generation != generation_)
        return; // a newer search owns the list
    busy_ = false;
    if (!showsList()) {
        more_ = false; // the list shows something else now
        return;
    }
    if (!page.error.isEmpty()) {
        more_ = false;
        emptyText_ = QStringLiteral("The station directory could not be searched.");
        Q_EMIT status(emptyText_);
        Q_EMIT rowsChanged();
        prompts_.message(page.error, dialogCaption(), PromptIcon::Warning, PromptButtons::Ok);
        return;
    }
    query_.offset += page.received;
    more_ = page.received >= query_.limit;
    for (const DirectoryStation &s : page.stations) {
        if (stations_.contains(s.uuid))
            continue; // the order shifted between pages
        stations_.insert(s.uuid, s);
        catalogue_.appendStationRow(s.record());
        QStandardItem *title =
            catalogue_.LV.item(catalogue_.LV.rowCount() - 1, StationCatalogue::TitleColumn);
        title->setData(s.uuid, UuidRole);
        title->setToolTip(describe(s));
    }
    markKnownRows();
    const int rows = catalogue_.LV.rowCount();
    emptyText_ = rows == 0 ? QStringLiteral("No station of the directory matches the search.") : QString();
    QString text = QStringLiteral("%1 stations from the directory at %2").arg(rows).arg(client_.server());
    if (more_)
        text += QStringLiteral("; scroll down for more");
    if (!page.problems.isEmpty())
        text += QStringLiteral("; %1 of its answer left out (%2)")
                    .arg(page.problems.size())
                    .arg(page.problems.first());
    Q_EMIT status(text);
    Q_EMIT rowsChanged();
}

void DirectorySearch::markKnownRows() {
    QSet<QString> known;
    const StationFile radio(catalogue_.radioPath());
    if (!radio.exists())
        return;
    radio.forEach([&](const StationRecord &r) {
        known.insert(r.StreamUrl);
        return true;
    });
    for (int row = 0; row < catalogue_.LV.rowCount(); ++row)
        if (isDirectoryRow(row) && known.contains(catalogue_.stationRow(row).StreamUrl))
            markRow(row);
}

void DirectorySearch::markRow(int row) {
    QStandardItem *title = catalogue_.LV.item(row, StationCatalogue::TitleColumn);
    if (title->data(KnownRole).toBool())
        return;
    static const QIcon icon = knownIcon();
    title->setData(true, KnownRole);
    title->setIcon(icon);
    title->setToolTip(QStringLiteral("Already in Radio Stations\n") + title->toolTip());
    const QColor dim(0x8b, 0x93, 0xa7);
    title->setForeground(dim);
    catalogue_.LV.item(row, StationCatalogue::GenreColumn)->setForeground(dim);
}

bool DirectorySearch::isDirectoryRow(int row) const {
    if (row < 0 || row >= catalogue_.LV.rowCount())
        return false;
    return !catalogue_.LV.item(row, StationCatalogue::TitleColumn)->data(UuidRole).toString().isEmpty();
}

DirectoryStation DirectorySearch::station(int row) const {
    if (!isDirectoryRow(row))
        return {};
    return stations_.value(catalogue_.LV.item(row, StationCatalogue::TitleColumn)->data(UuidRole).toString());
}

StationCatalogue::AddResult DirectorySearch::AddDirectoryStation(int row) {
    if (!isDirectoryRow(row)) {
        Q_EMIT status(QStringLiteral("Choose a station of the directory first."));
        return StationCatalogue::AddResult::Empty;
    }
    const DirectoryStation s = station(row);
    const StationCatalogue::AddResult result = catalogue_.AddStationRecord(s.record());
    switch (result) {
    case StationCatalogue::AddResult::Added:
        Q_EMIT status(QStringLiteral("\"%1\" was added to Radio Stations.").arg(s.name));
        break;
    case StationCatalogue::AddResult::Known:
        Q_EMIT status(QStringLiteral("\"%1\" is already in Radio Stations.").arg(s.name));
        break;
    case StationCatalogue::AddResult::Empty:
        break;
    case StationCatalogue::AddResult::NoFile:
        throw Error(QStringLiteral("\"%1\" was not added: the station file \"%2\" does not exist.")
                        .arg(s.name, catalogue_.radioPath()));
    }
    markKnownRows();
    Q_EMIT rowsChanged();
    return result;
}

void DirectorySearch::StationStarted(const QString &address) {
    for (int row = 0; row < catalogue_.LV.rowCount(); ++row)
        if (isDirectoryRow(row) && catalogue_.stationRow(row).StreamUrl == address) {
            client_.countClick(station(row).uuid);
            return;
        }
}

void DirectorySearch::LoadChoices() {
    if (choicesAsked_)
        return;
    choicesAsked_ = true;
    client_.fetchTags(TagChoices, [this](const DirectoryValues &tags) {
        if (!tags.error.isEmpty()) {
            choicesAsked_ = false; // asked again next time
            return;
        }
        QStringList names;
        for (const DirectoryValue &v : tags.values)
            names << v.name;
        Q_EMIT tagsLoaded(names);
    });
    client_.fetchCountries([this](const DirectoryValues &countries) {
        if (!countries.error.isEmpty()) {
            choicesAsked_ = false;
            return;
        }
        QList<QPair<QString, QString>> list;
        for (const DirectoryValue &v : countries.values)
            list.append({v.name, v.code});
        Q_EMIT countriesLoaded(list);
    });
}

} // namespace varnelo
