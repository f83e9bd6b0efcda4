#include "rip/CdRipper.h"

#include "common/Error.h"
#include "common/PlaybackCoordinator.h"
#include "common/Seams.h"
#include "common/ShownPage.h"
#include "convert/EncoderSetup.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/cd/AccurateRipLookup.h"
#include "platform/cd/AudioCDGrabber.h"
#include "platform/tags/AudioInformation.h"
#include "rip/CdSettings.h"
#include "rip/CoverArt.h"
#include "rip/LogChecksum.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

namespace varnelo {

namespace {

const QString Caption = dialogCaption();

QString formatName(int kind) {
    static const char *names[] = {"MP3", "WAV", "WMA", "OGG", "FLAC"};
    return kind >= 0 && kind < 5 ? QString::fromLatin1(names[kind]) : QString::number(kind);
}

} // namespace

QStringList CdRipper::columnTitles() {
    return {QStringLiteral("No"),    QStringLiteral("File name"), QStringLiteral("Artist"),
            QStringLiteral("Album"), QStringLiteral("Time"),      QStringLiteral("Status")};
}

CdRipper::CdRipper(const ShownPage &page, cd::AudioCDGrabber &grabber, cd::FreeDBInformation &information,
                   AudioFile2LameEnc &encoder, EncoderSetup &setup, const EncoderSettingsSource &settings,
                   AudioInformation &tags, Prompts &prompts, DesktopShell &shell, QObject *parent)
    : QObject(parent), page_(page), grabber_(grabber), information_(information), encoder_(encoder),
      setup_(setup), settings_(settings), tags_(tags), prompts_(prompts), shell_(shell),
      accurateRip_(std::make_unique<cd::AccurateRipLookup>()), cover_(std::make_unique<CoverArtFetch>()) {
    lv_cd.setHorizontalHeaderLabels(columnTitles());
    accurateRipServer = cd::AccurateRipLookup::defaultServer();
    coverServer = CoverArtFetch::defaultServer();

    const auto action = [this](const char *name, const QString &text) {
        auto *a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    oMP3c = action("oMP3c", QStringLiteral("To MP3"));
    owavc = action("owavc", QStringLiteral("To WAV"));
    oWMAc = action("oWMAc", QStringLiteral("To WMA"));
    oOGGc = action("oOGGc", QStringLiteral("To OGG"));
    oFLACc = action("oFLACc", QStringLiteral("To FLAC"));
    Refrsh1 = action("Refrsh1", QStringLiteral("Refresh"));
    FreeDB1 = action("FreeDB1", QStringLiteral("FreeDB"));
    Eject1 = action("Eject1", QStringLiteral("Eject"));
    CloseDriveTray1 = action("CloseDriveTray1", QStringLiteral("Close Drive Tray"));
    int kind = 0;
    for (QAction *a : {oMP3c, owavc, oWMAc, oOGGc}) {
        connect(a, &QAction::triggered, this, [this, kind] { RipCheckedTracks(kind); });
        ++kind;
    }
    connect(oFLACc, &QAction::triggered, this, [this] { RipCheckedTracks(int(EncoderKind::Flac)); });
    connect(Refrsh1, &QAction::triggered, this, &CdRipper::Refrsh1Click);
    connect(FreeDB1, &QAction::triggered, this, &CdRipper::LookUpFreeDB);
    connect(Eject1, &QAction::triggered, this, &CdRipper::Eject1Click);
    connect(CloseDriveTray1, &QAction::triggered, this, &CdRipper::CloseDriveTray1Click);

    connect(&grabber_, &cd::AudioCDGrabber::OnFreeDBQueryStatus, this, &CdRipper::ShowFreeDBStatus);
    connect(&grabber_, &cd::AudioCDGrabber::OnOperationProgress, this, [this](double progress) {
        if (setProgress)
            setProgress(int(std::lround(progress)));
    });
    connect(&grabber_, &cd::AudioCDGrabber::GrabStarted, this, &CdRipper::onGrabStarted);
    connect(&grabber_, &cd::AudioCDGrabber::GrabFinished, this, &CdRipper::onGrabFinished);
    connect(&grabber_, &cd::AudioCDGrabber::GrabsEnded, this, &CdRipper::onGrabsEnded);
    connect(&grabber_, &cd::AudioCDGrabber::OnMediaChange, this, [this] {
        // A rip keeps its rows; the list follows the disc once it is over.
        if (ripping_ || grabsRunning_ || !page_.rip()) {
            listStale_ = true;
            return;
        }
        if (loaded(playback, MediaKind::CdTrack) && stopCdPlayback)
            stopCdPlayback();
        ListDiscTracks();
    });
    connect(accurateRip_.get(), &cd::AccurateRipLookup::finished, this, &CdRipper::onAccurateRipDone);
    connect(cover_.get(), &CoverArtFetch::finished, this, [this] {
        coverPending_ = false;
        if (!grabsRunning_ && !accurateRipPending_)
            finishRip();
    });
}

CdRipper::~CdRipper() = default;

QString CdRipper::rowText(int row, int column) const {
    const QStandardItem *item = lv_cd.item(row, column);
    return item ? item->text() : QString();
}

QString CdRipper::status(int row) const {
    return rowText(row, StatusColumn);
}

void CdRipper::setStatus(int row, const QString &text) {
    if (QStandardItem *item = lv_cd.item(row, StatusColumn))
        item->setText(text);
}

int CdRipper::selectedRow() const {
    const QModelIndexList rows = lv_cdSelection.selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void CdRipper::selectRow(int row) {
    if (row < 0 || row >= lv_cd.rowCount())
        return;
    lv_cdSelection.setCurrentIndex(lv_cd.index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QString CdRipper::CurrentTrackName() const {
    const int row = rowOfPlaying >= 0 ? rowOfPlaying : selectedRow();
    return row >= 0 && row < int(TrackEntries.size()) ? TrackEntries[std::size_t(row)].Title : QString();
}

void CdRipper::setUpDrive() {
    if (!grabber_.Initialize())
        grabber_.Initialize();
    if (rememberedImage) {
        const QString image = rememberedImage();
        if (!image.isEmpty() && QFileInfo::exists(image))
            grabber_.AddImage(image);
    }
    grabber_.SelectDrive(grabber_.DriveCount());
    const cd::ReadMode mode = ReadGrabSettings(settings_);
    grabber_.SetGrabMode(mode.grabMode);
    grabber_.SetRetries(mode.retries);
    grabber_.SetErrorAction(mode.errorAction);
    FillDriveList();
    grabber_.setMediaWatch(true);
    drivesSetUp_ = true;
}

void CdRipper::FillDriveList(int selectLine) {
    const int selected = grabber_.SelectedDrive();
    QStringList lines;
    for (int n = 1; n <= grabber_.DriveCount(); ++n) {
        grabber_.SelectDrive(n);
        lines << QStringLiteral("[%1]  %2  %3  %4")
                     .arg(grabber_.DriveId(), grabber_.DriveVendor(), grabber_.DriveProduct(),
                          grabber_.DriveRevision());
    }
    grabber_.SelectDrive(selected);
    if (fillDriveList)
        fillDriveList(lines, selectLine);
}

void CdRipper::OpenCdDrive() {
    if (lv_cd.rowCount() >= 2) {
        ListDiscTracks();
        return;
    }
    try {
        if (!drivesSetUp_)
            setUpDrive();
        ListDiscTracks();
    } catch (const Error &e) {
        prompts_.message(e.message(), Caption, PromptIcon::Information, PromptButtons::Ok);
    }
}

void CdRipper::ListDiscTracks() {
    if (!drivesSetUp_)
        setUpDrive();
    listStale_ = false;
    grabber_.ReadDisc();
    lv_cd.removeRows(0, lv_cd.rowCount());
    TrackEntries.clear();
    const auto refuse = [this](std::initializer_list<QString> messages) {
        for (const QString &m : messages)
            prompts_.message(m, Caption, PromptIcon::Information, PromptButtons::Ok);
        if (enableDriveList)
            enableDriveList(true);
    };
    if (grabber_.DriveCount() == 0)
        return refuse({QStringLiteral("No CD drive was found. Open a disc image (.cue or .toc) with the + "
                                      "button, or choose one as a drive in Options, \"Set Ripper\".")});
    if (grabber_.DiscStatus() == 0)
        return refuse({QStringLiteral("No disc")});
    if (grabber_.TrackCount() <= 0)
        return refuse({QStringLiteral("Empty disc"),
                       QStringLiteral("Disc is empty or drive not support this disc type!")});
    if (grabber_.DiscStatus() == 2)
        return refuse({QStringLiteral("Unrecognized")});
    // A hidden track before track 1 is the first row, "00".
    const int n = grabber_.ListedTrackCount();
    if (n <= 0)
        return;
    TrackEntries.resize(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        grabber_.SelectTrack(i);
        TrackEntry &e = TrackEntries[std::size_t(i)];
        const QString number = TrackNumberText(grabber_.TrackNumber());
        const QString title = grabber_.TrackTitle();
        e.Title = title != QStringLiteral("Session1 Track%1").arg(grabber_.TrackNumber())
                      ? title
                      : QStringLiteral("Track") + number;
        const QString artist = grabber_.TrackArtist();
        e.Artist = artist.isEmpty() ? QStringLiteral("Unknown Artist") : artist;
        const QString album = grabber_.TrackAlbum();
        e.Album = album.isEmpty() ? QStringLiteral("Unknown Album") : album;
        e.Genre = grabber_.TrackGenre();
        e.Year = grabber_.TrackYear();
        const QString time = QStringLiteral("%1:%2:%3")
                                 .arg(grabber_.TrackMinutes())
                                 .arg(grabber_.TrackSeconds(), 2, 10, QLatin1Char('0'))
                                 .arg(grabber_.TrackFrames(), 2, 10, QLatin1Char('0'));
        QList<QStandardItem *> row;
        for (const QString &text : {number, e.Title, e.Artist, e.Album, time, QStringLiteral(" OK ")}) {
            auto *item = new QStandardItem(text);
            item->setEditable(false);
            row << item;
        }
        row.first()->setCheckable(true);
        row.first()->setCheckState(Qt::Checked);
        lv_cd.appendRow(row);
    }
}

void CdRipper::Refrsh1Click() {
    if (loaded(playback, MediaKind::CdTrack) && stopCdPlayback)
        stopCdPlayback();
    ListDiscTracks();
}

void CdRipper::RipCheckedTracks(int kind) {
    if (ripping_ || grabsRunning_)
        return;
    if (loaded(playback, MediaKind::CdTrack)) {
        if (prompts_.message(QStringLiteral("Stop playing"), Caption, PromptIcon::Question,
                             PromptButtons::OkCancel) != PromptAnswer::Ok)
            return;
        if (stopCdPlayback)
            stopCdPlayback();
    }
    if (!drivesSetUp_)
        setUpDrive();
    grabber_.ReadDisc();
    // The settings of the moment, as the encoder's.
    const cd::ReadMode mode = ReadGrabSettings(settings_);
    grabber_.SetGrabMode(mode.grabMode);
    grabber_.SetRetries(mode.retries);
    grabber_.SetErrorAction(mode.errorAction);
    grabber_.SetReadOffset(readOffset ? readOffset() : 0);
    grabber_.SetSecure(mode.secure || (secureCopy && secureCopy()));
    grabber_.SetOverread(mode.overread || (overread && overread()));

    ripping_ = true;
    if (showPanel)
        showPanel(true);
    if (setListEnabled)
        setListEnabled(false);
    if (setProgress)
        setProgress(0);

    const cd::DiscToc &toc = grabber_.Toc();
    log_ = RipLog();
    log_.when = QDateTime::currentDateTime();
    log_.drive = grabber_.DriveIsImage()
                     ? QStringLiteral("disc image %1").arg(QDir::toNativeSeparators(grabber_.DriveId()))
                     : QStringLiteral("%1 %2 %3 (%4)")
                           .arg(grabber_.DriveVendor(), grabber_.DriveProduct(), grabber_.DriveRevision(),
                                grabber_.DriveId());
    log_.grabMode = grabber_.readMode().grabMode;
    log_.retries = grabber_.readMode().retries;
    log_.readOffset = grabber_.readMode().offset;
    log_.secure = grabber_.readMode().secure;
    log_.overread = grabber_.readMode().overread;
    log_.errorAction = grabber_.readMode().errorAction;
    log_.format = formatName(kind);
    log_.cddbId = cd::CddbDiscId(toc);
    log_.musicBrainzId = cd::MusicBrainzDiscId(toc);
    log_.accurateRipPath = cd::accurateRipPath(cd::accurateRipIds(toc));
    if (const auto &info = grabber_.AlbumInformation())
        log_.albumSource = info->source;
    else if (!toc.title.isEmpty() || !toc.performer.isEmpty())
        log_.albumSource = QStringLiteral("CD-Text");
    planned_.clear();
    kind_ = kind;
    startCompanions(toc);

    QString folder = outputFolder ? outputFolder() : QDir::homePath();
    if (!QFileInfo(folder).isDir())
        QDir().mkdir(folder); // one level, as the converter makes it
    if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    const int naming = folderNaming ? folderNaming() : 0;
    QSet<QString> taken;
    bool first = true;
    for (int i = 0; i < lv_cd.rowCount() && i < int(TrackEntries.size()); ++i) {
        if (!ripping_)
            break;
        if (lv_cd.item(i, 0)->checkState() != Qt::Checked)
            continue;
        const TrackEntry &entry = TrackEntries[std::size_t(i)];
        if (log_.artist.isEmpty()) {
            log_.artist = entry.Artist;
            log_.album = entry.Album;
        }
        setup_.ConfigureEncoder(
            kind, EncoderTarget{grabber_.GetOutputFile(), encoder_, EncoderTarget::Role::Ripper});
        grabbing_ = true;
        grabber_.SelectTrack(i);
        const int number = grabber_.TrackNumber();
        const QString path = RipOutputPath(folder, naming, entry, number, setup_.OutputExtension(), taken);
        taken.insert(path);
        Planned p;
        p.row = i;
        p.path = path;
        p.log.number = number;
        p.log.preEmphasis = grabber_.TrackPreEmphasis();
        p.log.title = entry.Title;
        p.log.artist = entry.Artist;
        p.log.path = QDir::toNativeSeparators(path);
        p.log.sectors = grabber_.TrackLength();
        try {
            const int grab = grabber_.GrabToFile(path);
            planned_[grab] = p;
            if (first && setRipperName)
                setRipperName(QDir::toNativeSeparators(path) + QStringLiteral("   "));
            first = false;
        } catch (const Error &e) {
            // Never reached the grab: the row says so and the rip goes on or stops as the options say.
            setStatus(i, QStringLiteral("Error"));
            p.log.reached = true;
            p.log.result.status = cd::GrabResult::Status::Failed;
            p.log.result.error = e.message();
            p.log.status = QStringLiteral("Error");
            p.finished = true;
            planned_[-1 - i] = p;
            Q_EMIT trackRipped(i, path, QStringLiteral("Error"));
            if (mode.errorAction == 0)
                break;
        }
    }
    grabber_.EndGrabs();
    grabsRunning_ = grabber_.Busy();
    if (!grabsRunning_) {
        grabbing_ = false;
        StopRip();
        finishRip();
        return;
    }
    coverPending_ = coverServer.isValid() && !coverServer.isEmpty() && !disc_.musicBrainzRelease.isEmpty();
    if (coverPending_) {
        cover_->server = coverServer;
        cover_->fetch(disc_.musicBrainzRelease);
    }
    accurateRipPending_ = accurateRipServer.isValid() && !accurateRipServer.isEmpty();
    if (accurateRipPending_) {
        accurateRip_->server = accurateRipServer;
        accurateRip_->Fetch(toc);
    } else {
        log_.accurateRipState = QStringLiteral("not asked");
    }
}

void CdRipper::onGrabStarted(int grab) {
    auto it = planned_.find(grab);
    if (it == planned_.end())
        return;
    setStatus(it->second.row, QStringLiteral("Converter"));
    if (ripping_)
        selectRow(it->second.row);
    if (setRipperName)
        setRipperName(QDir::toNativeSeparators(it->second.path) + QStringLiteral("   "));
}

void CdRipper::onGrabFinished(int grab, const cd::GrabResult &result) {
    auto it = planned_.find(grab);
    if (it == planned_.end())
        return;
    Planned &p = it->second;
    p.finished = true;
    p.log.result = result;
    p.log.reached = result.status != cd::GrabResult::Status::NotStarted;
    QString text;
    switch (result.status) {
    case cd::GrabResult::Status::Done: {
        const TrackEntry entry =
            p.row < int(TrackEntries.size()) ? TrackEntries[std::size_t(p.row)] : TrackEntry();
        try {
            tags_.ClearInfo();
            tags_.setInfoTitle(entry.Title);
            tags_.setInfoArtist(entry.Artist);
            tags_.setInfoAlbum(entry.Album);
            tags_.setInfoGenreS(entry.Genre);
            tags_.setInfoYear(entry.Year.left(4).toInt());
            tags_.setInfoTrack(p.log.number);
            // No tag that players act on marks pre-emphasis; a comment is
            // shown by every player and tag editor in every format written,
            // so whoever hears a bright track sees why.
            if (p.log.preEmphasis)
                tags_.setInfoComments(PreEmphasisComment);
            if (kind_ == int(EncoderKind::Flac) || kind_ == int(EncoderKind::Ogg))
                tags_.SaveInfo(p.path, true, discVorbisFields(disc_));
            else
                tags_.SaveInfo(p.path, true);
        } catch (const Error &e) {
            p.log.result.error = QStringLiteral("the tags could not be written: ") + e.message();
        }
        text = RipStatusText(result);
        lastOutputFolder_ = QFileInfo(p.path).absolutePath();
        break;
    }
    case cd::GrabResult::Status::Stopped:
        text = QStringLiteral("Stopped");
        break;
    case cd::GrabResult::Status::Failed:
        text = QStringLiteral("Error");
        break;
    case cd::GrabResult::Status::NotStarted:
        text = QStringLiteral(" OK ");
        break;
    }
    p.log.status = text;
    setStatus(p.row, text);
    if (!accurateRipPending_ && result.status == cd::GrabResult::Status::Done)
        applyAccurateRip(p);
    Q_EMIT trackRipped(p.row, p.path, status(p.row));
    if (result.status == cd::GrabResult::Status::Failed && grabber_.readMode().errorAction == 0 && ripping_)
        StopRip();
}

int CdRipper::audioIndexOf(const Planned &p) const {
    if (p.log.number == 0)
        return -1;
    const bool hiddenRow =
        lv_cd.rowCount() > 0 && lv_cd.item(0, 0) && lv_cd.item(0, 0)->text() == TrackNumberText(0);
    return p.row - (hiddenRow ? 1 : 0);
}

void CdRipper::applyAccurateRip(Planned &p) {
    const cd::GrabResult &r = p.log.result;
    if (r.status != cd::GrabResult::Status::Done || !accurateRip_->done() || !accurateRip_->error().isEmpty())
        return;
    // The database counts the tracks from track 1; a hidden track is not in it.
    const int audioIndex = audioIndexOf(p);
    if (audioIndex < 0)
        return;
    p.log.accurateRip = cd::verifyAccurateRip(accurateRip_->pressings(), audioIndex, r.arV1, r.arV2);
    // A track with sectors that stayed unreadable keeps saying so; the test and copy's word stays.
    if (r.uncorrected == 0 && !p.log.accurateRip.text().isEmpty())
        setStatus(p.row, r.copy == cd::GrabResult::Copy::Single
                             ? p.log.accurateRip.text()
                             : RipStatusText(r) + QStringLiteral(", ") + p.log.accurateRip.text());
}

void CdRipper::onAccurateRipDone() {
    accurateRipPending_ = false;
    if (!accurateRip_->error().isEmpty())
        log_.accurateRipState = QStringLiteral("not checked: ") + accurateRip_->error();
    else if (accurateRip_->pressings().empty())
        log_.accurateRipState = QStringLiteral("not in the database");
    else
        log_.accurateRipState =
            QStringLiteral("%1 pressing(s) in the database").arg(accurateRip_->pressings().size());
    for (auto &[grab, p] : planned_) {
        if (p.finished && p.log.result.status == cd::GrabResult::Status::Done) {
            applyAccurateRip(p);
            Q_EMIT trackRipped(p.row, p.path, status(p.row));
        }
    }
    if (!grabsRunning_)
        finishRip();
}

void CdRipper::onGrabsEnded() {
    if (!grabsRunning_)
        return;
    grabsRunning_ = false;
    grabbing_ = false;
    if (ripping_)
        StopRip();
    if (!accurateRipPending_)
        finishRip();
}

void CdRipper::StopRip() {
    if (grabbing_ && ripping_) {
        grabber_.AbortGrab();
        cover_->abort();
    }
    grabbing_ = false;
    ripping_ = false;
    if (setListEnabled)
        setListEnabled(true);
    if (showPanel)
        showPanel(false);
}

void CdRipper::finishRip() {
    if (coverPending_)
        return; // the cover's answer finishes the rip
    std::vector<Planned> tracks;
    for (const auto &[grab, p] : planned_)
        tracks.push_back(p);
    std::sort(tracks.begin(), tracks.end(), [](const Planned &a, const Planned &b) { return a.row < b.row; });
    bool reached = false;
    for (const Planned &p : tracks) {
        log_.tracks.push_back(p.log);
        reached = reached || p.log.reached;
    }
    lastRip_ = log_.tracks;
    if (reached) {
        QString folder = lastOutputFolder_;
        if (folder.isEmpty())
            folder = outputFolder ? outputFolder() : QDir::homePath();
        lastLogPath_ = QDir(folder).filePath(log_.fileName());
        writeCompanions(tracks, folder);
        QString text = log_.text() + QLatin1Char('\n');
        for (const QString &note : lastNotes_)
            text += note + QLatin1Char('\n');
        QString error;
        if (!WriteRipLog(lastLogPath_, sealedLog(text), error))
            prompts_.message(QStringLiteral("The rip log %1 could not be written: %2")
                                 .arg(QDir::toNativeSeparators(lastLogPath_), error),
                             Caption, PromptIcon::Information, PromptButtons::Ok);
    }
    planned_.clear();
    if (openFolderWhenDone && openFolderWhenDone()) {
        const QString folder = !lastOutputFolder_.isEmpty() ? lastOutputFolder_
                               : outputFolder               ? outputFolder()
                                                            : QString();
        if (!folder.isEmpty())
            shell_.openFolder(folder);
    }
    if (listStale_ && page_.rip())
        ListDiscTracks();
    Q_EMIT ripFinished();
}

void CdRipper::LookUpFreeDB() {
    if (grabber_.AudioTrackCount() == 0) {
        prompts_.message(QStringLiteral("No disc"), Caption, PromptIcon::Information, PromptButtons::Ok);
        return;
    }
    if (lookupSettings)
        information_.settings = lookupSettings();
    information_.chooseMatch = [this](const QStringList &matches) {
        return prompts_.chooseItem(QStringLiteral("Album information"),
                                   QStringLiteral("Several albums match this disc. Choose one:"), matches);
    };
    grabber_.QueryFreeDB(information_, 1);
}

void CdRipper::ShowFreeDBStatus(int status) {
    const auto show = [this](const QString &text) {
        if (showState)
            showState(text);
    };
    const auto hide = [this] {
        if (hideState)
            hideState();
    };
    switch (status) {
    case 1:
        show(QStringLiteral("Connecting to  server..."));
        break;
    case 2:
        show(QStringLiteral("Querying for album information..."));
        break;
    case 3:
        show(QStringLiteral("FreeDB information loaded"));
        show(QStringLiteral("Refresh CD information..."));
        if (!ripping_ && !grabsRunning_)
            ListDiscTracks();
        hide();
        break;
    case -2:
        show(QStringLiteral("No FreeDB information available for this CD!"));
        hide();
        break;
    case -1:
        show(QStringLiteral("Connection failed!"));
        hide();
        break;
    default:
        hide();
        break;
    }
}

void CdRipper::Eject1Click() {
    if (loaded(playback, MediaKind::CdTrack) && stopCdPlayback)
        stopCdPlayback();
    try {
        grabber_.Eject();
    } catch (const Error &e) {
        prompts_.message(e.message(), Caption, PromptIcon::Information, PromptButtons::Ok);
    }
}

void CdRipper::CloseDriveTray1Click() {
    try {
        grabber_.CloseTray();
    } catch (const Error &e) {
        prompts_.message(e.message(), Caption, PromptIcon::Information, PromptButtons::Ok);
    }
}

void CdRipper::ChooseDiscImage() {
    const QStringList files = prompts_.openFiles(QStringLiteral("Choose a disc image"), QDir::homePath(),
                                                 QStringLiteral("Disc images (*.cue *.toc)"));
    if (!files.isEmpty())
        UseDiscImage(files.first());
}

bool CdRipper::UseDrive(const QString &device) {
    if (!drivesSetUp_)
        setUpDrive();
    for (int n = 1; n <= grabber_.DriveCount(); ++n) {
        grabber_.SelectDrive(n);
        if (grabber_.DriveId() == device) {
            FillDriveList(n - 1);
            return true;
        }
    }
    const int number = grabber_.AddImage(device);
    if (number == 0)
        return false;
    grabber_.SelectDrive(number);
    FillDriveList(number - 1);
    return true;
}

void CdRipper::UseDiscImage(const QString &path) {
    if (!drivesSetUp_)
        setUpDrive();
    const int number = grabber_.AddImage(path);
    if (number == 0) {
        prompts_.message(
            QStringLiteral("%1 is not a disc image (.cue or .toc).").arg(QDir::toNativeSeparators(path)),
            Caption, PromptIcon::Information, PromptButtons::Ok);
        return;
    }
    grabber_.SelectDrive(number);
    FillDriveList(number - 1);
    if (rememberImage)
        rememberImage(QFileInfo(path).absoluteFilePath());
    if (page_.rip() && !ripping_ && !grabsRunning_) {
        if (loaded(playback, MediaKind::CdTrack) && stopCdPlayback)
            stopCdPlayback();
        ListDiscTracks();
    }
}

} // namespace varnelo
