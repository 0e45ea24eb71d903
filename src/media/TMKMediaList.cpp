#include "media/TMKMediaList.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


namespace {

std::string_view lastComponent(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Name without extension; a leading dot is part of the name.
std::string_view stemOf(std::string_view component)
{
    const auto dot = component.rfind('.');
    return (dot == std::string_view::npos || dot == 0) ? component : component.substr(0, dot);
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

} // namespace

TMKMediaList::TMKMediaList() = default;

TMKMediaList::~TMKMediaList()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        ++m_generation;
        m_pendingPath.reset();
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void TMKMediaList::setDirectoryPath(std::optional<std::string> path)
{
    std::lock_guard lock(m_mutex);
    m_directoryPath = path;
    if (!path)
        return;
    ++m_generation;
    m_pendingPath = std::move(path);
    if (!m_worker.joinable())
        m_worker = std::thread([this] { workerLoop(); });
    m_wake.notify_all();
}

std::optional<std::string> TMKMediaList::directoryPath() const
{
    std::lock_guard lock(m_mutex);
    return m_directoryPath;
}

std::size_t TMKMediaList::count() const
{
    std::lock_guard lock(m_mutex);
    return m_published.medias.size();
}

std::shared_ptr<TMKMedia> TMKMediaList::mediaAtIndex(std::size_t index) const
{
    std::lock_guard lock(m_mutex);
    if (index >= m_published.medias.size())
        return nullptr;
    return m_published.medias[index];
}

std::string TMKMediaList::pairKeyForFileName(std::string_view fileName)
{
    std::string_view key = stemOf(lastComponent(fileName));
    if (endsWith(key, "_F") || endsWith(key, "_R"))
        key.remove_suffix(2);
    return std::string(key);
}

std::shared_ptr<TMKMediaPair> TMKMediaList::findMediaPairWithFileName(std::string_view fileName) const
{
    const std::string key = pairKeyForFileName(fileName);
    std::lock_guard lock(m_mutex);
    const auto found = m_published.pairs.find(key);
    return found == m_published.pairs.end() ? nullptr : found->second;
}

void TMKMediaList::addMedia(std::shared_ptr<TMKMedia> media)
{
    if (!media)
        return;
    std::lock_guard lock(m_mutex);
    m_published.add(std::move(media));
}

void TMKMediaList::Contents::add(std::shared_ptr<TMKMedia> media)
{
    medias.push_back(media);
    auto& pair = pairs[pairKeyForFileName(media->fileName())];
    if (!pair)
        pair = TMKMediaPair::mediaPair();
    if (media->isRearMedia())
        pair->rearMedia = std::move(media);
    else if (media->isFrontMedia())
        pair->frontMedia = std::move(media);
}

TMKMediaList::MediaArray TMKMediaList::medias() const
{
    std::lock_guard lock(m_mutex);
    return m_published.medias;
}

TMKMediaList::PairDictionary TMKMediaList::mediaPairDic() const
{
    std::lock_guard lock(m_mutex);
    return m_published.pairs;
}

void TMKMediaList::setDelegate(TMKMediaListDelegate* newDelegate)
{
    std::lock_guard lock(m_mutex);
    m_delegate = newDelegate;
}

TMKMediaListDelegate* TMKMediaList::delegate() const
{
    std::lock_guard lock(m_mutex);
    return m_delegate;
}

void TMKMediaList::waitUntilIdle() const
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_running && !m_pendingPath; });
}

bool TMKMediaList::isScanning() const
{
    std::lock_guard lock(m_mutex);
    return m_running || m_pendingPath.has_value();
}

bool TMKMediaList::_checkTimeByName(std::string_view name, std::size_t startPos)
{
    return name.size() >= startPos + 15;
}

std::shared_ptr<TMKMedia> TMKMediaList::createMediaByPath(std::string_view path)
{
    const std::string_view name = stemOf(lastComponent(path));
    if (name.size() != 22 && name.size() != 23 && name.size() != 24)
        return nullptr;
    static constexpr std::pair<std::string_view, std::size_t> kPrefixes[] = {
        {"alwa_", 5}, {"motion_", 7}, {"event_", 6}};
    for (const auto& [prefix, start] : kPrefixes) {
        if (name.substr(0, prefix.size()) == prefix) {
            if (!_checkTimeByName(name, start))
                return nullptr;
            break;
        }
    }
    if (!endsWith(name, "_F") && !endsWith(name, "_R"))
        return nullptr;
    return TMKMedia::mediaWithPath(path);
}

void TMKMediaList::eachDir(const std::string& folder, MediaArray& array)
{
    VisitedSet visited;
    walk(folder, array, visited, [] { return false; });
}

