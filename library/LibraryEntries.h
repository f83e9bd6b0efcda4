#pragma once
#include "library/LibraryRecord.h"

#include <QAction>
#include <QObject>
#include <QStringList>
#include <functional>
#include <vector>

namespace varnelo {

class LibraryCatalogue;
class Prompts;
class SettingsFile;

// A file a scan or an add left out, and why.
struct SkippedFile {
    QString path;
    QString reason;
};

// What a folder scan did: supported files read, records that reached
// music.dat, files it skipped.
struct ScanResult {
    int filesRead = 0;
    int recordsAdded = 0;
    std::vector<SkippedFile> skipped;
};

// The operations that change the library: adding files (open dialog,
// command line, folder scan), the empty-library prompt, deleting and clearing
// entries and the library favorites. They keep music.dat, tp.dat, fav.dat,
// the track list and the artist and album groups consistent.
class LibraryEntries : public QObject {
    Q_OBJECT
public:
    LibraryEntries(LibraryCatalogue &library, Prompts &prompts, QObject *parent = nullptr);

    // "File Manager"/"add path"; without a settings file the dialog starts in
    // the executable's folder and nothing is remembered.
    void setSettings(SettingsFile *settings) { settings_ = settings; }

    // Playback of a row of the list from its start, provided by local playback;
    // throws varnelo::Error when the file cannot be opened. stopPlayback stops
    // whatever plays before added files start.
    std::function<void(int row)> playRow;
    std::function<void()> stopPlayback;

    // Entries of the list's pop-up `P_lv2`.
    QAction *Addfile2;
    QAction *Add1;
    QAction *Del1;
    QAction *Clearall1;

    static QString OpenDialogFilter();
    // Exactly these extensions are scanned; ".Mp3" and the like are not.
    static const QStringList &ScanExtensions();

    // Adding and scanning leave out what cannot be read and add the rest; then
    // they throw varnelo::Error naming each file left out and why.
    void AddFiles();
    void OpenCommandLineFile(const QString &path);
    // Asks for the folder; a cancelled dialog changes nothing.
    void ScanFolder();
    // Hardly anything in the library yet (music.dat under 1 KiB): the page
    // shows how to add music instead of an empty list.
    bool libraryNearlyEmpty() const;
    // Reads the audio files of `folder`, its own first, then those of its
    // sub-folders (links to folders are not entered) unless `subfolders` is false.
    ScanResult ScanFolderAt(const QString &folder, bool subfolders = true);

    void OpenLibraryPage();
    // After a start with a file to play, opening the page keeps the list that file is in.
    void keepListFromCommandLine() { listFromCommandLine_ = true; }
    bool listFromCommandLine() const { return listFromCommandLine_; }
    void DeleteEntries();
    void ClearAll();
    void AddToLibraryFavorites();

private:
    // Reads and stores the files (tags, music.dat, groups) and appends their
    // rows; a file that cannot be read is left out and named in `problems`, as
    // is a failed write of music.dat. Returns how many were stored.
    int addTracks(const QStringList &files, QStringList &problems);
    // What went wrong reaches the user through the unhandled-error dialog.
    static void reportProblems(const QStringList &problems);
    // Writes tp.dat (when files were stored), stops what plays and starts row 0.
    void startNowPlaying(bool anyStored, bool guardAll);

    LibraryCatalogue &library_;
    bool listFromCommandLine_ = false;
    Prompts &prompts_;
    SettingsFile *settings_ = nullptr;
};

} // namespace varnelo
