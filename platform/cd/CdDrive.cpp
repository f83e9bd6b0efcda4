#include "platform/cd/CdDrive.h"

#include "common/Error.h"
#include "common/TextRules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

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

// The files a sheet names: FILE lines of a cue sheet; FILE, AUDIOFILE and
// DATAFILE of a cdrdao table of contents. Quoted names as they stand.
struct SheetFile {
    QString name;
    QString type; // BINARY, MOTOROLA, WAVE... (cue only)
};

std::vector<SheetFile> sheetFiles(const QString &sheet, bool cue) {
    std::vector<SheetFile> files;
    static const QRegularExpression cueLine(QStringLiteral(R"re(^\s*FILE\s+(?:"([^"]*)"|(\S+))\s*(\S*))re"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tocLine(
        QStringLiteral(R"re(^\s*(?:FILE|AUDIOFILE|DATAFILE)\s+"((?:[^"\\]|\\.)*)")re"));
    for (const QString &line : sheet.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = (cue ? cueLine : tocLine).match(line);
        if (!m.hasMatch())
            continue;
        SheetFile f;
        f.name = m.captured(1).isEmpty() && cue ? m.captured(2) : m.captured(1);
        if (cue)
            f.type = m.captured(3).toUpper();
        files.push_back(f);
    }
    return files;
}

QString resolved(const QString &sheetPath, const QString &name) {
    const QFileInfo info(name);
    return info.isAbsolute() ? name : QFileInfo(sheetPath).absoluteDir().filePath(name);
}

// libcdio takes the data of a cue sheet from the file named like the sheet
// with ".bin", and the files of a table of contents relative to the working
// folder; it also stops at a LANGUAGE_MAP block. A sheet it cannot take as it
// stands is copied, as it needs it, into a temporary folder with links to the
// data files. Returns the path to open.
QString prepareImage(const QString &path, bool cue, std::unique_ptr<QTemporaryDir> &prepared, int &byteOrder,
                     QString &error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = tr("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), f.errorString());
        return {};
    }
    // A sheet is a few kilobytes of text; anything far larger is not one.
    const QByteArray bytes = f.read(1 << 20);
    QString sheet = text::decode8Bit(bytes);
    sheet.remove(QLatin1Char('\r'));
    const std::vector<SheetFile> files = sheetFiles(sheet, cue);
    if (files.empty()) {
        error = tr("%1 names no data file.").arg(QDir::toNativeSeparators(path));
        return {};
    }
    if (cue) {
        if (files.size() > 1) {
            error = tr("%1 names %2 data files; only images in one file can be read.")
                        .arg(QDir::toNativeSeparators(path))
                        .arg(files.size());
            return {};
        }
        const QString type = files.front().type;
        if (type != QLatin1String("BINARY") && type != QLatin1String("MOTOROLA")) {
            error = tr("%1 holds its audio as %2; only raw BINARY images can be read.")
                        .arg(QDir::toNativeSeparators(path), type.isEmpty() ? tr("an unknown type") : type);
            return {};
        }
        byteOrder = type == QLatin1String("MOTOROLA") ? 1 : 0;
    }
    for (const SheetFile &file : files) {
        const QString data = resolved(path, file.name);
        if (!QFileInfo(data).isFile()) {
            error = tr("The data file %1 of %2 is missing.")
                        .arg(QDir::toNativeSeparators(data), QDir::toNativeSeparators(path));
            return {};
        }
    }
    const QFileInfo sheetInfo(path);
    const QString expectedBin =
        sheetInfo.absoluteDir().filePath(sheetInfo.completeBaseName() + QStringLiteral(".bin"));
    if (cue && QFileInfo(resolved(path, files.front().name)).canonicalFilePath() ==
                   QFileInfo(expectedBin).canonicalFilePath())
        return path;

    prepared = std::make_unique<QTemporaryDir>();
    if (!prepared->isValid()) {
        error = tr("Cannot prepare %1: %2").arg(QDir::toNativeSeparators(path), prepared->errorString());
        return {};
    }
    const auto link = [&](const QString &target, const QString &name) {
        return QFile::link(QFileInfo(target).absoluteFilePath(), prepared->filePath(name));
    };
    QString copy;
    if (cue) {
        if (!link(resolved(path, files.front().name), QStringLiteral("disc.bin"))) {
            error = tr("Cannot prepare %1.").arg(QDir::toNativeSeparators(path));
            return {};
        }
        copy = prepared->filePath(QStringLiteral("disc.cue"));
    } else {
        // Every file under a plain name of its own, by absolute path; the
        // language map dropped (the texts keep their language blocks).
        QHash<QString, QString> names;
        for (const SheetFile &file : files) {
            if (names.contains(file.name))
                continue;
            const QString name = QStringLiteral("data%1.bin").arg(names.size());
            if (!link(resolved(path, file.name), name)) {
                error = tr("Cannot prepare %1.").arg(QDir::toNativeSeparators(path));
                return {};
            }
            names.insert(file.name, prepared->filePath(name));
        }
        static const QRegularExpression languageMap(QStringLiteral(R"(LANGUAGE_MAP\s*\{[^}]*\})"));
        sheet.remove(languageMap);
        for (auto it = names.cbegin(); it != names.cend(); ++it)
            sheet.replace(QLatin1Char('"') + it.key() + QLatin1Char('"'),
                          QLatin1Char('"') + it.value() + QLatin1Char('"'));
        copy = prepared->filePath(QStringLiteral("disc.toc"));
    }
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly) || out.write(cue ? bytes : sheet.toUtf8()) < 0) {
        error = tr("Cannot prepare %1.").arg(QDir::toNativeSeparators(path));
        return {};
    }
    return copy;
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
        const bool cue = QFileInfo(device).suffix().toLower() == QLatin1String("cue");
        const QString openPath = prepareImage(device, cue, h->prepared_, h->byteOrder_, error);
        state = DiscState::Unrecognised;
        if (openPath.isEmpty())
            return nullptr;
        const QByteArray local = QFile::encodeName(openPath);
        h->cdio_ = cue ? cdio_open_bincue(local.constData()) : cdio_open_cdrdao(local.constData());
        if (!h->cdio_) {
            error = tr("%1 cannot be read as a disc image%2")
                        .arg(QDir::toNativeSeparators(device),
                             lastLibraryMessage.isEmpty() ? QStringLiteral(".")
                                                          : QStringLiteral(": ") + lastLibraryMessage);
            return nullptr;
        }
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
        if (image_) {
            error = tr("%1 holds no tracks.").arg(QDir::toNativeSeparators(device_));
            return DiscState::Unrecognised;
        }
        error = tr("There is no disc in %1.").arg(device_);
        return DiscState::NoDisc;
    }
    const discmode_t mode = cdio_get_discmode(cdio_);
    if (mode >= CDIO_DISC_MODE_DVD_ROM && mode <= CDIO_DISC_MODE_DVD_OTHER) {
        error = tr("The disc in %1 is a DVD.").arg(device_);
        return DiscState::Unrecognised;
    }
    lsn_t lastSession = 0;
    toc_.multiSession =
        !image_ && cdio_get_last_session(cdio_, &lastSession) == DRIVER_OP_SUCCESS && lastSession > 0;
    toc_.leadout = cdio_get_track_lsn(cdio_, CDIO_CDROM_LEADOUT_TRACK);
    for (track_t t = first; t < first + count; ++t) {
        TocTrack track;
        track.number = t;
        track.start = cdio_get_track_lsn(cdio_, t);
        track.audio = cdio_get_track_format(cdio_, t) == TRACK_FORMAT_AUDIO;
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