namespace {

// ".avi" in any case after a non-empty name: what lowerExtension() == "avi"
// accepts, without building the extension for every name in the tree.
bool hasAviExtension(std::string_view name)
{
    if (name.size() <= 4)
        return false;
    const std::string_view ext = name.substr(name.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'a' && (ext[2] | 0x20) == 'v' && (ext[3] | 0x20) == 'i';
}

} // namespace

bool TMKMediaList::walk(const std::string& folder, MediaArray& array, VisitedSet& visited,
                        const std::function<bool()>& abandoned)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return true;
    std::string path = folder;
    return walkOpened(fd, path, array, visited, abandoned);
}

// Takes `fd` (an open folder) and closes it. Returns false when the walk
// was abandoned. The folder is read through its descriptor and entries are
// told apart by the type the listing gives, so a file costs no system call
// of its own; only links (and file systems that give no type) are stat'ed.
bool TMKMediaList::walkOpened(int fd, std::string& folder, MediaArray& array, VisitedSet& visited,
                              const std::function<bool()>& abandoned)
{
    // A folder seen before, through a link or otherwise, is not walked again:
    // links that lead back into the tree would otherwise recurse forever.
    struct stat info {};
    if (::fstat(fd, &info) != 0
        || !visited.insert(DirKey{static_cast<unsigned long long>(info.st_dev),
                                  static_cast<unsigned long long>(info.st_ino)})
                .second) {
        ::close(fd);
        return true;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return true;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);

    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    const std::size_t folderLength = folder.size();

    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (abandoned())
            return false;

        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // Follows links: a link to a folder is walked, any other is a
            // row (a dangling one too).
            struct stat target {};
            if (::fstatat(::dirfd(dir), entry->d_name, &target, 0) == 0)
                isDirectory = S_ISDIR(target.st_mode);
        }

        if (isDirectory) {
            const int child = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
            if (child < 0)
                continue;
            folder.resize(folderLength);
            folder.append(name);
            const bool completed = walkOpened(child, folder, array, visited, abandoned);
            if (!completed)
                return false;
            continue;
        }
        // A FIFO, a device or a dangling link named like a recording is a
        // row too, so the user is told why it does not play (the health
        // check names it; nothing opens it).
        if (!hasAviExtension(name))
            continue;
        folder.resize(folderLength);
        folder.append(name);
        if (auto media = createMediaByPath(folder)) {
            array.push_back(std::move(media));
            if (array.size() >= kMaxMedias)
                break;
        }
    }
    return true;
}

void TMKMediaList::workerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_pendingPath.has_value(); });
        if (m_stopping)
            return;
        const std::string folder = std::move(*m_pendingPath);
        m_pendingPath.reset();
        const unsigned long long generation = m_generation;
        m_running = true;
        lock.unlock();

        // A newer request (or destruction) bumps the generation and so
        // abandons this walk at its next entry.
        const auto abandoned = [this, generation] {
            std::lock_guard check(m_mutex);
            return m_generation != generation;
        };

        Contents built;
        bool completed = false;
        // An exception leaving this thread would end the program; a scan
        // that fails (out of memory) ends like an unreadable folder, empty.
        try {
            MediaArray found;
            VisitedSet visited;
            completed = walk(folder, found, visited, abandoned);
            if (completed) {
                // compareDate() formats both dates on every call; the order is
                // the same when each date is formatted once up front.
                struct SortKey {
                    std::string date;
                    TMKMedia* media;
                };
                std::vector<SortKey> keys;
                keys.reserve(found.size());
                for (const auto& media : found)
                    keys.push_back({media->yyyymmddhhmiss(), media.get()});
                std::vector<std::size_t> order(found.size());
                for (std::size_t i = 0; i < order.size(); ++i)
                    order[i] = i;
                std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) {
                    const int byDate = keys[a].date.compare(keys[b].date);
                    if (byDate != 0)
                        return byDate < 0;
                    return keys[a].media->compareDate(*keys[b].media) < 0;
                });
                built.medias.reserve(found.size());
                built.pairs.reserve(found.size());
                for (const std::size_t i : order)
                    built.add(std::move(found[i]));
            }
        } catch (const std::exception&) {
            built = Contents{};
            completed = true;
        }

        TMKMediaListDelegate* toTell = nullptr;
        lock.lock();
        if (completed && m_generation == generation) {
            m_published = std::move(built);
            toTell = m_delegate;
        }
        lock.unlock();
        // Told outside the lock so the delegate may read the list; waiters
        // see the scan as finished only once the delegate has returned.
        if (toTell)
            toTell->mediaListChanged(this);
        lock.lock();
        m_running = false;
        m_idle.notify_all();
    }
}
