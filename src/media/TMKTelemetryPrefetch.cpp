#include "TMKTelemetryPrefetch.h"

#include "TMKBlackBoxData.h"

#include <exception>
#include <utility>

TMKTelemetryPrefetcher::~TMKTelemetryPrefetcher()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void TMKTelemetryPrefetcher::prefetch(std::vector<std::string> paths)
{
    std::lock_guard lock(m_mutex);
    m_queue.assign(std::make_move_iterator(paths.begin()), std::make_move_iterator(paths.end()));
    if (!m_worker.joinable())
        m_worker = std::thread([this] { workerLoop(); });
    m_wake.notify_all();
}

void TMKTelemetryPrefetcher::waitUntilIdle() const
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_busy && m_queue.empty(); });
}

std::size_t TMKTelemetryPrefetcher::filesDone() const
{
    std::lock_guard lock(m_mutex);
    return m_filesDone;
}

std::size_t TMKTelemetryPrefetcher::rangesAnnounced() const
{
    std::lock_guard lock(m_mutex);
    return m_rangesAnnounced;
}

void TMKTelemetryPrefetcher::workerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        const std::string path = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();

        // Reading ahead is only ever a gain in speed; a file that cannot be
        // read (or memory running out) is simply not read ahead.
        std::size_t ranges = 0;
        bool done = false;
        try {
            ranges = TMKBlackBoxData::prefetchTelemetry(path.c_str());
            done = true;
        } catch (const std::exception&) {
        }

        lock.lock();
        if (done) {
            ++m_filesDone;
            m_rangesAnnounced += ranges;
        }
        m_busy = false;
        m_idle.notify_all();
    }
}
