#include "radio/RecordingsList.h"

#include "common/FileGuards.h"
#include "common/TextRules.h"
#include "platform/tags/AudioInformation.h"
#include "radio/StationSelection.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace varnelo {

RecordingsList::RecordingsList(StationSelection &radioLists, QObject *parent)
    : QObject(parent), radioLists_(radioLists) {
    LV_R.setHorizontalHeaderLabels(
        {QStringLiteral("Title"), QStringLiteral("Genre"), QStringLiteral("Time"), QStringLiteral("Path")});
    const auto action = [this](const char *name, const QString &text) {
        auto *a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    fgh1 = action("fgh1", QStringLiteral("Play/Pause"));
    gh1 = action("gh1", QStringLiteral("Stop"));
    Delfile1 = action("Delfile1", QStringLiteral("Remove from list"));
    TrashFile1 = action("TrashFile1", QStringLiteral("Move file to trash"));
    Id3Info1 = action("Id3Info1", QStringLiteral("Id3 Info"));
    connect(fgh1, &QAction::triggered, this, [this] {
        if (playPause)
            playPause();
    });
    connect(gh1, &QAction::triggered, this, [this] {
        if (stopPlayback)
            stopPlayback();
    });
    connect(Delfile1, &QAction::triggered, this, &RecordingsList::Delfile1Click);
    connect(TrashFile1, &QAction::triggered, this, &RecordingsList::TrashFileClick);
    connect(Id3Info1, &QAction::triggered, this, &RecordingsList::Id3Info1Click);
}

QList<QStandardItem *> RecordingsList::makeRow(const QString &path, const QString &genre,
                                               const QString &time) {
    QList<QStandardItem *> row;
    for (const QString &text : {QFileInfo(path).fileName(), genre, time, path}) {
        auto *item = new QStandardItem(text::escapeControls(text));
        item->setEditable(false);
        row.append(item);
    }
    row.last()->setText(path); // the path is used, not shown
    return row;
}

void RecordingsList::AddRecording(const QString &path, const QString &genre, const QString &time) {
    LV_R.insertRow(0, makeRow(path, genre, time));
    selectRow(0);
}

void RecordingsList::ListEarlierRecordings(const QString &folder, int limit) {
    static const QStringList audio{QStringLiteral("*.mp3"),  QStringLiteral("*.wav"),
                                   QStringLiteral("*.wma"),  QStringLiteral("*.ogg"),
                                   QStringLiteral("*.flac"), QStringLiteral("*.opus")};
    QSet<QString> listed;
    for (int row = 0; row < LV_R.rowCount(); ++row)
        listed.insert(rowPath(row));
    // Links and special files (a FIFO would block the tag reader) are left out.
    const QFileInfoList files =
        QDir(folder).entryInfoList(audio, QDir::Files | QDir::NoSymLinks | QDir::Readable, QDir::Time);
    int added = 0;
    for (const QFileInfo &file : files) {
        if (added == limit)
            break;
        if (listed.contains(file.absoluteFilePath()))
            continue;
        QString genre;
        QString time;
        try {
            AudioInformation tags;
            tags.LoadInfo(file.absoluteFilePath());
            genre = tags.infoGenreS();
            time = text::elapsedText((tags.infoDuration() + 500) / 1000);
        } catch (const std::exception &) {
            // Listed all the same: the file is there, only its tags cannot be read.
        }
        LV_R.appendRow(makeRow(file.absoluteFilePath(), genre, time));
        ++added;
    }
}

int RecordingsList::selectedRow() const {
    const QModelIndexList rows = selection.selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void RecordingsList::selectRow(int row) {
    if (row < 0 || row >= LV_R.rowCount())
        return;
    selection.setCurrentIndex(LV_R.index(row, 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QString RecordingsList::rowPath(int row) const {
    const QStandardItem *item = LV_R.item(row, PathColumn);
    return item ? item->text() : QString();
}

void RecordingsList::LV_RClick() {
    if (LV_R.rowCount() > 0 && selectedRow() < 0)
        selectRow(std::max(0, playingRowNow()));
    radioLists_.stationListActive = false;
}

void RecordingsList::LV_RMouseDown(Qt::MouseButton button) {
    if (LV_R.rowCount() > 0 && selectedRow() < 0)
        selectRow(playingRowNow());
    if (button == Qt::RightButton && selectedRow() >= 0) {
        radioLists_.currentRow = selectedRow();
        selectRow(radioLists_.currentRow);
    }
}

void RecordingsList::Delfile1Click() {
    const QModelIndexList rows = selection.selectedRows();
    QList<int> numbers;
    for (const QModelIndex &index : rows)
        numbers.append(index.row());
    std::sort(numbers.begin(), numbers.end(), std::greater<>());
    for (int row : numbers)
        LV_R.removeRow(row);
}

void RecordingsList::TrashFileClick() {
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString path = rowPath(row);
    if (!confirmTrash || !confirmTrash(path))
        return;
    // The file that plays is closed first.
    if (row == playingRowNow() && stopPlayback)
        stopPlayback();
    if (QFileInfo::exists(path) && !files::moveToTrash(path)) {
        if (reportError)
            reportError(QStringLiteral("%1 could not be moved to the trash.").arg(path));
        return;
    }
    LV_R.removeRow(row);
}

void RecordingsList::Id3Info1Click() {
    const int row = selectedRow();
    if (LV_R.rowCount() == 0 || row < 0 || !openTagEditor)
        return;
    openTagEditor(rowPath(row));
}

} // namespace varnelo
