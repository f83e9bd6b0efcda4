#include "library/LibraryEntries.h"

#include "common/Error.h"
#include "common/Seams.h"
#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "common/TreeText.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryFiles.h"
#include "platform/tags/TrackTagReaders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

namespace varnelo {
namespace {

const QString kNowPlaying = QStringLiteral("Now Playing");

// Extensions the open dialog and the command line take, after lower-casing.
bool isLibraryExtension(const QString &extension) {
    return TrackFileExtensions().contains(extension);
}

QString lowerExtension(const QString &path) {
    const QString suffix = QFileInfo(path).suffix();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix.toLower();
}

LibraryRecord readRecord(const QString &path, const QString &extension) {
    const TrackFields f = ReadTrackFields(path, extension);
    LibraryRecord r;
    r.Genre = f.genre;
    r.Title = f.title;
    r.Artist = f.artist;
    r.Album = f.album;
    r.Path = path;
    return r.stored();
}

// The reader's own words. The caller says the file's name first, so where
// they name `path` again it reads as "it".
QString reasonOf(const std::exception &e, const QString &path = {}) {
    const auto *error = dynamic_cast<const Error *>(&e);
    QString reason = error ? error->message() : QString::fromLocal8Bit(e.what());
    if (path.isEmpty())
        return reason;
    reason.replace(QLatin1Char('"') + path + QLatin1Char('"'), QStringLiteral("it"));
    reason.replace(path, QStringLiteral("it"));
    return reason;
}

QStringList pathsOf(const std::vector<LibraryRecord> &rows) {
    QStringList paths;
    for (const LibraryRecord &r : rows)
        paths << r.Path;
    return paths;
}

} // namespace

LibraryEntries::LibraryEntries(LibraryCatalogue &library, Prompts &prompts, QObject *parent)
    : QObject(parent), library_(library), prompts_(prompts) {
    const auto action = [this](const char *name, const QString &text) {
        auto *a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    Addfile2 = action("Addfile2", QStringLiteral("Add file"));
    Add1 = action("Add1", QStringLiteral("Add to Favorites"));
    Del1 = action("Del1", QStringLiteral("Del File"));
    Clearall1 = action("Clearall1", QStringLiteral("Clear all"));
}

QString LibraryEntries::OpenDialogFilter() {
    return QStringLiteral(
        "All Supported Files (*.mp3 *.wav *.wma *.ogg *.flac *.opus *.m4a);;MP3 Files(*.mp3);;WAV "
        "Files(*.wav);;"
        "WMA Files(*.wma);;OGG Files(*.ogg);;FLAC Files(*.flac);;Opus Files(*.opus);;M4A Files(*.m4a)");
}

const QStringList &LibraryEntries::ScanExtensions() {
    static const QStringList extensions = {
        QStringLiteral(".mp3"),  QStringLiteral(".MP3"),  QStringLiteral(".mp2"),  QStringLiteral(".MP2"),
        QStringLiteral(".ogg"),  QStringLiteral(".OGG"),  QStringLiteral(".wma"),  QStringLiteral(".WMA"),
        QStringLiteral(".wav"),  QStringLiteral(".WAV"),  QStringLiteral(".flac"), QStringLiteral(".FLAC"),
        QStringLiteral(".opus"), QStringLiteral(".OPUS"), QStringLiteral(".m4a"),  QStringLiteral(".M4A")};
    return extensions;
}

int LibraryEntries::addTracks(const QStringList &files, QStringList &problems) {
    // A file that cannot be read is left out and named; the others are added.
    std::vector<LibraryRecord> stored;
    for (const QString &file : files) {
        const QString extension = lowerExtension(file);
        if (!isLibraryExtension(extension))
            continue;
        try {
            stored.push_back(readRecord(QFileInfo(file).absoluteFilePath(), extension));
        } catch (const std::exception &e) {
            problems << QStringLiteral("%1 was not added: %2")
                            .arg(file, reasonOf(e, QFileInfo(file).absoluteFilePath()));
        }
    }
    try {
        // One pass over music.dat for the whole batch.
        if (QFile::exists(library_.musicPath()))
            libraryfiles::AppendIfNew(library_.musicPath(), stored);
    } catch (const std::exception &e) {
        problems << QStringLiteral("The files are listed, but the library could not keep them: %1")
                        .arg(reasonOf(e));
    }
    library_.EnsureGroupNodes(stored);
    for (const LibraryRecord &r : stored)
        library_.appendTrackRow(r);
    return static_cast<int>(stored.size());
}

void LibraryEntries::reportProblems(const QStringList &problems) {
    if (!problems.isEmpty())
        throw Error(problems.join(QLatin1Char('\n')));
}

void LibraryEntries::startNowPlaying(bool anyStored, bool guardAll) {
    const auto writeAndStart = [this, anyStored](bool guardOpen) {
        if (anyStored) {
            const QString nowPlaying = library_.nowPlayingPath();
            libraryfiles::CreateIfMissing(nowPlaying);
            libraryfiles::AppendIfNew(nowPlaying, library_.allRows());
        }
        // What plays stops: the added files take over.
        if (stopPlayback)
            stopPlayback();
        library_.lists.nowPlayingValid = true;
        if (!playRow)
            return; // no player bound: nothing claims to play
        if (!guardOpen) {
            playRow(0);
            return;
        }
        try {
            playRow(0);
        } catch (const std::exception &) {
            DeleteEntries();
        }
    };
    if (guardAll) {
        try {
            writeAndStart(false);
        } catch (const std::exception &) {
            DeleteEntries();
        }
    } else {
        writeAndStart(true);
    }
    library_.selectNode(tree::FindNodeByText(library_.tv2, kNowPlaying));
    library_.lists.lastNodeText = kNowPlaying;
    library_.lists.playingIndex = 0;
    library_.selectRow(0);
}

void LibraryEntries::AddFiles() {
    // The user's music folder (XDG) at first, then the folder used last.
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!QFileInfo(music).isDir())
        music = QDir::homePath();
    const QString start = settings_ ? keys::read(*settings_, keys::AddPath, music) : music;
    const QStringList files = prompts_.openFiles(QString(), start, OpenDialogFilter());
    if (files.isEmpty())
        return;
    if (library_.lists.lastNodeText != kNowPlaying) {
        library_.clearList();
        QFile::remove(library_.nowPlayingPath());
    }
    if (settings_) {
        keys::write(*settings_, keys::AddPath, QFileInfo(files.first()).absolutePath());
        settings_->commit();
    }
    QStringList problems;
    const int stored = addTracks(files, problems);
    // Nothing to play when no chosen file could be read into an empty list.
    if (library_.rowCount() > 0)
        startNowPlaying(stored > 0, false);
    reportProblems(problems); // after the adding: what could be added is
}

void LibraryEntries::OpenCommandLineFile(const QString &path) {
    const QFileInfo info(path);
    if (!info.isFile() || !isLibraryExtension(lowerExtension(path))) {
        prompts_.message(QStringLiteral("Cannot open \"%1\": not an audio file of a supported type "
                                        "(.mp3, .mp2, .wav, .wma, .ogg, .flac, .opus, .m4a).")
                             .arg(path),
                         dialogCaption(), PromptIcon::Information, PromptButtons::Ok);
        return;
    }
    QStringList problems;
    const int stored = addTracks({path}, problems);
    if (library_.rowCount() > 0)
        startNowPlaying(stored > 0, true);
    reportProblems(problems);
}

void LibraryEntries::ScanFolder() {
    // A folder to scan: choosing it does not touch the output folder.
    const QString folder = prompts_.chooseFolder(
        QStringLiteral("Add File Directory"), QStandardPaths::writableLocation(QStandardPaths::MusicLocation),
        FolderPurpose::LibraryScan);
    if (folder.isEmpty())
        return;
    const ScanResult result =
        ScanFolderAt(folder, !settings_ || keys::read(*settings_, keys::ScanSubfolders));
    if (result.filesRead == 0 && result.skipped.empty()) {
        prompts_.message(QStringLiteral("No audio files were found in \"%1\".").arg(folder), dialogCaption(),
                         PromptIcon::Information, PromptButtons::Ok);
        return;
    }
    QStringList problems;
    for (const SkippedFile &skip : result.skipped)
        problems << QStringLiteral("%1 was skipped: %2").arg(skip.path, skip.reason);
    reportProblems(problems);
}

namespace {

// A folder's files in name order, then its sub-folders' the same way. Hidden
// files count like any other; links to folders are not entered (no loops), and
// the depth is bounded all the same.
void collectFiles(const QDir &dir, bool subfolders, int depth, QStringList &paths) {
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
        paths << dir.absoluteFilePath(name);
    if (!subfolders || depth >= 64)
        return;
    for (const QString &name :
         dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden, QDir::Name))
        collectFiles(QDir(dir.absoluteFilePath(name)), true, depth + 1, paths);
}

} // namespace

