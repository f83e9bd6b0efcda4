#include "platform/cd/CdDrive.h"

#include "common/Error.h"
#include "common/TextRules.h"
#include "platform/cd/DiscSheet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>

namespace varnelo::cd {

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("CdDrive", text);
}

// libcdio writes its warnings to stderr; the last one is kept (per thread)
// to say why an image could not be opened.
thread_local QString lastLibraryMessage;

void libraryLog(cdio_log_level_t level, const char *message) {
    if (level >= CDIO_LOG_WARN && message)
        lastLibraryMessage = QString::fromUtf8(message).trimmed();
}

void quietLibrary() {
    static const bool installed = [] {
        cdio_log_set_handler(libraryLog);
        return true;
    }();
    Q_UNUSED(installed);
}

QString text(const char *s) {
    return s ? text::decode8Bit(QByteArray(s)).trimmed() : QString();
}

QString msf(qint32 sectors) {
    return QStringLiteral("%1:%2:%3")
        .arg(sectors / (60 * SectorsPerSecond), 2, 10, QLatin1Char('0'))
        .arg(sectors / SectorsPerSecond % 60, 2, 10, QLatin1Char('0'))
        .arg(sectors % SectorsPerSecond, 2, 10, QLatin1Char('0'));
}

// paranoia asks libcdio what kind each track is, so an image needs a libcdio
// handle too. It gets one on a sheet written here from the table already read
// and checked, over an empty sparse file of the disc's size: libcdio never
// parses the user's sheet, and every sample comes from SheetSamples.
QString stagedImage(const DiscSheet &sheet, QTemporaryDir &dir, QString &error) {
    QFile bin(dir.filePath(QStringLiteral("disc.bin")));
    if (!bin.open(QIODevice::WriteOnly) || !bin.resize(qint64(sheet.toc.leadout) * SectorBytes)) {
        error = bin.errorString();
        return {};
    }
    QByteArray cue = "FILE \"disc.bin\" BINARY\n";
    for (const TocTrack &t : sheet.toc.tracks)
        cue += QStringLiteral("TRACK %1 %2\nINDEX 01 %3\n")
                   .arg(t.number, 2, 10, QLatin1Char('0'))
                   .arg(t.audio ? QStringLiteral("AUDIO") : QStringLiteral("MODE1/2352"), msf(t.start))
                   .toLatin1();
    QFile out(dir.filePath(QStringLiteral("disc.cue")));
    if (!out.open(QIODevice::WriteOnly) || out.write(cue) != cue.size()) {
        error = out.errorString();
        return {};
    }
    return out.fileName();
}

QString hwText(const char *s, std::size_t size) {
    return QString::fromLatin1(s, qsizetype(strnlen(s, size))).trimmed();
}

} // namespace

std::vector<DriveInfo> systemDrives() {
    quietLibrary();
    std::vector<DriveInfo> drives;
    char **devices = cdio_get_devices(DRIVER_DEVICE);
    if (!devices)
        return drives;
    for (char **d = devices; *d; ++d) {
        DriveInfo info;
        info.device = QString::fromLocal8Bit(*d);
        if (CdIo_t *p = cdio_open(*d, DRIVER_UNKNOWN)) {
            cdio_hwinfo_t hw{};
            if (cdio_get_hwinfo(p, &hw)) {
                info.vendor = hwText(hw.psz_vendor, sizeof hw.psz_vendor);
                info.product = hwText(hw.psz_model, sizeof hw.psz_model);
                info.revision = hwText(hw.psz_revision, sizeof hw.psz_revision);
            }
            cdio_destroy(p);
        }
        drives.push_back(info);
    }
    cdio_free_device_list(devices);
    return drives;
}

bool isDiscImagePath(const QString &path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("cue") || suffix == QLatin1String("toc");
}

DriveInfo imageDrive(const QString &path) {
    DriveInfo info;
    info.device = QFileInfo(path).absoluteFilePath();
    info.vendor = tr("Disc image");
    info.product = QFileInfo(path).fileName();
    info.revision = QFileInfo(path).suffix().toUpper();
    info.image = true;
    return info;
}

DiscHandle::~DiscHandle() {
    if (cdio_)
        cdio_destroy(cdio_);
}

std::unique_ptr<DiscHandle> DiscHandle::open(const QString &device, DiscState &state, QString &error) {
    quietLibrary();
    lastLibraryMessage.clear();
    std::unique_ptr<DiscHandle> h(new DiscHandle);
    h->device_ = device;
    h->image_ = isDiscImagePath(device);
    state = DiscState::NoDisc;
    if (h->image_) {
        if (!QFileInfo::exists(device)) {
            error = tr("The disc image %1 is gone.").arg(QDir::toNativeSeparators(device));
            return nullptr;
        }
        state = DiscState::Unrecognised;
        SheetResult read = readDiscSheet(device);
        if (!read.sheet) {
            error = read.error;
            return nullptr;
        }
        h->sheet_ = std::make_unique<DiscSheet>(std::move(*read.sheet));
        h->prepared_ = std::make_unique<QTemporaryDir>();
        QString why = h->prepared_->errorString();
        const QString staged =
            h->prepared_->isValid() ? stagedImage(*h->sheet_, *h->prepared_, why) : QString();
        if (!staged.isEmpty())
            h->cdio_ = cdio_open_bincue(QFile::encodeName(staged).constData());
        if (!h->cdio_) {
            error = tr("%1 cannot be opened: %2")
                        .arg(QDir::toNativeSeparators(device),
                             staged.isEmpty() || lastLibraryMessage.isEmpty() ? why : lastLibraryMessage);
            return nullptr;
        }
        h->toc_ = h->sheet_->toc;
        for (std::size_t i = 0; i < h->toc_.tracks.size() && i < h->sheet_->info.size(); ++i)
            h->toc_.tracks[i].preEmphasis = h->sheet_->info[i].preEmphasis;
        state = DiscState::Ready;
        return h;
    } else {
        const QByteArray local = QFile::encodeName(device);
        h->cdio_ = cdio_open(local.constData(), DRIVER_DEVICE);
        if (!h->cdio_) {
            error = tr("There is no drive %1.").arg(device);
            return nullptr;
        }
    }
    state = h->readToc(error);
    if (state != DiscState::Ready)
        return nullptr;
    return h;
}

