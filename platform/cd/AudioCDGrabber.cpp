#include "platform/cd/AudioCDGrabber.h"

#include "common/Error.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/cd/FreeDBInformation.h"
#include "platform/cd/HiddenTrack.h"
#include "platform/cd/TrackStreamer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace varnelo::cd {

namespace {

constexpr int DrivePollMs = 2000;
// A copy or a rewrite of an image comes as several changes: one refresh after them.
constexpr int SettleMs = 400;

} // namespace

AudioCDGrabber::AudioCDGrabber(QObject *parent) : QObject(parent), output_(std::make_unique<AudioFile>()) {
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(SettleMs);
    connect(settle_, &QTimer::timeout, this, &AudioCDGrabber::OnMediaChange);
}

AudioCDGrabber::~AudioCDGrabber() {
    streamer_.reset();
    if (session_)
        session_->abort();
    session_.reset();
}

bool AudioCDGrabber::Initialize() {
    std::vector<DriveInfo> images;
    for (const DriveInfo &d : drives_)
        if (d.image)
            images.push_back(d);
    const QString selectedDevice = drive() ? drive()->device : QString();
    drives_ = systemDrives();
    drives_.insert(drives_.end(), images.begin(), images.end());
    selected_ = -1;
    for (std::size_t i = 0; i < drives_.size(); ++i)
        if (drives_[i].device == selectedDevice)
            selected_ = int(i);
    if (selected_ < 0 && !drives_.empty())
        selected_ = 0;
    watchSelected();
    return true;
}

const DriveInfo *AudioCDGrabber::drive() const {
    return selected_ >= 0 && selected_ < int(drives_.size()) ? &drives_[std::size_t(selected_)] : nullptr;
}

void AudioCDGrabber::SelectDrive(int number) {
    if (number < 1 || number > int(drives_.size()))
        return;
    selected_ = number - 1;
    watchSelected();
}

QString AudioCDGrabber::DriveVendor() const {
    return drive() ? drive()->vendor : QString();
}
QString AudioCDGrabber::DriveProduct() const {
    return drive() ? drive()->product : QString();
}
QString AudioCDGrabber::DriveRevision() const {
    return drive() ? drive()->revision : QString();
}
QString AudioCDGrabber::DriveId() const {
    return drive() ? drive()->device : QString();
}
bool AudioCDGrabber::DriveIsImage() const {
    return drive() && drive()->image;
}

int AudioCDGrabber::AddImage(const QString &path) {
    if (!isDiscImagePath(path))
        return 0;
    const DriveInfo image = imageDrive(path);
    for (std::size_t i = 0; i < drives_.size(); ++i)
        if (drives_[i].device == image.device)
            return int(i) + 1;
    drives_.push_back(image);
    return int(drives_.size());
}

void AudioCDGrabber::Eject() {
    if (!drive())
        throw Error(tr("There is no CD drive."));
    StopTrackRead();
    ejectDisc(*drive());
}

void AudioCDGrabber::CloseTray() {
    if (!drive())
        throw Error(tr("There is no CD drive."));
    closeTray(*drive());
}

void AudioCDGrabber::ReadDisc() {
    const DriveInfo *d = drive();
    DiscRead r = readDisc(d ? d->device : QString());
    state_ = r.state;
    discError_ = r.error;
    toc_ = std::move(r.toc);
    discDevice_ = d ? d->device : QString();
    if (state_ == DiscState::Ready && toc_.audioTrackCount() == 0) {
        // A data disc: nothing on it to rip or play.
        state_ = DiscState::Unrecognised;
        discError_ = tr("The disc holds no audio tracks.");
    }
    if (state_ != DiscState::Ready || CddbDiscIdValue(toc_) != infoDisc_)
        info_.reset();
    track_ = -1;
    // Reads at most up to the first sound, and only on discs whose track 1 starts late.
    QString why;
    hiddenSectors_ = state_ == DiscState::Ready ? hiddenTrackSectors(discDevice_, toc_, why) : 0;
    hidden_ = TocTrack();
    hidden_.number = 0;
    hidden_.sectors = hiddenSectors_;
    // The pregap carries track 1's control bits.
    hidden_.preEmphasis = hiddenSectors_ > 0 && toc_.tracks.front().preEmphasis;
    watchSelected();
}

int AudioCDGrabber::DiscStatus() const {
    switch (state_) {
    case DiscState::NoDisc:
        return 0;
    case DiscState::Ready:
        return 1;
    case DiscState::Unrecognised:
        return 2;
    }
    return 0;
}

int AudioCDGrabber::TrackCount() const {
    return int(toc_.tracks.size());
}

int AudioCDGrabber::AudioTrackCount() const {
    return toc_.audioTrackCount();
}

void AudioCDGrabber::SelectTrack(int index) {
    const int hidden = hiddenSectors_ > 0 ? 1 : 0;
    track_ = (hidden && index == 0) || toc_.audioTrack(index - hidden) ? index : -1;
}

