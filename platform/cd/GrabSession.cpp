#include "platform/cd/GrabSession.h"

#include "platform/audiofile/AudioFile.h"
#include "platform/cd/AccurateRip.h"
#include "platform/cd/CdDrive.h"
#include "platform/cd/DiscToc.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QtEndian>
#include <algorithm>

#include <zlib.h>

namespace varnelo::cd {

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("GrabSession", text);
}

// Blocks of about a third of a second go from the reader to an encoder, kept
// as the disc's own 16-bit samples until then: half the memory for the same
// audio read ahead.
constexpr int BlockSectors = 25;
using DiscBlock = std::vector<qint16>;

} // namespace

struct GrabSession::Job {
    int id = 0;
    GrabRequest request;
    std::deque<DiscBlock> blocks;
    bool readStarted = false;
    bool readDone = false;
    bool readComplete = false;          // every sector was read (none stopped it)
    std::atomic<bool> cancelled{false}; // the output failed: reading this track is pointless
    GrabResult result;                  // the reader fills the reading part
};

GrabSession::GrabSession(QString device, ReadMode mode, std::shared_ptr<ReadFaults> faults, Events events,
                         int encoders)
    : device_(std::move(device)), mode_(mode), faults_(std::move(faults)), events_(std::move(events)),
      encoderCount_(encoders > 0 ? encoders : std::clamp(QThread::idealThreadCount(), 1, 4)) {}

GrabSession::~GrabSession() {
    abort();
    wait();
}

int GrabSession::submit(GrabRequest request) {
    auto job = std::make_unique<Job>();
    job->request = std::move(request);
    int id;
    {
        std::lock_guard lock(mutex_);
        id = int(jobs_.size());
        job->id = id;
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
    if (threads_.empty())
        startThreads();
    return id;
}

void GrabSession::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
    if (threads_.empty()) {
        if (events_.ended)
            events_.ended();
    }
}

void GrabSession::abort() {
    {
        std::lock_guard lock(mutex_);
        aborted_ = true;
        closed_ = true;
    }
    changed_.notify_all();
}

bool GrabSession::accepting() {
    std::lock_guard lock(mutex_);
    return !closed_;
}

void GrabSession::wait() {
    for (std::thread &t : threads_)
        if (t.joinable())
            t.join();
}

void GrabSession::startThreads() {
    std::lock_guard lock(mutex_);
    runningThreads_ = 1 + encoderCount_;
    threads_.emplace_back([this] { readLoop(); });
    for (int i = 0; i < encoderCount_; ++i)
        threads_.emplace_back([this] { encodeLoop(); });
}

void GrabSession::threadDone() {
    bool last;
    {
        std::lock_guard lock(mutex_);
        last = --runningThreads_ == 0;
    }
    if (last && events_.ended)
        events_.ended();
}

void GrabSession::readLoop() {
    DiscState state;
    QString openError;
    std::unique_ptr<DiscHandle> disc = DiscHandle::open(device_, state, openError);
    std::unique_ptr<SectorReader> reader;
    if (disc) {
        reader = std::make_unique<SectorReader>(*disc, mode_, faults_, &aborted_);
        if (!reader->open(openError))
            reader.reset();
    }
    for (;;) {
        Job *job = nullptr;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(
                lock, [this] { return aborted_ || stopReading_ || nextToRead_ < jobs_.size() || closed_; });
            if (aborted_ || stopReading_ || nextToRead_ >= jobs_.size())
                break;
            job = jobs_[nextToRead_++].get();
            job->readStarted = true;
        }
        if (events_.started)
            events_.started(job->id);
        readTrack(reader.get(), *job, openError);
    }
    reader.reset();
    disc.reset();
    changed_.notify_all();
    threadDone();
}

struct GrabSession::Pass {
    bool failed = false;
    bool complete = false; // every sector was read and handed on
    QString error;
    int uncorrected = 0;
    std::vector<std::pair<qint32, qint32>> badRanges;
    quint32 crc32 = 0;
    quint32 arV1 = 0, arV2 = 0;
};

void GrabSession::readTrack(SectorReader *reader, Job &job, const QString &openError) {
    GrabResult &r = job.result;
    bool failed = false;
    bool complete = false;
    if (!reader) {
        failed = true;
        r.error = openError;
    } else {
        const int errorsBefore = reader->readErrors();
        Pass copy = readPass(*reader, job, true);
        failed = copy.failed;
        complete = copy.complete;
        r.error = copy.error;
        r.uncorrected = copy.uncorrected;
        r.badRanges = std::move(copy.badRanges);
        r.crc32 = copy.crc32;
        r.arV1 = copy.arV1;
        r.arV2 = copy.arV2;
        // The copy goes to the encoder while the test is read: the encoder
        // does not wait for the second read.
        if (mode_.secure && complete)
            complete = verifyCopy(*reader, job, copy.crc32);
        r.readErrors = reader->readErrors() - errorsBefore;
    }
    {
        std::lock_guard lock(mutex_);
        job.readDone = true;
        job.readComplete = complete;
        if (failed) {
            r.status = GrabResult::Status::Failed;
            if (mode_.errorAction == 0)
                stopReading_ = true;
        }
    }
    changed_.notify_all();
}