ScanResult LibraryEntries::ScanFolderAt(const QString &folder, bool subfolders) {
    const QDir dir(folder);
    if (!dir.exists())
        throw Error(QStringLiteral("Cannot open folder \"%1\"").arg(folder));
    ScanResult result;
    std::vector<LibraryRecord> found;
    QStringList paths;
    collectFiles(dir, subfolders, 0, paths);
    // A record keeps 255 bytes of a path: a longer one that shares them with
    // another of this scan would take that one's record.
    QHash<QString, QString> storedPaths;
    for (const QString &path : paths) {
        const QString name = QFileInfo(path).fileName();
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString extension = dot < 0 ? QString() : name.mid(dot);
        if (!ScanExtensions().contains(extension))
            continue;
        try {
            const LibraryRecord record = readRecord(path, extension.toLower());
            const auto earlier = storedPaths.constFind(record.Path);
            if (earlier != storedPaths.constEnd()) {
                result.skipped.push_back(
                    {path, QStringLiteral(
                               "its path shares its first 255 bytes, all a library record keeps, with %1")
                               .arg(*earlier)});
                continue;
            }
            storedPaths.insert(record.Path, path);
            found.push_back(record);
        } catch (const std::exception &e) {
            result.skipped.push_back({path, reasonOf(e, path)});
        }
    }
    result.filesRead = static_cast<int>(found.size());
    if (QFile::exists(library_.musicPath()))
        result.recordsAdded = libraryfiles::AppendIfNew(library_.musicPath(), found);
    library_.EnsureGroupNodes(found);
    return result;
}

