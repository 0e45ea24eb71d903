#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Reads ahead the telemetry of recordings about to be played (the next pair
// while one plays, or a whole catalogue) on a worker thread: each file's
// index is read and its records announced to the kernel, so the extraction
// that follows finds them in the page cache instead of waiting on the card.
class TMKTelemetryPrefetcher {
public:
    TMKTelemetryPrefetcher() = default;
    ~TMKTelemetryPrefetcher(); // drops what is queued and waits for the worker
    TMKTelemetryPrefetcher(const TMKTelemetryPrefetcher&) = delete;
    TMKTelemetryPrefetcher& operator=(const TMKTelemetryPrefetcher&) = delete;

    // Replaces what is still queued: the newest wish is what will play next.
    void prefetch(std::vector<std::string> paths);
    void waitUntilIdle() const;
    // Files read ahead so far, and the telemetry records announced for them.
    [[nodiscard]] std::size_t filesDone() const;
    [[nodiscard]] std::size_t rangesAnnounced() const;

private:
    void workerLoop();

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_idle;
    std::condition_variable m_wake;
    std::deque<std::string> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    std::size_t m_filesDone = 0;
    std::size_t m_rangesAnnounced = 0;
    std::thread m_worker;
};
