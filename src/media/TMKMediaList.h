#pragma once

#include "media/TMKMedia.h"

#include <condition_variable>
#include <functional>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class TMKMediaList;

class TMKMediaListDelegate {
public:
    virtual ~TMKMediaListDelegate() = default;
    // Called once at the end of every scan whose result was published, on
    // the scan's worker thread.
    virtual void mediaListChanged(TMKMediaList* mediaList) = 0;
};

// The catalogue of the recordings under one folder, one row per recording,
// oldest first, filed into front/rear pairs.
//
// Scans run on a worker thread and build their result aside; readers only
// ever see a complete list. A scan started while another runs wins: the
// older one is abandoned and its result never published.
class TMKMediaList {
public:
    static constexpr std::size_t kMaxMedias = 15000;

    using MediaArray = std::vector<std::shared_ptr<TMKMedia>>;
    using PairDictionary = std::unordered_map<std::string, std::shared_ptr<TMKMediaPair>>;

    static std::unique_ptr<TMKMediaList> mediaList() { return std::make_unique<TMKMediaList>(); }
    TMKMediaList();
    ~TMKMediaList(); // abandons a running scan and waits for its worker
    TMKMediaList(const TMKMediaList&) = delete;
    TMKMediaList& operator=(const TMKMediaList&) = delete;

    // A path starts a scan and returns at once; no path only clears the
    // stored folder, leaving the list as it is.
    void setDirectoryPath(std::optional<std::string> path);
    [[nodiscard]] std::optional<std::string> directoryPath() const;

    [[nodiscard]] std::size_t count() const;
    [[nodiscard]] std::shared_ptr<TMKMedia> mediaAtIndex(std::size_t index) const;
    [[nodiscard]] std::shared_ptr<TMKMediaPair> findMediaPairWithFileName(std::string_view fileName) const;
    void addMedia(std::shared_ptr<TMKMedia> media);

    // Snapshots of the published state.
    [[nodiscard]] MediaArray medias() const;
    [[nodiscard]] PairDictionary mediaPairDic() const;

    void setDelegate(TMKMediaListDelegate* delegate);
    [[nodiscard]] TMKMediaListDelegate* delegate() const;

    // Blocks until no scan is pending or running.
    void waitUntilIdle() const;
    [[nodiscard]] bool isScanning() const;

    // The acceptance test on a file's name; nothing for a refused name.
    [[nodiscard]] static std::shared_ptr<TMKMedia> createMediaByPath(std::string_view path);
    [[nodiscard]] static bool _checkTimeByName(std::string_view name, std::size_t startPos);
    [[nodiscard]] static std::string pairKeyForFileName(std::string_view fileName);

    // The recursive walk, standalone: appends accepted recordings of the
    // tree under `folder` to `array`, unsorted, in file-system order.
    static void eachDir(const std::string& folder, MediaArray& array);

private:
    struct Contents {
        MediaArray medias;
        PairDictionary pairs;
        void add(std::shared_ptr<TMKMedia> media);
    };
    struct DirKey {
        unsigned long long device;
        unsigned long long inode;
        bool operator==(const DirKey&) const = default;
    };
    struct DirKeyHash {
        std::size_t operator()(const DirKey& key) const noexcept
        {
            return std::hash<unsigned long long>()(key.inode * 31u + key.device);
        }
    };
    using VisitedSet = std::unordered_set<DirKey, DirKeyHash>;

    static bool walk(const std::string& folder, MediaArray& array, VisitedSet& visited,
                     const std::function<bool()>& abandoned);
    static bool walkOpened(int fd, std::string& folder, MediaArray& array, VisitedSet& visited,
                           const std::function<bool()>& abandoned);
    void workerLoop();

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_idle;
    std::condition_variable m_wake;
    Contents m_published;
    std::optional<std::string> m_directoryPath;
    TMKMediaListDelegate* m_delegate = nullptr;

    // Scan requests: each request bumps the generation; a scan whose
    // generation is no longer current stops and is dropped.
    unsigned long long m_generation = 0;
    std::optional<std::string> m_pendingPath;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_worker;
};