bool LibraryEntries::libraryNearlyEmpty() const {
    return QFileInfo(library_.musicPath()).size() / 1024 == 0;
}

void LibraryEntries::OpenLibraryPage() {
    QFile music(library_.musicPath());
    if (!music.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open file \"%1\": %2").arg(music.fileName(), music.errorString()));
    music.close();
    if (listFromCommandLine_)
        return;
    if (QStandardItem *allTitle = tree::FindNodeByText(library_.tv2, QStringLiteral("All Title"))) {
        library_.selectNode(allTitle);
        library_.ShowLibraryNode();
    }
}

void LibraryEntries::DeleteEntries() {
    QStandardItem *n = library_.selectedNode();
    const int top = n && !n->parent() ? n->row() : -1;
    QStandardItem *parent = n ? n->parent() : nullptr;
    const auto selectedOrFirst = [this] {
        if (library_.selectedRow() < 0)
            library_.selectRow(0);
        return library_.trackRow(library_.selectedRow());
    };
    bool everyRow = false;
    if (top == LibraryCatalogue::AllTitleRoot) {
        if (library_.rowCount() == 0)
            return;
        const LibraryRecord row = selectedOrFirst();
        libraryfiles::RemoveRecords(library_.musicPath(), {row.Path}, library_.scratchPath());
        library_.RemoveEmptiedGroups(row);
    } else if (top == LibraryCatalogue::FavoritesRoot) {
        if (library_.rowCount() == 0)
            return;
        const LibraryRecord row = selectedOrFirst();
        libraryfiles::RemoveRecords(library_.favoritesPath(), {row.Path}, library_.scratchPath());
        library_.listFile(library_.favoritesPath(), [](const LibraryRecord &) { return true; });
    } else if (parent && (parent == library_.root(LibraryCatalogue::MyArtistRoot) ||
                          parent == library_.root(LibraryCatalogue::MyAlbumRoot))) {
        if (library_.rowCount() == 0) {
            parent->removeRow(n->row());
            library_.SaveLibraryTree();
            return;
        }
        everyRow = true;
        const std::vector<LibraryRecord> rows = library_.allRows();
        libraryfiles::RemoveRecords(library_.musicPath(), pathsOf(rows), library_.scratchPath());
        if (rows.size() == 1)
            parent->removeRow(n->row());
        library_.RemoveEmptiedGroups(rows);
    }
    if (everyRow)
        library_.clearList();
    else if (library_.selectedRow() >= 0)
        library_.lv2.removeRow(library_.selectedRow());
    library_.SaveLibraryTree();
}

void LibraryEntries::ClearAll() {
    if (library_.rowCount() == 0)
        return;
    const std::vector<LibraryRecord> rows = library_.allRows();
    libraryfiles::RemoveRecords(library_.musicPath(), pathsOf(rows), library_.scratchPath());
    library_.RemoveEmptiedGroups(rows);
    library_.clearList();
    library_.SaveLibraryTree();
}

void LibraryEntries::AddToLibraryFavorites() {
    if (library_.rowCount() == 0 || library_.lists.currentRow < 0 ||
        library_.lists.currentRow >= library_.rowCount())
        return;
    // The duplicate check and the append both use the row the menu was opened on.
    const LibraryRecord row = library_.trackRow(library_.lists.currentRow);
    const QString favorites = library_.favoritesPath();
    libraryfiles::CreateIfMissing(favorites);
    if (libraryfiles::StoredPaths(favorites).contains(row.Path) &&
        prompts_.message(
            QStringLiteral("The selected file(s) is/are already in the lists. Continue add or not? "),
            dialogCaption(), PromptIcon::Question, PromptButtons::OkCancel) != PromptAnswer::Ok)
        return;
    libraryFile(favorites).append(row.toBytes());
}

} // namespace varnelo
