#include "platform/audiofile/SegmentPipeline.h"

namespace varnelo {

void SegmentPipeline::start(int threads, Work work) {
    stop();
    m_work = std::move(work);
    m_threads = threads < 1 ? 1 : threads;
    m_stop = false;
    for (int i = 0; i < m_threads; ++i)
        m_workers.emplace_back([this] { run(); });
}

void SegmentPipeline::submit(std::shared_ptr<Job> job) {
    std::lock_guard lock(m_mutex);
    m_inFlight.push_back(job);
    m_queue.push_back(std::move(job));
    m_wake.notify_one();
}

std::shared_ptr<SegmentPipeline::Job> SegmentPipeline::next(bool wait) {
    std::unique_lock lock(m_mutex);
    if (m_inFlight.empty())
        return nullptr;
    if (!m_inFlight.front()->done && !wait && m_inFlight.size() <= std::size_t(m_threads) + 1)
        return nullptr;
    m_doneSignal.wait(lock, [this] { return m_inFlight.front()->done; });
    auto job = m_inFlight.front();
    m_inFlight.pop_front();
    return job;
}

bool SegmentPipeline::empty() {
    std::lock_guard lock(m_mutex);
    return m_inFlight.empty();
}

void SegmentPipeline::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_wake.notify_all();
    }
    for (std::thread &t : m_workers)
        t.join();
    m_workers.clear();
    std::lock_guard lock(m_mutex);
    m_queue.clear();
    m_inFlight.clear();
}

void SegmentPipeline::run() {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            job = m_queue.front();
            m_queue.pop_front();
        }
        m_work(*job, m_stop);
        std::lock_guard lock(m_mutex);
        job->done = true;
        m_doneSignal.notify_all();
    }
}

} // namespace varnelo
