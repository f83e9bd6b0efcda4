#pragma once
// Worker threads for encoders that cut one stream into segments, encode them
// side by side and write them in their order.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace varnelo {

class SegmentPipeline {
public:
    struct Job {
        virtual ~Job() = default;
        bool done = false; // under the pipeline's lock
    };
    // Runs on a worker thread; `stop` is set when the pipeline is stopped.
    using Work = std::function<void(Job &job, const std::atomic<bool> &stop)>;

    ~SegmentPipeline() { stop(); }

    void start(int threads, Work work);
    void submit(std::shared_ptr<Job> job);
    // The oldest job submitted, once it is done; null when it is still under
    // way and `wait` is false. With more jobs under way than keep the workers
    // busy it waits regardless, so the memory stays that of a few segments.
    // Each job ends in bounded time (its audio is finite and stop() ends it).
    std::shared_ptr<Job> next(bool wait);
    bool empty();
    // Ends the workers; jobs not started are dropped.
    void stop();

private:
    void run();

    Work m_work;
    int m_threads = 1;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_doneSignal;
    std::atomic<bool> m_stop{false};
    std::deque<std::shared_ptr<Job>> m_queue;    // to encode
    std::deque<std::shared_ptr<Job>> m_inFlight; // submitted, not yet taken, in order
    std::vector<std::thread> m_workers;
};

} // namespace varnelo
