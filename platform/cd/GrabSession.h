#pragma once
#include "platform/cd/SectorReader.h"
#include "platform/sound/AudioTypes.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace varnelo {
class AudioFile;
}

namespace varnelo::cd {

// What became of one track's grab.
struct GrabResult {
    enum class Status {
        NotStarted, // never reached: the session was stopped before it
        Done,
        Stopped, // cut short by abort; its file is removed
        Failed,  // a read (under the stop action) or the output failed; its file is removed
    };
    Status status = Status::NotStarted;
    QString error;
    int readErrors = 0;                               // hard read errors paranoia read again
    int uncorrected = 0;                              // sectors it could not correct (silenced, cut or fatal)
    std::vector<std::pair<qint32, qint32>> badRanges; // track-relative first and last sector
    quint32 crc32 = 0;                                // of the audio bytes written
    quint32 arV1 = 0, arV2 = 0;
    qint64 frames = 0; // frames written
    // Test and copy (ReadMode::secure): the copy is what was written.
    enum class Copy {
        Single, // read once
        Ok,     // a second read gave the same audio
        Differ, // no read agreed with the copy
    };
    Copy copy = Copy::Single;
    quint32 testCrc32 = 0; // of the first read after the copy
    int reReads = 0;       // reads after a test that differed from the copy
};

// One track to grab into an output that is open and takes 44100 Hz stereo blocks.
struct GrabRequest {
    int track = 0; // index among the audio tracks
    qint32 start = 0;
    qint32 sectors = 0;
    qint32 discEnd = 0;        // the audio's lead-out: a read offset reads silence from there on
    bool endIsLeadOut = false; // no data track follows the audio: overread may go past discEnd
    bool firstAudio = false;
    bool lastAudio = false;
    QString path;
    std::unique_ptr<AudioFile> output;
};

// Grabs tracks of one disc: one thread reads the tracks in order, as a drive
// likes it, while encoder threads encode tracks already read (two tracks side
// by side on a two-core machine). What is read waits in memory up to a fixed
// budget, so a long disc does not take more memory than a short one.
// The events are called on the worker threads.
class GrabSession {
public:
    struct Events {
        std::function<void(int id)> started; // the track's reading began
        std::function<void(int id, double percent)> progress;
        std::function<void(int id, const GrabResult &)> finished;
        std::function<void()> ended; // every request has finished
    };
    static constexpr std::size_t BufferBudgetBytes = 24u << 20;

    GrabSession(QString device, ReadMode mode, std::shared_ptr<ReadFaults> faults, Events events,
                int encoders = 0);
    ~GrabSession(); // aborts and waits for the threads
    GrabSession(const GrabSession &) = delete;
    GrabSession &operator=(const GrabSession &) = delete;

    // Queues a track; returns its id (0, 1, ...), the order of grabbing.
    int submit(GrabRequest request);
    // No more requests: the session ends when the last one is done.
    void close();
    // Stops every grab within about a second: running tracks end Stopped,
    // queued ones NotStarted; their files are removed.
    void abort();
    // Waits for the threads to end (after close or abort).
    void wait();
    // Still taking requests: neither closed nor stopped.
    bool accepting();

private:
    struct Job;
    void startThreads();
    void readLoop();
    void encodeLoop();
    void readTrack(SectorReader *reader, Job &job, const QString &openError);
    struct Pass;
    // One read of the job's track; `keep` hands the audio to the encoder.
    Pass readPass(SectorReader &reader, Job &job, bool keep);
    // Test and copy: false when a stop cut the test short.
    bool verifyCopy(SectorReader &reader, Job &job, quint32 copyCrc);
    bool pushBlock(Job &job, std::vector<qint16> &&block);
    void encodeJob(Job &job);
    void finishUnstarted(Job &job);
    void threadDone();

    const QString device_;
    const ReadMode mode_;
    std::shared_ptr<ReadFaults> faults_;
    Events events_;
    int encoderCount_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Job>> jobs_;
    std::size_t nextToRead_ = 0;
    std::size_t nextToEncode_ = 0;
    std::size_t buffered_ = 0;
    bool closed_ = false;
    bool stopReading_ = false; // a track failed under the stop action
    std::atomic<bool> aborted_{false};
    int runningThreads_ = 0;
    std::vector<std::thread> threads_;
};

} // namespace varnelo::cd