const TocTrack *AudioCDGrabber::track() const {
    if (hiddenSectors_ > 0 && track_ == 0)
        return &hidden_;
    return track_ < 0 ? nullptr : toc_.audioTrack(audioIndex());
}

int AudioCDGrabber::TrackNumber() const {
    return track() ? track()->number : 0;
}

bool AudioCDGrabber::TrackPreEmphasis() const {
    return track() && track()->preEmphasis;
}

const AlbumInfo::Track *AudioCDGrabber::infoTrack() const {
    const int index = audioIndex();
    if (!info_ || track_ < 0 || index < 0 || index >= int(info_->tracks.size()))
        return nullptr;
    return &info_->tracks[std::size_t(index)];
}

qint64 AudioCDGrabber::TrackLength() const {
    return track() ? track()->sectors : 0;
}
int AudioCDGrabber::TrackMinutes() const {
    return int(TrackLength() / SectorsPerSecond / 60);
}
int AudioCDGrabber::TrackSeconds() const {
    return int(TrackLength() / SectorsPerSecond % 60);
}
int AudioCDGrabber::TrackFrames() const {
    return int(TrackLength() % SectorsPerSecond);
}

QString AudioCDGrabber::TrackTitle() const {
    if (!track())
        return {};
    if (const AlbumInfo::Track *t = infoTrack(); t && !t->title.isEmpty())
        return t->title;
    if (!track()->title.isEmpty())
        return track()->title;
    return QStringLiteral("Session1 Track%1").arg(TrackNumber());
}

QString AudioCDGrabber::TrackArtist() const {
    if (!track())
        return {};
    if (const AlbumInfo::Track *t = infoTrack(); t && !t->artist.isEmpty())
        return t->artist;
    if (info_ && !info_->artist.isEmpty())
        return info_->artist;
    return track()->performer.isEmpty() ? toc_.performer : track()->performer;
}

QString AudioCDGrabber::TrackAlbum() const {
    if (!track())
        return {};
    return info_ && !info_->album.isEmpty() ? info_->album : toc_.title;
}

QString AudioCDGrabber::TrackGenre() const {
    if (!track())
        return {};
    return info_ && !info_->genre.isEmpty() ? info_->genre : toc_.genre;
}

QString AudioCDGrabber::TrackYear() const {
    return track() && info_ ? info_->year : QString();
}

void AudioCDGrabber::SetAlbumInfo(std::optional<AlbumInfo> info) {
    info_ = std::move(info);
    infoDisc_ = CddbDiscIdValue(toc_);
}

void AudioCDGrabber::SetGrabMode(int mode) {
    mode_.grabMode = std::clamp(mode, 0, 3);
}

void AudioCDGrabber::SetErrorAction(int action) {
    mode_.errorAction = std::clamp(action, 0, 2);
}

void AudioCDGrabber::SetReadOffset(int samples) {
    mode_.offset = std::clamp(samples, -MaxReadOffset, MaxReadOffset);
}

void AudioCDGrabber::SetRetries(int retries) {
    mode_.retries = std::clamp(retries, 1, 32);
}

void AudioCDGrabber::StartTrackRead() {
    const TocTrack *t = track();
    if (!t)
        throw Error(tr("No track is selected."));
    if (!streamer_)
        streamer_ = std::make_unique<TrackStreamer>(faults_);
    QString error;
    if (!streamer_->start(discDevice_, t->start, t->sectors, error))
        throw Error(error);
}

int AudioCDGrabber::ReadSectors(int count, SampleBlock &samples) {
    int n = 0;
    samples = streamer_ ? streamer_->read(std::max(count, 0), n) : SampleBlock();
    return n;
}

void AudioCDGrabber::SeekSector(qint64 sector, int) {
    if (!streamer_ || !streamer_->active())
        StartTrackRead();
    streamer_->seek(qint32(std::clamp<qint64>(sector, 0, TrackLength())));
}

void AudioCDGrabber::StopTrackRead() {
    if (streamer_)
        streamer_->stop();
}

