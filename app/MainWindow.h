#pragma once
#include "common/DataFolder.h"
#include "common/PlaybackCoordinator.h"
#include "common/Seams.h"
#include "common/SettingsFile.h"
#include "common/ShownPage.h"
#include "desktop/DesktopNotifier.h"
#include "desktop/PowerOffCountdown.h"
#include "platform/sound/SoundOutput.h"

#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QStandardItemModel>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
class QTreeView;

namespace varnelo {

class AssociateDialog;
class AudioFile;
class AudioFile2LameEnc;
class AutoCloser;
class FileAssociation;
class FolderBrowser;
class AudioPlayer;
class CdPlayer;
class CdRipper;
class RipperPanel;
namespace cd {
class AudioCDGrabber;
class FreeDBInformation;
} // namespace cd
class AudioRecord;
class ClockTimer;
class Recorder;
class RecordingSources;
class RecordingsList;
class WindowClockHost;
class Clock;
class Converter;
class EncoderSetup;
class LocalPlayer;
class TagEditor;
class DesktopShell;
class OptionsDialog;
class SearchPanel;
class Skin;
class SkinSurface;
class StationInfoWindow;
class StreamLibrary;
class StreamPlayer;
class LibraryCatalogue;
class LibraryEntries;
class Prompts;
class StationCatalogue;
class StationPanel;
class DirectoryClient;
class DirectorySearch;
class MirrorLookup;

// The main window `fm_main`: owns the program-wide state, the views and the
// subsystems, runs the start-up sequence at its first showing and the
// shutdown sequence when asked to close.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    // The skin's size: the window's smallest.
    static constexpr int ClientWidth = 588;
    static constexpr int ClientHeight = 442;

