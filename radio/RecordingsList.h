#pragma once
#include <QItemSelectionModel>
#include <QObject>
#include <QStandardItemModel>
#include <functional>

class QAction;

namespace varnelo {

struct StationSelection;

// The recordings list `LV_R`, newest first: those of this run and those earlier
// runs left in the output folder (nothing else stores it); one row per file
// with its genre, length and hidden path, and the actions of its popup menu
// `p_record`.
class RecordingsList : public QObject {
    Q_OBJECT
public:
    enum Column { TitleColumn = 0, GenreColumn = 1, TimeColumn = 2, PathColumn = 3 };

    explicit RecordingsList(StationSelection &radioLists, QObject *parent = nullptr);

    QStandardItemModel LV_R;
    QItemSelectionModel selection{&LV_R};

    // Popup `p_record`: "Play/Pause", "Stop", "Remove from list", "Move file
    // to trash", "Id3 Info" (with the separators N7 and N2 between, added by
    // the menu's owner).
    QAction *fgh1;
    QAction *gh1;
    QAction *Delfile1;
    QAction *TrashFile1;
    QAction *Id3Info1;

    // Local playback and the tag editor, bound by their owners.
    std::function<void()> playPause;
    // The row of this list the local player has loaded; -1 for none.
    std::function<int()> playingRow;
    std::function<void()> stopPlayback;
    std::function<void(const QString &path)> openTagEditor;
    // Asks before a file goes to the trash; says why one could not.
    std::function<bool(const QString &path)> confirmTrash;
    std::function<void(const QString &message)> reportError;

    // Puts a row for a finished file on top and selects it.
    void AddRecording(const QString &path, const QString &genre, const QString &time);
    // Lists the audio files of `folder` not listed yet, newest first below the
    // rows there are, at most `limit`; genre and length come from their tags.
    void ListEarlierRecordings(const QString &folder, int limit = 200);
    int rowCount() const { return LV_R.rowCount(); }
    int selectedRow() const;
    void selectRow(int row);
    QString rowPath(int row) const;

    void LV_RClick();
    void LV_RMouseDown(Qt::MouseButton button);
    // Removes the selected rows from the list; the files stay on disk.
    void Delfile1Click();
    // Moves the selected row's file to the desktop's trash (after asking) and removes the row.
    void TrashFileClick();
    void Id3Info1Click();

private:
    static QList<QStandardItem *> makeRow(const QString &path, const QString &genre, const QString &time);
    StationSelection &radioLists_;
    int playingRowNow() const { return playingRow ? playingRow() : -1; }
};

} // namespace varnelo