DiscState DiscHandle::readToc(QString &error) {
    const track_t first = cdio_get_first_track_num(cdio_);
    const track_t count = cdio_get_num_tracks(cdio_);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
        error = tr("There is no disc in %1.").arg(device_);
        return DiscState::NoDisc;
    }
    const discmode_t mode = cdio_get_discmode(cdio_);
    if (mode >= CDIO_DISC_MODE_DVD_ROM && mode <= CDIO_DISC_MODE_DVD_OTHER) {
        error = tr("The disc in %1 is a DVD.").arg(device_);
        return DiscState::Unrecognised;
    }
    lsn_t lastSession = 0;
    toc_.multiSession = cdio_get_last_session(cdio_, &lastSession) == DRIVER_OP_SUCCESS && lastSession > 0;
    toc_.leadout = cdio_get_track_lsn(cdio_, CDIO_CDROM_LEADOUT_TRACK);
    for (track_t t = first; t < first + count; ++t) {
        TocTrack track;
        track.number = t;
        track.start = cdio_get_track_lsn(cdio_, t);
        track.audio = cdio_get_track_format(cdio_, t) == TRACK_FORMAT_AUDIO;
        track.preEmphasis = track.audio && cdio_get_track_preemphasis(cdio_, t) == CDIO_TRACK_FLAG_TRUE;
        toc_.tracks.push_back(track);
    }
    for (std::size_t i = 0; i < toc_.tracks.size(); ++i) {
        TocTrack &t = toc_.tracks[i];
        const qint32 end = i + 1 < toc_.tracks.size() ? toc_.tracks[i + 1].start : toc_.leadout;
        qint32 sectors = end - t.start;
        // The audio session ends a session gap before the data session.
        if (toc_.multiSession && t.audio && i + 1 < toc_.tracks.size() && !toc_.tracks[i + 1].audio)
            sectors -= SessionGapSectors;
        t.sectors = std::max<qint32>(sectors, 0);
    }
    if (cdtext_t *cdtext = cdio_get_cdtext(cdio_)) {
        toc_.title = text(cdtext_get_const(cdtext, CDTEXT_FIELD_TITLE, 0));
        toc_.performer = text(cdtext_get_const(cdtext, CDTEXT_FIELD_PERFORMER, 0));
        toc_.genre = text(cdtext_get_const(cdtext, CDTEXT_FIELD_GENRE, 0));
        for (TocTrack &t : toc_.tracks) {
            t.title = text(cdtext_get_const(cdtext, CDTEXT_FIELD_TITLE, track_t(t.number)));
            t.performer = text(cdtext_get_const(cdtext, CDTEXT_FIELD_PERFORMER, track_t(t.number)));
        }
    }
    return DiscState::Ready;
}

DiscRead readDisc(const QString &device) {
    DiscRead r;
    if (device.isEmpty()) {
        r.error = tr("No CD drive was found.");
        return r;
    }
    if (auto h = DiscHandle::open(device, r.state, r.error))
        r.toc = h->toc();
    return r;
}

void ejectDisc(const DriveInfo &drive) {
    quietLibrary();
    if (drive.image)
        throw Error(
            tr("%1 is a disc image: it has no tray to open.").arg(QFileInfo(drive.device).fileName()));
    const QByteArray local = QFile::encodeName(drive.device);
    if (cdio_eject_media_drive(local.constData()) != DRIVER_OP_SUCCESS)
        throw Error(tr("The drive %1 could not open its tray.").arg(drive.device));
}

void closeTray(const DriveInfo &drive) {
    quietLibrary();
    if (drive.image)
        throw Error(
            tr("%1 is a disc image: it has no tray to close.").arg(QFileInfo(drive.device).fileName()));
    const QByteArray local = QFile::encodeName(drive.device);
    driver_id_t driver = DRIVER_DEVICE;
    if (cdio_close_tray(local.constData(), &driver) != DRIVER_OP_SUCCESS)
        throw Error(tr("The drive %1 could not close its tray (it may have none that closes by itself).")
                        .arg(drive.device));
}

DriveMonitor::DriveMonitor(const QString &device) {
    quietLibrary();
    const QByteArray local = QFile::encodeName(device);
    cdio_ = cdio_open(local.constData(), DRIVER_DEVICE);
}

DriveMonitor::~DriveMonitor() {
    if (cdio_)
        cdio_destroy(cdio_);
}

bool DriveMonitor::changed() {
    return cdio_ && cdio_get_media_changed(cdio_) == 1;
}

} // namespace varnelo::cd