    // Without an output the user's default sound device is used (or a silent
    // output when none can be opened).
    MainWindow(Prompts &prompts, DesktopShell &shell, Clock &clock, DataFolder folder, QStringList arguments,
               std::unique_ptr<SoundOutput> output = {}, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The page shown, as the subsystems read it.
    const ShownPage &shownPage() const { return shown_; }
    SettingsFile settings;
    // Opened at start-up: "temp.ini" in the working folder, or the per-user
    // settings file of an installed copy (ProgramFiles).
    QString settingsPath = QStringLiteral("temp.ini");
    // A desktop notice that a recording, conversion or rip ended (`text`: the
    // file written, or why it failed). Set by the desktop binding; empty without one.
    std::function<void(FinishedKind kind, const QString &text, bool ok)> notifyFinished;

    // Views, named as the rest of the program knows them.
    QTreeView *tv;
    QTreeView *LV;
    QTreeView *tv2;
    QTreeView *lv2;
    QTreeView *lv_cd;
    QTreeView *LV_R;
    StationPanel *panel_radio;
    QWidget *panel_state;
    QLabel *lab_state;
    // The playing track's cover at the end of the state strip (library page).
    QLabel *lab_cover = nullptr;
    QMenu *p_min;
    QMenu *p_lv;
    QMenu *P_lv2;
    QMenu *p_tv2;
    QMenu *p_1;
    QMenu *p_lvcd;
    QMenu *p_set;
    QTimer *Timer1;
    QTimer *volumeStore_ = nullptr;
    Skin *skin = nullptr;
    SearchPanel *pan_search;
    QPushButton *BitBtn1; // mute (also the Escape key)
    QPushButton *BitBtn2; // unmute

    // One thing plays at a time: the station, a local file or a CD track.
    PlaybackCoordinator &playback() { return playback_; }
    SoundOutput &soundOutput() { return *sound_; }
    StreamLibrary &streams() { return *streams_; }
    StreamPlayer &player() { return *player_; }
    SkinSurface &surface() { return *surface_; }
    OptionsDialog *options() const { return options_; }
    StationInfoWindow *stationInfo() const { return stationInfo_; }
    AudioFile &audioFile() { return *AudioFile_; }
    AudioFile &audioFilew() { return *AudioFilew_; }
    AudioPlayer &audioPlayer() { return *AudioPlayer_; }
    LocalPlayer &localPlayer() { return *localPlayer_; }
    // Created with the dialogs.
    TagEditor *tagEditor() const { return tagEditor_; }
    Converter *converter() const { return converter_; }
    // A conversion or a rip holds the file components and the output.
    bool converting() const;
    bool ripping() const;
    EncoderSetup *encoderSetup() const { return encoderSetup_.get(); }
    Prompts &prompts() { return prompts_; }
    DesktopShell &shell() { return shell_; }

    // Station information: navigate to the connected station and show the window.
    void ShowStationInfo();
    // The recordings list shows under the station list, or is covered by it.
    void ToggleRecordingsList();
    void placeViews();

    StationCatalogue &catalogue() { return *catalogue_; }
    LibraryCatalogue &library() { return *library_; }
    LibraryEntries &libraryEntries() { return *entries_; }
    const DataFolder &dataFolder() const { return folder_; }
    QSystemTrayIcon *trayIcon() const { return tray_; }

    // The dialogs created hidden at start, in creation order.
    QDialog *fm_set = nullptr;
    QDialog *fm_setting = nullptr;
    QDialog *fm_dir = nullptr;
    QDialog *fm_id3 = nullptr;
    QDialog *fm_about = nullptr;
    QDialog *fm_associate = nullptr;
    void createDialogs();

    // The one-time start-up sequence (first showing) and the command-line step.
    void RunStartupSequence();
    void RunCommandLineStep();
    // Files a later copy handed over: the first plays as a command-line file
    // does; the window comes to the front either way.
    void OpenHandedFiles(const QStringList &files);

    // Shown (not in the tray or on the task bar), and the one-time start-up done.
    bool windowShown() const { return windowShown_; }
    bool startupDone() const { return startupDone_; }

    // Tray: to the tray and back.
    void ApplicationMinimize();
    void ApplicationRestore();
    QString currentTrayTip() const;
    // The tip for what plays now: "Varnelo" and the stream title while shown,
    // the minimized tip while in the tray or on the task bar.
    void UpdateTrayTip();
    // A tray the window can hide into (plain desktops may have none).
    bool hasTray() const;

    // Page switches that belong to the shell.
    void ShowRadioPage();
    void ShowLocalPage();
    void ShowRipPage();

    // Recording (MainWindowRecording.cpp) and the clock (MainWindowClock.cpp).
    AudioRecord &audioRecord() { return *AudioRecord1_; }
    Recorder &recorder() { return *recorder_; }
    RecordingsList &recordings() { return *recordingsList_; }
    QMenu *p_record = nullptr;
    // Fills the recording device lists of the options dialog (start-up).
    void ShowRecordingSources();
    // Record: what plays is recorded. With nothing to hear on the program's own
    // output a station is started first (the selected one; for the schedule the
    // one that played last) and the recording begins once it plays; without one
    // nothing is recorded and the strip says why.
    void RecordWhatPlays(bool scheduled);
    // The file-name cell of the CD row being played, naming a recording made on
    // the rip page; bound by the ripper.
    std::function<QString()> cdTrackName;
    // The clock's power-off: ends a recording (complete and tagged) and saves
    // as the shutdown does before asking the system to switch off.
    void PowerOffNow();
    // The clock's power-off time came: a 60-second warning (with a desktop
    // notice) that can be cancelled, then PowerOffNow.
    void StartPowerOffCountdown();
    PowerOffCountdown *powerOffCountdown() { return powerOffCountdown_; }
    // A desktop notice (summary, body). Set by the desktop binding; empty without one.
    std::function<void(const QString &summary, const QString &body)> notifyNotice;
    ClockTimer &clockTimer() { return *clockTimer_; }

    // Steps owned by later subsystems, hooked in as they are built.
    std::function<void(const QString &)> openCommandLineFile;

    // The rip page: CD grabber, album information, ripper and CD player (MainWindowCd.cpp).
    cd::AudioCDGrabber &cdGrabber() { return *AudioCDGrabber_; }
    cd::FreeDBInformation &freeDBInformation() { return *FreeDBInformation_; }
    CdRipper *ripper() const { return ripper_; }
    CdPlayer *cdPlayer() const { return cdPlayer_; }
    RipperPanel *ripperPanel() const { return Panel_ripper_; }
    // Station directory: the search panel's "Directory" scope and the hint the
    // empty station list shows (MainWindowDirectory.cpp).
    DirectorySearch &directory() { return *directorySearch_; }
    DirectoryClient &directoryClient() { return *directoryClient_; }
    QLabel *lab_hint = nullptr;
    void SearchDirectory();
    void OpenDirectorySearch();
    void updateListHint();
    // The library page's: how to add music while the library is (nearly) empty.
    QLabel *lab_libhint = nullptr;
    void updateLibraryHint();

    // Desktop integration: the folder browser, the association dialog, the about
    // box and its auto-closer (MainWindowDesktop.cpp).
    FolderBrowser *folderBrowser() const { return folderBrowser_; }
    AssociateDialog *associateDialog() const { return associateDialog_; }
    AutoCloser &autoCloser() { return *autoCloser_; }
    // The folder chooser behind the prompts: the browser for the purpose,
    // centred over the options dialog or, for a scan, this window.
    QString BrowseFolder(const QString &start, FolderPurpose purpose);
    // A dialog centred over this window and shown without blocking.
    void ShowCentredDialog(QWidget *dialog);
    // The tray's "About" and the skin's "help": a new about box each time, shown
    // modally and closing itself after 5 s with a countdown in its title.
    void ShowAbout();

Q_SIGNALS:
    void startupFinished();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildViews();
    void buildMenus();
    void buildTray();
    void bindLibrary();
    void Timer1Timer();
    void SaveTrees();
    void storeVolume();     // the volume into the settings, when it differs from the stored one
    void writeWindowSize(); // into the settings in memory: the next commit stores it
    void ShowPlayingCover();
    QString coverSource_; // the track whose cover lab_cover holds
    QPixmap coverImage_;
    QMetaObject::Connection pendingRecord_; // a recording that waits for its station to play
    PowerOffCountdown *powerOffCountdown_ = nullptr;
    SetPage shown_;
    // Each page keeps its own state strip: leaving a page keeps its text, coming
    // back shows it again, and another page's (a radio error, say) is not shown.
    struct PageStrip {
        QString text;
        bool shown = false;
    };
    void showPageStrip(Page page);
    PageStrip strips_[3];
    Page stripPage_ = Page::Radio;

    Prompts &prompts_;
    DesktopShell &shell_;
    Clock &clock_;
    PlaybackCoordinator playback_;
    // The player the window shows: the rip page's CD, the station list's
    // station, else the local files (the library or the recordings).
    Player *shownPlayer();
    DataFolder folder_;
    QStringList arguments_;
    std::unique_ptr<StationCatalogue> catalogue_;
    std::unique_ptr<LibraryCatalogue> library_;
    std::unique_ptr<LibraryEntries> entries_;
    QSystemTrayIcon *tray_ = nullptr;
    QIcon normalIcon_;
    QIcon minimizedIcon_;
    bool closeConfirmed_ = false;
    bool windowShown_ = true;
    bool startupDone_ = false;
    std::unique_ptr<SoundOutput> sound_;
    std::unique_ptr<StreamLibrary> streams_;
    std::unique_ptr<AudioFile> AudioFile_;
    std::unique_ptr<AudioFile> AudioFilew_;
    StreamPlayer *player_ = nullptr;
    SkinSurface *surface_ = nullptr;
    OptionsDialog *options_ = nullptr;
    StationInfoWindow *stationInfo_ = nullptr;
    void buildRadio();
    void buildShellMenus();
    // Local playback, the tag editor and the converter (bindPlayback at
    // creation, bindConverter with the dialogs).
    void bindPlayback();
    void bindConverter();
    void showTagEditor();
    std::unique_ptr<AudioPlayer> AudioPlayer_;
    std::unique_ptr<AudioFile2LameEnc> Mp3LameEncoder_;
    std::unique_ptr<EncoderSetup> encoderSetup_;
    LocalPlayer *localPlayer_ = nullptr;
    TagEditor *tagEditor_ = nullptr;
    Converter *converter_ = nullptr;
    QMenu *Converter1_ = nullptr;
    void buildDirectory();
    void releaseDirectory();
    // Takes the server from the settings; false (said when `complain`) when it is no address.
    bool applyDirectoryServer(bool complain);
    std::unique_ptr<MirrorLookup> mirrorLookup_;
    std::unique_ptr<DirectoryClient> directoryClient_;
    std::unique_ptr<DirectorySearch> directorySearch_; // after the client: ends first
    QString directoryServer_;                          // the server last taken from the settings

    // The rip page, bound with the dialogs (MainWindowCd.cpp).
    void bindCd();
    std::unique_ptr<cd::AudioCDGrabber> AudioCDGrabber_;
    std::unique_ptr<cd::FreeDBInformation> FreeDBInformation_;
    std::unique_ptr<AudioFile2LameEnc> AudioFile2LameEncd_;
    std::unique_ptr<AudioPlayer> AudioPlayercd_;
    CdRipper *ripper_ = nullptr;
    CdPlayer *cdPlayer_ = nullptr;
    RipperPanel *Panel_ripper_ = nullptr;

    // Recording and the clock.
    void bindRecording();
    void bindRecordingOptions();
    RecordingsList *recordingsList_ = nullptr; // LV_R's rows
    std::unique_ptr<AudioRecord> AudioRecord1_;
    Recorder *recorder_ = nullptr;
    RecordingSources *sources_ = nullptr;
    std::unique_ptr<WindowClockHost> clockHost_;
    std::unique_ptr<ClockTimer> clockTimer_;

    void createDesktopDialogs();
    FolderBrowser *folderBrowser_ = nullptr;
    AssociateDialog *associateDialog_ = nullptr;
    AutoCloser *autoCloser_ = nullptr;
    std::unique_ptr<FileAssociation> association_;
};

} // namespace varnelo
