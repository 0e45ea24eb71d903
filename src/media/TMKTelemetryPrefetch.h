#pragma once

#include "media/TMKBlackBoxData.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Reads ahead the telemetry of recordings about to be played, on a worker
// thread of its own:
//  - prefetch: each file's index is read and its records announced to the
//    kernel, so the extraction that follows finds them in the page cache
//    instead of waiting on the card (a whole catalogue, say);
//  - readAhead: one recording's telemetry is extracted whole and kept until
//    take() asks for it (the next pair while one plays), so the start of
//    that pair does not wait for the card at all.
class TMKTelemetryPrefetcher {
public:
    using Extractor = std::function<TMKBlackBoxData(const std::string& path)>;

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

    // Extracts `path` with `extract` on the worker, before any announcing,
    // and keeps the result; replaces the recording read ahead before (whose
    // result, if still being read, is dropped when it arrives).
    void readAhead(std::string path, Extractor extract);
    // The telemetry read ahead for `path`, handed over once; waits while it
    // is being read. Nothing when `path` was not read ahead, its read had
    // not begun (the caller reads it sooner itself), or the read failed.
    // Any thread.
    [[nodiscard]] std::optional<TMKBlackBoxData> take(const std::string& path);
    // Drops what was read ahead: the files may have changed (another card).
    void forget();
    // Recordings extracted ahead so far, and those handed over by take().
    [[nodiscard]] std::size_t readsAhead() const;
    [[nodiscard]] std::size_t readsTaken() const;

private:
    enum class Whole { None, Queued, Running, Done };

    void workerLoop();
    void startWorker();

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_idle;
    std::condition_variable m_wake;
    std::deque<std::string> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    std::size_t m_filesDone = 0;
    std::size_t m_rangesAnnounced = 0;

    // The one recording read whole; the generation tells a result of a
    // replaced request from the current one.
    Whole m_whole = Whole::None;
    std::string m_wholePath;
    Extractor m_wholeExtract;
    std::optional<TMKBlackBoxData> m_wholeResult;
    unsigned long m_wholeGeneration = 0;
    std::size_t m_readsAhead = 0;
    std::size_t m_readsTaken = 0;

    std::thread m_worker;
};
