#include "platform/cd/TrackStreamer.h"

#include "common/Error.h"
#include "platform/cd/CdDrive.h"
#include "platform/cd/DiscToc.h"

#include <QCoreApplication>

namespace varnelo::cd {

namespace {
constexpr int ChunkSectors = 10;
// How long a read waits for a drive that is behind before giving up.
constexpr auto StallLimit = std::chrono::seconds(10);
} // namespace

TrackStreamer::TrackStreamer(std::shared_ptr<ReadFaults> faults) : faults_(std::move(faults)) {}

TrackStreamer::~TrackStreamer() {
    stop();
}

bool TrackStreamer::start(const QString &device, qint32 first, qint32 sectors, QString &error) {
    stop();
    DiscState state;
    disc_ = DiscHandle::open(device, state, error);
    if (!disc_)
        return false;
    ReadMode plain;
    plain.grabMode = 0;
    reader_ = std::make_unique<SectorReader>(*disc_, plain, faults_, &quit_);
    if (!reader_->open(error)) {
        reader_.reset();
        disc_.reset();
        return false;
    }
    first_ = first;
    sectors_ = sectors;
    seek(0);
    return true;
}

void TrackStreamer::stopThread() {
    quit_ = true;
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    quit_ = false;
}

void TrackStreamer::stop() {
    stopThread();
    reader_.reset();
    disc_.reset();
    ready_.clear();
}

void TrackStreamer::seek(qint32 sector) {
    if (!disc_)
        return;
    stopThread();
    sector = std::clamp<qint32>(sector, 0, sectors_);
    ready_.clear();
    readTo_ = sector;
    ended_ = sector >= sectors_;
    error_.clear();
    thread_ = std::thread([this, sector] { run(sector); });
}

void TrackStreamer::run(qint32 from) {
    std::vector<qint16> chunk(std::size_t(ChunkSectors) * SectorReader::SectorSamples);
    for (qint32 at = from; at < sectors_;) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return quit_ || ready_.size() < std::size_t(AheadSectors); });
            if (quit_)
                return;
        }
        const long want = std::min<long>(ChunkSectors, sectors_ - at);
        const long got = reader_->readPlain(first_ + at, want, chunk.data());
        std::lock_guard lock(mutex_);
        if (quit_)
            return;
        if (got <= 0) {
            error_ = QCoreApplication::translate("TrackStreamer", "The drive cannot read the track at %1.")
                         .arg(sectorTimeText(at));
            break;
        }
        for (long i = 0; i < got; ++i)
            ready_.emplace_back(chunk.begin() + i * SectorReader::SectorSamples,
                                chunk.begin() + (i + 1) * SectorReader::SectorSamples);
        at += qint32(got);
        readTo_ = at;
        changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

SampleBlock TrackStreamer::read(int count, int &sectorsRead) {
    sectorsRead = 0;
    SampleBlock out;
    if (!disc_)
        return out;
    std::unique_lock lock(mutex_);
    const bool ready = changed_.wait_for(
        lock, StallLimit, [&] { return ready_.size() >= std::size_t(count) || ended_ || !error_.isEmpty(); });
    if (ready_.empty() && !error_.isEmpty())
        throw Error(error_);
    if (!ready && ready_.empty())
        throw Error(QCoreApplication::translate("TrackStreamer", "The drive does not answer."));
    const int n = std::min<int>(count, int(ready_.size()));
    out.reserve(std::size_t(n) * SectorReader::SectorSamples);
    for (int i = 0; i < n; ++i) {
        for (qint16 v : ready_.front())
            out.push_back(Sample(v) * 65536);
        ready_.pop_front();
    }
    sectorsRead = n;
    lock.unlock();
    changed_.notify_all();
    return out;
}

} // namespace varnelo::cd
