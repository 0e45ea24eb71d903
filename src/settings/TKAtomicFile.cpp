#include "TKAtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string failure(const char* step, int error)
{
    return std::string(step) + ": " + std::strerror(error);
}

// Makes the rename itself durable. Some file systems (FAT through a few
// drivers) refuse fsync on a directory; the data is on the medium already.
void syncDirectory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

TKFileCalls TKFileCalls::system()
{
    return {
        [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); },
        [](int fd) { return ::fsync(fd); },
        [](const char* from, const char* to) { return std::rename(from, to); },
    };
}

std::optional<std::string> TKWriteFileAtomically(const std::string& path, const void* data,
    std::size_t size, const TKFileCalls& calls)
{
    const std::filesystem::path target(path);
    if (target.filename().empty())
        return failure("open", EISDIR);
    std::string dir = target.parent_path().string();
    if (dir.empty())
        dir = ".";

    // A leading dot keeps file managers and the camera from showing the
    // half-written file.
    std::string tempPath = dir + "/." + target.filename().string() + ".XXXXXX";
    std::vector<char> templ(tempPath.begin(), tempPath.end());
    templ.push_back('\0');
    const int fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0)
        return failure("open", errno);
    tempPath.assign(templ.data());

    auto abandon = [&](const char* step, int error) {
        ::close(fd);
        ::unlink(tempPath.c_str());
        return failure(step, error);
    };

    // mkostemp creates 0600; an existing settings file keeps its mode, a new
    // one gets the usual 0644. File systems without modes (FAT) refuse, which
    // does no harm.
    struct stat old {};
    const mode_t mode = (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ? (old.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);

    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = calls.write(fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon("write", errno);
        }
        if (n == 0)
            return abandon("write", ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    if (calls.fsync(fd) != 0)
        return abandon("fsync", errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        return failure("close", error);
    }
    if (calls.rename(tempPath.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        return failure("rename", error);
    }
    syncDirectory(dir);
    return std::nullopt;
}