bool GrabSession::verifyCopy(SectorReader &reader, Job &job, quint32 copyCrc) {
    GrabResult &r = job.result;
    // A read with sectors that stayed unreadable (or stopped by them) agrees with nothing.
    const auto clean = [](const Pass &p) { return p.complete && p.uncorrected == 0; };
    const Pass test = readPass(reader, job, false);
    if (aborted_)
        return false;
    r.testCrc32 = test.crc32;
    if (clean(test) && test.crc32 == copyCrc) {
        r.copy = GrabResult::Copy::Ok;
        return true;
    }
    r.copy = GrabResult::Copy::Differ;
    // Read on until a read agrees with the copy. Two reads that agree with
    // each other and not with it say the copy is the odd one: reading more
    // would not mend the file.
    std::vector<quint32> seen;
    if (clean(test))
        seen.push_back(test.crc32);
    const int retries = std::clamp(mode_.retries, 1, 32);
    for (int i = 0; i < retries; ++i) {
        const Pass again = readPass(reader, job, false);
        if (aborted_)
            return false;
        ++r.reReads;
        if (!clean(again))
            continue;
        if (again.crc32 == copyCrc) {
            r.copy = GrabResult::Copy::Ok;
            return true;
        }
        if (std::find(seen.begin(), seen.end(), again.crc32) != seen.end())
            break;
        seen.push_back(again.crc32);
    }
    return true;
}

GrabSession::Pass GrabSession::readPass(SectorReader &reader, Job &job, bool keep) {
    Pass r;
    const GrabRequest &q = job.request;
    // With a read offset the track's samples lie `offset` samples further on:
    // each sector written is the end of one sector read and the start of
    // the next. What lies beyond the disc's ends is read as silence.
    const qint64 base = qint64(q.start) * FramesPerSector + mode_.offset;
    const qint32 firstSector =
        qint32(base >= 0 ? base / FramesPerSector : -((-base + FramesPerSector - 1) / FramesPerSector));
    const int shift = int(base - qint64(firstSector) * FramesPerSector);
    const qint32 readFirst = std::max(firstSector, 0);
    const qint32 readEnd =
        std::min(firstSector + q.sectors + (shift ? 1 : 0), q.discEnd > 0 ? q.discEnd : INT32_MAX);
    if (readEnd > readFirst)
        reader.startRange(readFirst, readEnd - readFirst);
    AccurateRipChecksum checksum(q.firstAudio, q.lastAudio);
    uLong crc = crc32(0, nullptr, 0);
    DiscBlock block;
    if (keep)
        block.reserve(std::size_t(BlockSectors) * SectorReader::SectorSamples);
    static const std::array<qint16, SectorReader::SectorSamples> silence{};
    std::array<qint16, SectorReader::SectorSamples> beyond{};
    const bool overread = mode_.overread && q.endIsLeadOut && q.discEnd > 0;
    const auto discSector = [&](qint32 sector, bool &bad) -> const qint16 * {
        bad = false;
        if (overread && sector >= q.discEnd)
            return reader.readBeyond(sector, beyond.data()) ? beyond.data() : silence.data();
        if (sector < readFirst || sector >= readEnd)
            return silence.data();
        const qint16 *d = reader.readNext(bad);
        return d ? d : silence.data();
    };
    std::array<qint16, SectorReader::SectorSamples> previous{}, joined{};
    bool previousBad = false;
    if (shift) {
        const qint16 *d = discSector(firstSector, previousBad);
        std::copy(d, d + SectorReader::SectorSamples, previous.begin());
    }
    qint32 s = 0;
    for (; s < q.sectors; ++s) {
        if (aborted_ || job.cancelled)
            break;
        bool bad = false;
        const qint16 *data = discSector(firstSector + s + (shift ? 1 : 0), bad);
        if (shift) {
            const std::size_t head = std::size_t(FramesPerSector - shift) * 2;
            std::copy(previous.begin() + std::ptrdiff_t(shift) * 2, previous.end(), joined.begin());
            std::copy(data, data + std::ptrdiff_t(shift) * 2, joined.begin() + std::ptrdiff_t(head));
            std::copy(data, data + SectorReader::SectorSamples, previous.begin());
            std::swap(bad, previousBad);
            bad = bad || previousBad;
            data = joined.data();
        }
        if (bad) {
            ++r.uncorrected;
            if (!r.badRanges.empty() && r.badRanges.back().second == s - 1)
                r.badRanges.back().second = s;
            else
                r.badRanges.emplace_back(s, s);
            if (mode_.errorAction == 0) {
                r.failed = true;
                r.error = tr("The sector at %1 could not be read correctly.").arg(sectorTimeText(s));
                break;
            }
            if (mode_.errorAction == 2)
                continue; // cut
            data = silence.data();
        }
        checksum.add(data, FramesPerSector);
        if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
            crc = crc32(crc, reinterpret_cast<const Bytef *>(data), SectorBytes);
        } else {
            std::array<qint16, SectorReader::SectorSamples> le;
            qToLittleEndian<qint16>(data, SectorReader::SectorSamples, le.data());
            crc = crc32(crc, reinterpret_cast<const Bytef *>(le.data()), SectorBytes);
        }
        if (!keep)
            continue;
        block.insert(block.end(), data, data + SectorReader::SectorSamples);
        if (block.size() >= std::size_t(BlockSectors) * SectorReader::SectorSamples) {
            if (!pushBlock(job, std::move(block)))
                break;
            block = {};
            block.reserve(std::size_t(BlockSectors) * SectorReader::SectorSamples);
        }
    }
    r.complete = s == q.sectors && !r.failed;
    if (r.complete && keep && !block.empty())
        r.complete = pushBlock(job, std::move(block));
    checksum.finish();
    r.crc32 = quint32(crc);
    r.arV1 = checksum.v1();
    r.arV2 = checksum.v2();
    return r;
}

