#include "platform/cd/SectorReader.h"

#include "platform/cd/CdDrive.h"
#include "platform/cd/DiscSheet.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <algorithm>

namespace varnelo::cd {

namespace {

// paranoia's callbacks carry no user pointer; reads run on one thread per
// reader, so the reader at work on this thread is the one meant.
thread_local SectorReader *currentReader = nullptr;

struct Current {
    explicit Current(SectorReader *r) : previous(currentReader) { currentReader = r; }
    ~Current() { currentReader = previous; }
    SectorReader *previous;
};

int paranoiaMode(int grabMode) {
    switch (grabMode) {
    case 0:
        return PARANOIA_MODE_DISABLE;
    case 1:
        return PARANOIA_MODE_OVERLAP;
    default:
        // Never "never skip": a sector that stays unreadable must not hold the
        // rip (and Stop) for ever; the retries bound it.
        return PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP;
    }
}

// Small reads for the paranoid mode: the drive's cache cannot serve them all.
constexpr int SmallReadSectors = 8;

void paranoiaCallback(long position, paranoia_cb_mode_t mode) {
    SectorReader::paranoiaEvent(position, int(mode));
}

} // namespace

void ReadFaults::failSector(qint32 lba, int times) {
    std::lock_guard lock(mutex_);
    remaining_[lba] = times;
}

bool ReadFaults::fails(qint32 first, long count) {
    std::lock_guard lock(mutex_);
    for (auto it = remaining_.lower_bound(first); it != remaining_.end() && it->first < first + count; ++it) {
        if (it->second == 0)
            continue;
        if (it->second > 0)
            --it->second;
        return true;
    }
    return false;
}

void ReadFaults::stallSector(qint32 lba, int ms) {
    std::lock_guard lock(mutex_);
    stalls_[lba] = ms;
}

int ReadFaults::stall(qint32 first, long count) {
    std::lock_guard lock(mutex_);
    for (auto it = stalls_.lower_bound(first); it != stalls_.end() && it->first < first + count; ++it) {
        const int ms = it->second;
        stalls_.erase(it);
        return ms;
    }
    return 0;
}

void ReadFaults::garbleSector(qint32 lba, int firstRead, int times) {
    std::lock_guard lock(mutex_);
    garbled_[lba] = Garble{0, firstRead, times};
}

void ReadFaults::garble(qint32 first, long count, qint16 *buffer) {
    std::lock_guard lock(mutex_);
    for (auto it = garbled_.lower_bound(first); it != garbled_.end() && it->first < first + count; ++it) {
        Garble &g = it->second;
        const int read = g.reads++;
        if (read < g.first || (g.times >= 0 && read >= g.first + g.times))
            continue;
        qint16 *sector = buffer + std::ptrdiff_t(it->first - first) * SectorReader::SectorSamples;
        // Each bad read is wrong in its own way, as noise is.
        for (int i = 0; i < SectorReader::SectorSamples; i += 97)
            sector[i] = qint16(sector[i] ^ (0x0155 + 2 * read));
    }
}

SectorReader::SectorReader(const DiscHandle &disc, ReadMode mode, std::shared_ptr<ReadFaults> faults,
                           const std::atomic<bool> *abort)
    : disc_(disc), mode_(mode), faults_(std::move(faults)), abort_(abort) {
    mode_.retries = std::clamp(mode_.retries, 1, 32);
}

SectorReader::~SectorReader() {
    if (paranoia_)
        cdio_paranoia_free(paranoia_);
    if (drive_)
        cdio_cddap_close_no_free_cdio(drive_);
}

bool SectorReader::open(QString &error) {
    char *messages = nullptr;
    drive_ = cdio_cddap_identify_cdio(disc_.cdio(), CDDA_MESSAGE_FORGETIT, &messages);
    if (messages)
        cdio_cddap_free_messages(messages);
    if (!drive_ || cdio_cddap_open(drive_) != 0) {
        error = QCoreApplication::translate("SectorReader", "The drive cannot read audio sectors.");
        return false;
    }
    cdio_cddap_verbose_set(drive_, CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
    if (const DiscSheet *sheet = disc_.sheet()) {
        // An image's samples come in host order from its files, at the
        // positions of our own table.
        samples_ = std::make_unique<SheetSamples>(*sheet);
        drive_->bigendianp = Q_BYTE_ORDER == Q_BIG_ENDIAN ? 1 : 0;
        drive_->b_swap_bytes = false;
        const auto &tracks = sheet->toc.tracks;
        for (std::size_t i = 0; i < tracks.size() && i < std::size_t(drive_->tracks); ++i)
            drive_->disc_toc[i].dwStartSector = tracks[i].start;
        if (tracks.size() == std::size_t(drive_->tracks))
            drive_->disc_toc[tracks.size()].dwStartSector = sheet->toc.leadout;
    }
    if (mode_.grabMode == 3)
        drive_->nsectors = std::min(drive_->nsectors, SmallReadSectors);
    originalRead_ = drive_->read_audio;
    drive_->read_audio = &SectorReader::hookedRead;
    paranoia_ = cdio_paranoia_init(drive_);
    if (!paranoia_) {
        error = QCoreApplication::translate("SectorReader", "The drive cannot read audio sectors.");
        return false;
    }
    cdio_paranoia_modeset(paranoia_, paranoiaMode(mode_.grabMode));
    return true;
}

long SectorReader::hookedRead(cdrom_drive_t *d, void *buffer, qint32 begin, long sectors) {
    SectorReader *self = currentReader;
    if (!self)
        return -1;
    if (self->abort_ && self->abort_->load())
        return -1;
    if (self->faults_) {
        if (const int ms = self->faults_->stall(begin, sectors)) {
            QDeadlineTimer until(ms);
            while (!until.hasExpired() && !(self->abort_ && self->abort_->load()))
                QThread::msleep(5);
        }
        // A drive fails the whole command that covers a bad sector.
        if (self->faults_->fails(begin, sectors))
            return -1;
    }
    const long read = self->samples_ ? self->samples_->read(begin, sectors, static_cast<qint16 *>(buffer))
                                     : self->originalRead_(d, buffer, begin, sectors);
    if (self->faults_ && read > 0)
        self->faults_->garble(begin, read, static_cast<qint16 *>(buffer));
    return read;
}

void SectorReader::paranoiaEvent(long position, int mode) {
    SectorReader *self = currentReader;
    if (!self)
        return;
    const qint32 sector = qint32(position / SectorSamples);
    switch (mode) {
    case PARANOIA_CB_READERR:
        ++self->readErrors_;
        // Without verification nothing reads the sectors again.
        if (self->mode_.grabMode == 0)
            self->noteBad(sector);
        break;
    case PARANOIA_CB_SKIP:
        ++self->skips_;
        self->noteBad(sector);
        break;
    default:
        break;
    }
}

void SectorReader::noteBad(qint32 sector) {
    badStarts_.insert(sector);
}

void SectorReader::startRange(qint32 first, qint32 count) {
    next_ = first;
    badStarts_.clear();
    badRunUntil_ = -1;
    lastBad_ = false;
    cdio_paranoia_set_range(paranoia_, first, first + std::max(count, 1) - 1);
    cdio_paranoia_seek(paranoia_, first, SEEK_SET);
}

const qint16 *SectorReader::readNext(bool &uncorrected) {
    Current current(this);
    // paranoia decides to give up on a sector only at every fifth attempt: one
    // retry of the options is a round of five, and a count it never reaches
    // would keep it on a bad sector for ever.
    const qint16 *data = cdio_paranoia_read_limited(paranoia_, &paranoiaCallback, 5 * mode_.retries);
    const qint32 sector = next_++;
    uncorrected = false;
    if (!data) {
        uncorrected = true;
        return nullptr;
    }
    // A sector paranoia gave up on is bad, and so is the silence it filled
    // in after it, up to the next sector that read.
    while (!badStarts_.empty() && *badStarts_.begin() < sector - 2 * drive_->nsectors)
        badStarts_.erase(badStarts_.begin());
    if (badStarts_.count(sector)) {
        uncorrected = true;
        badRunUntil_ = sector + 2 * drive_->nsectors;
    } else if (lastBad_ && sector < badRunUntil_) {
        uncorrected = std::all_of(data, data + SectorSamples, [](qint16 v) { return v == 0; });
    }
    lastBad_ = uncorrected;
    return data;
}

bool SectorReader::readBeyond(qint32 sector, qint16 *buffer) {
    Current current(this);
    return drive_ && drive_->read_audio && drive_->read_audio(drive_, buffer, sector, 1) == 1;
}

long SectorReader::readPlain(qint32 first, long count, qint16 *buffer) {
    Current current(this);
    const long n = cdio_cddap_read(drive_, buffer, first, count);
    return n < 0 ? -1 : n;
}

} // namespace varnelo::cd
