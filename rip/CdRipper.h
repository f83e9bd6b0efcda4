#pragma once
#include "platform/cd/FreeDBInformation.h"
#include "rip/RipLog.h"
#include "rip/RipNaming.h"
#include "rip/RipSheet.h"

#include <QItemSelectionModel>
#include <QObject>
#include <QSet>
#include <QStandardItemModel>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QAction;

namespace varnelo {

class ShownPage;
class PlaybackCoordinator;
class AudioFile2LameEnc;
class AudioInformation;
class CoverArtFetch;
class DesktopShell;
class EncoderSettingsSource;
class EncoderSetup;
class Prompts;

namespace cd {
class AccurateRipLookup;
class AudioCDGrabber;
struct GrabResult;
} // namespace cd

// The rip page's operations on the CD track list `lv_cd`: drive set-up,
// listing, ripping the checked tracks, album information and the tray. Works
// on the list model and on hooks, so it runs in the window, the command line
// and the tests alike. A rip runs on the grabber's worker threads; the rows
// follow it through queued signals and the window stays free.
class CdRipper : public QObject {
    Q_OBJECT
public:
    // Columns of lv_cd: the caption (number) and sub-items 0..4.
    enum Column { NoColumn = 0, FileNameColumn, ArtistColumn, AlbumColumn, TimeColumn, StatusColumn };
    static QStringList columnTitles(); // "No", "File name", "Artist", "Album", "Time", "Status"

    CdRipper(const ShownPage &page, cd::AudioCDGrabber &grabber, cd::FreeDBInformation &information,
             AudioFile2LameEnc &encoder, EncoderSetup &setup, const EncoderSettingsSource &settings,
             AudioInformation &tags, Prompts &prompts, DesktopShell &shell, QObject *parent = nullptr);

    // What plays (unbound: nothing).
    const PlaybackCoordinator *playback = nullptr;
    ~CdRipper() override;

    QStandardItemModel lv_cd;
    QItemSelectionModel lv_cdSelection{&lv_cd};
    std::vector<TrackEntry> TrackEntries;

    // The rip items of p_lvcd (Play3 and Stop3 belong to the CD player).
    QAction *oMP3c, *owavc, *oWMAc, *oOGGc, *oFLACc, *Refrsh1, *FreeDB1, *Eject1, *CloseDriveTray1;

    // Live settings and the window's pieces; unset hooks do nothing.
    std::function<QString()> outputFolder;    // `video`/`path`, ending in a separator
    std::function<bool()> openFolderWhenDone; // cb_auto
    std::function<int()> folderNaming;        // cb_name
    std::function<cd::LookupSettings()> lookupSettings;
    std::function<int()> readOffset;  // the drive's read offset in samples; 0 when unset
    std::function<bool()> secureCopy; // test and copy asked for beside the options (--secure)
    std::function<bool()> overread;   // overread asked for beside the options (--overread)
    std::function<void()> stopCdPlayback;
    std::function<void(bool)> showPanel;                // Panel_ripper
    std::function<void(int)> setProgress;               // pb_cd
    std::function<void(const QString &)> setRipperName; // lab_ripper_name
    std::function<void(bool)> setListEnabled;           // lv_cd
    std::function<void(const QString &)> showState;     // panel_state with lab_state
    std::function<void()> hideState;
    // The options' driveCombo: its lines and the one to select (the first at
    // set-up; a disc image just chosen).
    std::function<void(const QStringList &, int)> fillDriveList;
    std::function<void(bool)> enableDriveList;
    std::function<void(const QString &)> rememberImage; // a disc image chosen as drive
    std::function<QString()> rememberedImage;           // ...and listed again at the drive set-up
    // The AccurateRip database (empty: not asked).
    QUrl accurateRipServer;
    // Where front covers come from for a disc whose MusicBrainz release is known (empty: not asked).
    QUrl coverServer;

    void OpenCdDrive();
    void ListDiscTracks();
    void RipCheckedTracks(int kind);
    void StopRip();
    void LookUpFreeDB();
    void ShowFreeDBStatus(int status);
    void Refrsh1Click();
    void Eject1Click();
    void CloseDriveTray1Click();
    // The options' "Image..." button: a disc image becomes a drive and is selected.
    void ChooseDiscImage();
    // Adds a disc image as a drive, selects it and lists the drives again.
    void UseDiscImage(const QString &path);
    // Selects the drive `device` (a device path or a disc image); false when there is none such.
    bool UseDrive(const QString &device);
    // The tracks of the last rip as its log has them.
    const std::vector<RipLogTrack> &lastRip() const { return lastRip_; }
    void FillDriveList(int selectLine = 0);

    // The title of the current row (the one playing or else selected), for recording names.
    QString CurrentTrackName() const;
    int selectedRow() const;
    void selectRow(int row);
    int rowOfPlaying = -1; // set by the CD player while it plays a row
    // The status text of a row.
    QString status(int row) const;
    void setStatus(int row, const QString &text);
    QString lastOutputFolder() const { return lastOutputFolder_; }
    QString lastLogPath() const { return lastLogPath_; }
    // What the last rip wrote beside its files, or why not: cue sheet, playlist, cover.
    const QStringList &lastNotes() const { return lastNotes_; }
    bool drivesSetUp() const { return drivesSetUp_; }
    bool ripping() const { return ripping_; }

Q_SIGNALS:
    // A rip has ended (its log written, the folder opened when asked).
    void ripFinished();
    // A row of the rip finished: its path and the status the row shows.
    void trackRipped(int row, const QString &path, const QString &status);

private:
    struct Planned {
        int row = 0;
        QString path;
        RipLogTrack log;
        bool finished = false;
    };
    void onGrabStarted(int grab);
    void onGrabFinished(int grab, const cd::GrabResult &result);
    void onGrabsEnded();
    void onAccurateRipDone();
    void applyAccurateRip(Planned &p);
    // The audio track (0-based) a row holds: rows count a hidden track "00"
    // first, the disc's table does not; -1 for the hidden track.
    int audioIndexOf(const Planned &p) const;
    void finishRip();
    void startCompanions(const cd::DiscToc &toc);
    void writeCompanions(const std::vector<Planned> &tracks, const QString &folder);
    void setUpDrive();
    QString rowText(int row, int column) const;

    const ShownPage &page_;
    bool ripping_ = false; // from the first track's start to the end of the run
    cd::AudioCDGrabber &grabber_;
    cd::FreeDBInformation &information_;
    AudioFile2LameEnc &encoder_;
    EncoderSetup &setup_;
    const EncoderSettingsSource &settings_;
    AudioInformation &tags_;
    Prompts &prompts_;
    DesktopShell &shell_;
    std::unique_ptr<cd::AccurateRipLookup> accurateRip_;
    bool drivesSetUp_ = false;
    bool listStale_ = false;

    // The rip in progress.
    std::map<int, Planned> planned_; // by grab
    bool grabsRunning_ = false;
    bool grabbing_ = false; // a track is being read for the rip
    bool accurateRipPending_ = false;
    RipLog log_;
    QString lastOutputFolder_;
    QString lastLogPath_;
    std::vector<RipLogTrack> lastRip_;
    int kind_ = 0;
    RipDisc disc_;
    std::unique_ptr<CoverArtFetch> cover_;
    bool coverPending_ = false;
    QStringList lastNotes_;
};

} // namespace varnelo
