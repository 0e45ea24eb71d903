#include "media/TMKTelemetryPrefetch.h"

#include <exception>
#include <utility>

TMKTelemetryPrefetcher::~TMKTelemetryPrefetcher()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
        if (m_whole == Whole::Queued)
            m_whole = Whole::None;
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void TMKTelemetryPrefetcher::startWorker()
{
    if (!m_worker.joinable())
        m_worker = std::thread([this] { workerLoop(); });
    m_wake.notify_all();
}

void TMKTelemetryPrefetcher::prefetch(std::vector<std::string> paths)
{
    std::lock_guard lock(m_mutex);
    m_queue.assign(std::make_move_iterator(paths.begin()), std::make_move_iterator(paths.end()));
    startWorker();
}

void TMKTelemetryPrefetcher::waitUntilIdle() const
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_busy && m_queue.empty() && m_whole != Whole::Queued; });
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

void TMKTelemetryPrefetcher::readAhead(std::string path, Extractor extract)
{
    std::lock_guard lock(m_mutex);
    ++m_wholeGeneration;
    m_wholePath = std::move(path);
    m_wholeExtract = std::move(extract);
    m_wholeResult.reset();
    m_whole = Whole::Queued;
    m_idle.notify_all(); // a take() waiting for the replaced read goes its own way
    startWorker();
}

std::optional<TMKBlackBoxData> TMKTelemetryPrefetcher::take(const std::string& path)
{
    std::unique_lock lock(m_mutex);
    if (m_whole == Whole::None || m_wholePath != path)
        return std::nullopt;
    if (m_whole == Whole::Queued) {
        // Not begun: reading it here is sooner than waiting for the worker.
        m_whole = Whole::None;
        m_idle.notify_all();
        return std::nullopt;
    }
    const unsigned long generation = m_wholeGeneration;
    m_idle.wait(lock, [&] { return m_whole != Whole::Running || m_wholeGeneration != generation; });
    if (m_whole != Whole::Done || m_wholeGeneration != generation || !m_wholeResult)
        return std::nullopt;
    std::optional<TMKBlackBoxData> result = std::exchange(m_wholeResult, std::nullopt);
    m_whole = Whole::None;
    ++m_readsTaken;
    return result;
}

void TMKTelemetryPrefetcher::forget()
{
    std::lock_guard lock(m_mutex);
    ++m_wholeGeneration;
    m_whole = Whole::None;
    m_wholePath.clear();
    m_wholeExtract = nullptr;
    m_wholeResult.reset();
    m_idle.notify_all();
}

std::size_t TMKTelemetryPrefetcher::readsAhead() const
{
    std::lock_guard lock(m_mutex);
    return m_readsAhead;
}

std::size_t TMKTelemetryPrefetcher::readsTaken() const
{
    std::lock_guard lock(m_mutex);
    return m_readsTaken;
}

void TMKTelemetryPrefetcher::workerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty() || m_whole == Whole::Queued; });
        if (m_stopping)
            return;

        // Reading ahead is only ever a gain in speed; a file that cannot be
        // read (or memory running out) is simply not read ahead.
        if (m_whole == Whole::Queued) {
            m_whole = Whole::Running;
            const unsigned long generation = m_wholeGeneration;
            const std::string path = m_wholePath;
            const Extractor extract = m_wholeExtract;
            m_busy = true;
            lock.unlock();

            std::optional<TMKBlackBoxData> result;
            try {
                if (extract)
                    result = extract(path);
            } catch (...) {
                result.reset();
            }

            lock.lock();
            if (generation == m_wholeGeneration) {
                m_wholeResult = std::move(result);
                m_whole = m_wholeResult ? Whole::Done : Whole::None;
                if (m_wholeResult)
                    ++m_readsAhead;
            }
            m_busy = false;
            m_idle.notify_all();
            continue;
        }

        const std::string path = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();

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
