#include "radio/RecordingsList.h"

#include "common/AppState.h"
#include "common/FileGuards.h"
#include "common/PlaybackCoordinator.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>

namespace varnelo {

RecordingsList::RecordingsList(AppState &state, QObject *parent) : QObject(parent), state_(state) {
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

void RecordingsList::AppendRecording(const QString &path, const QString &genre, const QString &time) {
    QList<QStandardItem *> row;
    for (const QString &text : {QFileInfo(path).fileName(), genre, time, path}) {
        auto *item = new QStandardItem(text);
        item->setEditable(false);
        row.append(item);
    }
    LV_R.appendRow(row);
    selectRow(LV_R.rowCount() - 1);
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
        selectRow(loaded(playback, MediaKind::File) ? state_.PlayingIndex : 0);
    state_.StationListActive = false;
}

void RecordingsList::LV_RMouseDown(Qt::MouseButton button) {
    if (LV_R.rowCount() > 0 && selectedRow() < 0)
        selectRow(state_.PlayingIndex);
    if (button == Qt::RightButton && selectedRow() >= 0) {
        state_.CurrentRow = selectedRow();
        selectRow(state_.CurrentRow);
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
    if (loaded(playback, MediaKind::File) && state_.PlayingIndex == row && stopPlayback)
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
