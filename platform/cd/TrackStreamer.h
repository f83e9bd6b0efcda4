#pragma once
#include "platform/cd/SectorReader.h"
#include "platform/sound/AudioTypes.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace varnelo::cd {

class DiscHandle;

// Reads one track for playback a little ahead of the player on a thread of
// its own, so that a slow drive does not stall the window.
class TrackStreamer {
public:
    // Sectors read ahead at most (two seconds).
    static constexpr int AheadSectors = 150;

    TrackStreamer(std::shared_ptr<ReadFaults> faults);
    ~TrackStreamer();
    TrackStreamer(const TrackStreamer &) = delete;
    TrackStreamer &operator=(const TrackStreamer &) = delete;

    // Opens `device` and starts reading [first, first + sectors).
    bool start(const QString &device, qint32 first, qint32 sectors, QString &error);
    // Goes on from `sector` of the track.
    void seek(qint32 sector);
    void stop();
    bool active() const { return disc_ != nullptr; }

    // Up to `count` sectors of 32-bit stereo samples; waits while the reader is
    // behind. Fewer at the end of the track, none after it. Throws
    // varnelo::Error when the drive cannot read on.
    SampleBlock read(int count, int &sectorsRead);

private:
    void run(qint32 from);
    void stopThread();

    std::shared_ptr<ReadFaults> faults_;
    std::unique_ptr<DiscHandle> disc_;
    std::unique_ptr<SectorReader> reader_;
    qint32 first_ = 0, sectors_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<qint16>> ready_; // one sector each
    qint32 readTo_ = 0;                     // track-relative sector after the last one read
    bool ended_ = false;
    QString error_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

} // namespace varnelo::cd
