#pragma once
#include "library/LibraryRecord.h"

#include <QAction>
#include <QObject>
#include <QStringList>
#include <functional>
#include <vector>

namespace varnelo {

struct AppState;
class LibraryCatalogue;
class Prompts;
class SettingsFile;

// What a folder scan did: supported files read, records that reached
// music.dat, files whose reading failed (skipped).
struct ScanResult {
    int filesRead = 0;
    int recordsAdded = 0;
    QStringList failed;
};

// The operations that change the library: adding files (open dialog,
// command line, folder scan), the empty-library prompt, deleting and clearing
// entries and the library favorites. They keep music.dat, tp.dat, fav.dat,
// the track list and the artist and album groups consistent.
class LibraryEntries : public QObject {
    Q_OBJECT
public:
    LibraryEntries(LibraryCatalogue &library, AppState &state, Prompts &prompts, QObject *parent = nullptr);

    // "File Manager"/"add path"; without a settings file the dialog starts in
    // the executable's folder and nothing is remembered.
    void setSettings(SettingsFile *settings) { settings_ = settings; }

    // Playback of a row of the list from its start, provided by local playback;
    // throws varnelo::Error when the file cannot be opened. Adding sets
    // LocalPlaying only when it is bound.
    std::function<void(int row)> playRow;
    std::function<void()> stopStation;
    std::function<void()> stopLocalPlayback;

    // Entries of the list's pop-up `P_lv2`.
    QAction *Addfile2;
    QAction *Add1;
    QAction *Del1;
    QAction *Clearall1;

    static QString OpenDialogFilter();
    // Exactly these extensions are scanned; ".Mp3" and the like are not.
    static const QStringList &ScanExtensions();

    void AddFiles();
    void OpenCommandLineFile(const QString &path);
    // Asks for the folder; a cancelled dialog changes nothing.
    void ScanFolder();
    ScanResult ScanFolderAt(const QString &folder);
    void OpenLibraryPage();
    void DeleteEntries();
    void ClearAll();
    void AddToLibraryFavorites();

private:
    // Reads and stores the files (tags, music.dat, groups) and appends their
    // rows; stops at the first failure. Returns how many were stored.
    int addTracks(const QStringList &files);
    // Writes tp.dat (when files were stored), stops what plays and starts row 0.
    void startNowPlaying(bool anyStored, bool guardAll);

    LibraryCatalogue &library_;
    AppState &state_;
    Prompts &prompts_;
    SettingsFile *settings_ = nullptr;
};

} // namespace varnelo
