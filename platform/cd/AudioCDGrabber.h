#pragma once
#include "platform/cd/AlbumInfo.h"
#include "platform/cd/CdDrive.h"
#include "platform/cd/DiscToc.h"
#include "platform/cd/GrabSession.h"
#include "platform/sound/AudioTypes.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QFileSystemWatcher;
class QTimer;

namespace varnelo {
class AudioFile;
}

namespace varnelo::cd {

class FreeDBInformation;
class TrackStreamer;

// The CD grabber component (TAudioCDGrabber2) on libcdio and
// libcdio-paranoia. Drives are the system's optical drives followed by the
// disc images added as drives. Lives on the GUI thread; grabs run on worker
// threads (GrabSession) and every signal arrives on the GUI thread.
class AudioCDGrabber : public QObject {
    Q_OBJECT
public:
    explicit AudioCDGrabber(QObject *parent = nullptr);
    ~AudioCDGrabber() override;

    // Drives. Initialize looks for the system's drives (again); images stay.
    bool Initialize();
    int DriveCount() const { return int(drives_.size()); }
    void SelectDrive(int number); // 1-based; a number out of range is ignored
    int SelectedDrive() const { return selected_ + 1; }
    QString DriveVendor() const;
    QString DriveProduct() const;
    QString DriveRevision() const;
    QString DriveId() const; // the device, or the image's path
    bool DriveIsImage() const;
    // A disc image (.cue or .toc) as a drive; its number (an image already
    // listed keeps its number). 0 when the path is not a disc image.
    int AddImage(const QString &path);
    // Opens or closes the tray; throws varnelo::Error with a clear message
    // when the drive cannot (an image has no tray).
    void Eject();
    void CloseTray();

    // The disc in the selected drive.
    void ReadDisc();
    int DiscStatus() const; // 0 no disc, 1 a disc, 2 unrecognised (or no audio on it)
    QString DiscError() const { return discError_; }
    int TrackCount() const;
    int AudioTrackCount() const;
    // The tracks listed: the audio tracks, after a hidden track (track 00,
    // sound in track 1's pregap) when the disc has one.
    int ListedTrackCount() const { return AudioTrackCount() + (hiddenSectors_ > 0 ? 1 : 0); }
    qint32 HiddenTrackSectors() const { return hiddenSectors_; }
    const DiscToc &Toc() const { return toc_; }
    void SelectTrack(int index); // among the listed tracks, from 0
    int TrackNumber() const;     // of the selected track as on the disc; 0 for a hidden track
    bool TrackPreEmphasis() const;
    int SelectedTrack() const { return track_; }
    qint64 TrackLength() const; // sectors
    int TrackMinutes() const;
    int TrackSeconds() const;
    int TrackFrames() const;
    // Texts of the selected track: album information from a lookup, else
    // CD-Text, else "Session1 Track" + number for the title.
    QString TrackTitle() const;
    QString TrackArtist() const;
    QString TrackAlbum() const;
    QString TrackGenre() const;
    QString TrackYear() const;
    // Album information for the disc now in the drive (from QueryFreeDB, or set by the caller).
    void SetAlbumInfo(std::optional<AlbumInfo> info);
    const std::optional<AlbumInfo> &AlbumInformation() const { return info_; }

    // Read options.
    void SetGrabMode(int mode);
    void SetErrorAction(int action);
    void SetRetries(int retries);
    // Samples, clamped to ±MaxReadOffset (drives' offsets stay well inside).
    void SetReadOffset(int samples);
    // Test and copy: every track read twice (ReadMode::secure).
    void SetSecure(bool on) { mode_.secure = on; }
    void SetOverread(bool on) { mode_.overread = on; }
    static constexpr int MaxReadOffset = 50 * FramesPerSector;
    ReadMode readMode() const { return mode_; }

    // Playback of the selected track: ReadSectors gives up to `count`
    // sectors as 44100 Hz stereo samples and returns how many; 0 at the end.
    void StartTrackRead();
    int ReadSectors(int count, SampleBlock &samples);
    void SeekSector(qint64 sector, int mode = 1);
    void StopTrackRead();

    // The output file the next GrabToFile writes through, in the format set on it.
    AudioFile &GetOutputFile() { return *output_; }
    // Starts grabbing the selected track into `path` (its folder is made when
    // missing) and returns at once; the grab's number is the count of earlier
    // GrabToFile calls since the last grabs ended. Throws varnelo::Error when
    // the output cannot be created.
    int GrabToFile(const QString &path);
    // No more GrabToFile calls for now: GrabsEnded follows the last grab.
    void EndGrabs();
    // Stops every running grab within a second and drops the queued ones.
    void AbortGrab();
    bool Busy() const { return session_ != nullptr; }
    // Waits for the worker threads of the last grabs to end.
    void WaitForGrabs();

    // Looks the disc up; the status arrives through OnFreeDBQueryStatus and
    // after 3 the track texts carry the album information.
    void QueryFreeDB(FreeDBInformation &information, int mode = 1);

    // The seam through which tests make sectors unreadable.
    void setReadFaults(std::shared_ptr<ReadFaults> faults) { faults_ = std::move(faults); }

    // Media change: images are watched through their files, drives asked every two seconds.
    void setMediaWatch(bool on);

Q_SIGNALS:
    void OnMediaChange();
    void OnOperationProgress(double progress);
    void OnFreeDBQueryStatus(int status);
    void GrabStarted(int grab);
    void GrabProgress(int grab, double percent);
    void GrabFinished(int grab, const varnelo::cd::GrabResult &result);
    void GrabsEnded();

private:
    const DriveInfo *drive() const;
    const TocTrack *track() const;
    const AlbumInfo::Track *infoTrack() const;
    int audioIndex() const { return track_ - (hiddenSectors_ > 0 ? 1 : 0); } // -1: the hidden track
    void watchSelected();
    void mediaMaybeChanged();

    std::vector<DriveInfo> drives_;
    int selected_ = -1;
    DiscToc toc_;
    DiscState state_ = DiscState::NoDisc;
    QString discError_;
    QString discDevice_; // the drive the disc was read from
    int track_ = -1;     // among the listed tracks
    qint32 hiddenSectors_ = 0;
    TocTrack hidden_; // track 00
    std::optional<AlbumInfo> info_;
    quint32 infoDisc_ = 0; // CDDB id of the disc info_ belongs to
    ReadMode mode_;
    std::shared_ptr<ReadFaults> faults_;
    std::unique_ptr<AudioFile> output_;
    std::unique_ptr<GrabSession> session_;
    std::unique_ptr<GrabSession> endedSession_;
    std::map<int, double> progress_; // unfinished grabs
    int grabs_ = 0;
    std::unique_ptr<TrackStreamer> streamer_;
    QPointer<FreeDBInformation> information_;
    QMetaObject::Connection informationConnection_;
    bool watch_ = false;
    QFileSystemWatcher *watcher_ = nullptr;
    QTimer *driveTimer_ = nullptr;
    QTimer *settle_ = nullptr;
    std::unique_ptr<DriveMonitor> monitor_;
    bool sheetPresent_ = false;
    QDateTime sheetStamp_;
    bool changedFile_ = false;
};

} // namespace varnelo::cd