bool GrabSession::pushBlock(Job &job, std::vector<qint16> &&block) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return buffered_ < BufferBudgetBytes || aborted_ || job.cancelled; });
    if (aborted_ || job.cancelled)
        return false;
    buffered_ += block.size() * sizeof(qint16);
    job.blocks.push_back(std::move(block));
    lock.unlock();
    changed_.notify_all();
    return true;
}

void GrabSession::encodeLoop() {
    for (;;) {
        Job *job = nullptr;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return nextToEncode_ < jobs_.size() || closed_; });
            if (nextToEncode_ >= jobs_.size())
                break;
            job = jobs_[nextToEncode_++].get();
        }
        encodeJob(*job);
    }
    changed_.notify_all();
    threadDone();
}

void GrabSession::finishUnstarted(Job &job) {
    GrabRequest &q = job.request;
    if (q.output) {
        q.output->CloseFile();
        q.output.reset();
    }
    QFile::remove(q.path);
    job.result.status = GrabResult::Status::NotStarted;
    if (events_.finished)
        events_.finished(job.id, job.result);
}

void GrabSession::encodeJob(Job &job) {
    GrabRequest &q = job.request;
    const qint64 expected = qint64(q.sectors) * FramesPerSector;
    QString writeError;
    qint64 frames = 0;
    int lastPercent = -1;
    bool dropped = false;   // blocks thrown away after Stop
    bool neverRead = false; // the reader will not come to this track
    bool complete = false;
    SampleBlock samples;
    for (;;) {
        DiscBlock block;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] {
                return !job.blocks.empty() || job.readDone ||
                       (!job.readStarted && (aborted_ || stopReading_));
            });
            if (job.blocks.empty()) {
                neverRead = !job.readDone;
                complete = job.readComplete;
                break;
            }
            block = std::move(job.blocks.front());
            job.blocks.pop_front();
            buffered_ -= block.size() * sizeof(qint16);
            if (aborted_)
                dropped = true;
        }
        changed_.notify_all();
        if (dropped || !writeError.isEmpty())
            continue; // drain what was read
        samples.resize(block.size());
        std::transform(block.begin(), block.end(), samples.begin(),
                       [](qint16 v) { return Sample(v) * 65536; });
        if (!q.output->WriteSamples(samples)) {
            writeError = q.output->ErrorText();
            job.cancelled = true;
            continue;
        }
        frames += qint64(block.size() / 2);
        const int percent = expected > 0 ? int(std::min<qint64>(frames * 100 / expected, 99)) : 0;
        if (percent != lastPercent && events_.progress) {
            lastPercent = percent;
            events_.progress(job.id, percent);
        }
    }
    if (neverRead) {
        finishUnstarted(job);
        return;
    }
    q.output->CloseFile();
    if (writeError.isEmpty() && q.output->ErrorCode() != AudioFile::NoError)
        writeError = q.output->ErrorText();
    q.output.reset();

    // The reader is done with the result: readDone was seen under the lock.
    GrabResult &r = job.result;
    r.frames = frames;
    if (r.status == GrabResult::Status::Failed) {
        // the reader said why
    } else if (!writeError.isEmpty()) {
        r.status = GrabResult::Status::Failed;
        r.error = writeError;
    } else if (dropped || !complete) {
        r.status = GrabResult::Status::Stopped;
    } else {
        r.status = GrabResult::Status::Done;
    }
    if (r.status != GrabResult::Status::Done) {
        // A cut or failed track must not stay behind looking whole.
        QFile::remove(q.path);
    } else if (events_.progress) {
        events_.progress(job.id, 100);
    }
    if (events_.finished)
        events_.finished(job.id, r);
}

} // namespace varnelo::cd
