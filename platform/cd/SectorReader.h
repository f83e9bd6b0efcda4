#pragma once
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>

typedef struct cdrom_drive_s cdrom_drive_t;
typedef struct cdrom_paranoia_s cdrom_paranoia_t;

namespace varnelo::cd {

class DiscHandle;
class SheetSamples;

// The seam through which tests make sectors unreadable: a sector fails its
// first `times` low-level reads (every read when `times` is negative). The
// failures reach paranoia exactly as a drive's would. Thread-safe.
class ReadFaults {
public:
    void failSector(qint32 lba, int times);
    // True when a read of `count` sectors from `first` fails now, as a
    // drive's whole read command does. Counts the attempt.
    bool fails(qint32 first, long count);
    // A slow spot: the first read that covers `lba` takes `ms` (a stop cuts it short).
    void stallSector(qint32 lba, int ms);
    int stall(qint32 first, long count);
    // A drive that returns wrong data without an error: reads number
    // `firstRead` .. `firstRead + times - 1` (from 0) of `lba` come back with
    // some samples changed (each differently), every one from `firstRead` on
    // when `times` is negative.
    void garbleSector(qint32 lba, int firstRead, int times);
    // Changes the sectors of a read of `count` sectors from `first` in `buffer` as set.
    void garble(qint32 first, long count, qint16 *buffer);

private:
    std::mutex mutex_;
    std::map<qint32, int> remaining_;
    struct Garble {
        int reads = 0, first = 0, times = 0;
    };
    std::map<qint32, Garble> garbled_;
    std::map<qint32, int> stalls_;
};

// The options' read settings. Grab mode 0 reads at full speed without
// verification, 1 corrects jitter by overlapping reads, 2 verifies every
// sector as well, 3 does so in small reads that defeat the drive's cache.
struct ReadMode {
    int grabMode = 1;
    int retries = 1;     // 1..32 re-reads of a failing sector
    int errorAction = 0; // 0 stop, 1 silence, 2 cut the sectors that stay unreadable
    // The drive's read offset in samples, as AccurateRip's drive list gives it:
    // a track is read from `offset` samples after its start.
    int offset = 0;
    // Test and copy: every track is read twice and the two reads compared;
    // when they differ it is read again, up to `retries` times.
    bool secure = false;
    // A read offset past the disc's end reads the drive's lead-out where it
    // gives it (silence where it does not) instead of silence.
    bool overread = false;
};

// Reads audio sectors of one open disc through libcdio-paranoia on the
// calling thread. Sector data is interleaved stereo 16-bit in host order.
class SectorReader {
public:
    static constexpr int SectorSamples = 1176;

    // `abort`, when set, makes every low-level read fail at once so that a
    // read stuck on a bad sector ends quickly.
    SectorReader(const DiscHandle &disc, ReadMode mode, std::shared_ptr<ReadFaults> faults,
                 const std::atomic<bool> *abort);
    ~SectorReader();
    SectorReader(const SectorReader &) = delete;
    SectorReader &operator=(const SectorReader &) = delete;

    bool open(QString &error);

    // Verified reading of [first, first + count) in order.
    void startRange(qint32 first, qint32 count);
    // The next sector, nullptr when nothing could be returned. `uncorrected`
    // says that paranoia gave up on it (its data is a guess or silence).
    const qint16 *readNext(bool &uncorrected);

    // Plain reading for playback: `count` sectors from `first` into `buffer`
    // (count × SectorSamples values). Returns the sectors read, -1 on error.
    long readPlain(qint32 first, long count, qint16 *buffer);
    // One sector past the disc's end straight from the drive, without
    // paranoia (which keeps to the disc); false when the drive refuses it.
    bool readBeyond(qint32 sector, qint16 *buffer);

    int readErrors() const { return readErrors_; }
    int skips() const { return skips_; }

    // What paranoia reports while it reads (paranoia_cb_mode_t), for the reader at work on this thread.
    static void paranoiaEvent(long position, int mode);

private:
    static long hookedRead(cdrom_drive_t *d, void *buffer, qint32 begin, long sectors);
    void noteBad(qint32 sector);

    const DiscHandle &disc_;
    ReadMode mode_;
    std::shared_ptr<ReadFaults> faults_;
    const std::atomic<bool> *abort_;
    cdrom_drive_t *drive_ = nullptr;
    cdrom_paranoia_t *paranoia_ = nullptr;
    std::unique_ptr<SheetSamples> samples_;
    long (*originalRead_)(cdrom_drive_t *, void *, qint32, long) = nullptr;
    qint32 next_ = 0;
    int readErrors_ = 0;
    int skips_ = 0;
    // Where paranoia gave up: the sector itself and the silence it filled in after it.
    std::set<qint32> badStarts_;
    qint32 badRunUntil_ = -1;
    bool lastBad_ = false;
};

} // namespace varnelo::cd