int AudioCDGrabber::GrabToFile(const QString &path) {
    const TocTrack *t = track();
    if (!t)
        throw Error(tr("No track is selected."));
    if (session_ && !session_->accepting())
        throw Error(tr("The last rip is still ending."));
    // The artist or album folder of the name is made here: without it the
    // output could not be created.
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw Error(tr("Cannot create the folder %1.").arg(QDir::toNativeSeparators(folder)));
    // The name is claimed in one step before the encoder opens it, so a file that
    // appeared since the name was chosen is never truncated.
    if (QFile claim(path); !claim.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw Error(tr("Cannot create %1: %2").arg(QDir::toNativeSeparators(path), claim.errorString()));
    auto file = std::make_unique<AudioFile>(std::move(*output_));
    file->SetFormat(44100, 2);
    if (!file->CreateOutputFile(path) || file->ErrorCode() != AudioFile::NoError)
        throw Error(tr("Cannot create %1: %2").arg(QDir::toNativeSeparators(path), file->ErrorText()));

    if (!session_) {
        grabs_ = 0;
        progress_.clear();
        GrabSession::Events events;
        // The events come on worker threads: they reach the GUI thread queued.
        QPointer<AudioCDGrabber> self(this);
        events.started = [this](int id) {
            QMetaObject::invokeMethod(
                this, [this, id] { Q_EMIT GrabStarted(id); }, Qt::QueuedConnection);
        };
        events.progress = [this](int id, double percent) {
            QMetaObject::invokeMethod(
                this,
                [this, id, percent] {
                    if (!progress_.count(id))
                        return;
                    progress_[id] = percent;
                    Q_EMIT GrabProgress(id, percent);
                    if (progress_.begin()->first == id)
                        Q_EMIT OnOperationProgress(percent);
                },
                Qt::QueuedConnection);
        };
        events.finished = [this](int id, const GrabResult &result) {
            QMetaObject::invokeMethod(
                this,
                [this, id, result] {
                    progress_.erase(id);
                    if (result.status == GrabResult::Status::Done)
                        Q_EMIT OnOperationProgress(100);
                    Q_EMIT GrabFinished(id, result);
                },
                Qt::QueuedConnection);
        };
        events.ended = [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    session_.reset();
                    progress_.clear();
                    Q_EMIT GrabsEnded();
                },
                Qt::QueuedConnection);
        };
        session_ = std::make_unique<GrabSession>(discDevice_, mode_, faults_, std::move(events));
    }
    GrabRequest request;
    request.track = audioIndex();
    request.start = t->start;
    request.sectors = t->sectors;
    request.discEnd = toc_.audioLeadout();
    request.endIsLeadOut = toc_.audioLeadout() == toc_.leadout;
    request.firstAudio = audioIndex() == 0;
    request.lastAudio = audioIndex() == toc_.audioTrackCount() - 1;
    request.path = path;
    request.output = std::move(file);
    const int id = session_->submit(std::move(request));
    progress_[id] = 0;
    ++grabs_;
    return id;
}

void AudioCDGrabber::EndGrabs() {
    if (session_)
        session_->close();
}

void AudioCDGrabber::AbortGrab() {
    if (session_)
        session_->abort();
}

void AudioCDGrabber::WaitForGrabs() {
    if (session_)
        session_->wait();
}

void AudioCDGrabber::QueryFreeDB(FreeDBInformation &information, int) {
    if (information_ != &information) {
        disconnect(informationConnection_);
        information_ = &information;
        informationConnection_ =
            connect(&information, &FreeDBInformation::statusChanged, this, [this](int status) {
                if (status == 3 && information_ && information_->result())
                    SetAlbumInfo(information_->result());
                Q_EMIT OnFreeDBQueryStatus(status);
            });
    }
    information.Query(toc_);
}

void AudioCDGrabber::setMediaWatch(bool on) {
    watch_ = on;
    watchSelected();
}

void AudioCDGrabber::watchSelected() {
    delete watcher_;
    watcher_ = nullptr;
    delete driveTimer_;
    driveTimer_ = nullptr;
    monitor_.reset();
    const DriveInfo *d = drive();
    if (!watch_ || !d)
        return;
    if (d->image) {
        watcher_ = new QFileSystemWatcher(this);
        const QFileInfo sheet(d->device);
        watcher_->addPath(sheet.absolutePath());
        for (const QString &p :
             {sheet.absoluteFilePath(),
              sheet.absoluteDir().filePath(sheet.completeBaseName() + QStringLiteral(".bin"))})
            if (QFileInfo::exists(p))
                watcher_->addPath(p);
        sheetPresent_ = sheet.exists();
        sheetStamp_ = sheetPresent_ ? sheet.lastModified() : QDateTime();
        connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] {
            changedFile_ = true;
            mediaMaybeChanged();
        });
        connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &AudioCDGrabber::mediaMaybeChanged);
        return;
    }
    monitor_ = std::make_unique<DriveMonitor>(d->device);
    driveTimer_ = new QTimer(this);
    connect(driveTimer_, &QTimer::timeout, this, [this] {
        if (monitor_ && monitor_->changed())
            settle_->start();
    });
    driveTimer_->start(DrivePollMs);
}

void AudioCDGrabber::mediaMaybeChanged() {
    const DriveInfo *d = drive();
    if (!d || !watcher_)
        return;
    const QFileInfo sheet(d->device);
    const QString bin = sheet.absoluteDir().filePath(sheet.completeBaseName() + QStringLiteral(".bin"));
    // A file written anew is a new file to the watcher.
    for (const QString &p : {sheet.absoluteFilePath(), bin})
        if (QFileInfo::exists(p) && !watcher_->files().contains(p))
            watcher_->addPath(p);
    // The folder changes for any file in it: only a change of this disc counts.
    const bool present = sheet.exists();
    const QDateTime stamp = present ? sheet.lastModified() : QDateTime();
    if (present == sheetPresent_ && stamp == sheetStamp_ && !changedFile_)
        return;
    changedFile_ = false;
    sheetPresent_ = present;
    sheetStamp_ = stamp;
    settle_->start();
}

} // namespace varnelo::cd
