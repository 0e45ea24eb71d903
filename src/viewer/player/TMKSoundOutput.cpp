#include "viewer/player/TMKSoundOutput.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

TMKSoundOutputChoice TMKChooseSoundOutput(const QByteArray& requested, const std::function<bool()>& defaultOpens)
{
    if (!requested.isEmpty())
        return {requested, false};
    if (defaultOpens && defaultOpens())
        return {};
    return {QByteArray(kTMKSilentSoundOutput), true};
}

namespace {

bool socketListens(const QByteArray& path)
{
    // A FIFO or a plain file at the path must not be opened: it could block.
    struct stat info {};
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<size_t>(path.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    // A full backlog still means someone listens.
    const bool listens = result == 0 || errno == EAGAIN || errno == EINPROGRESS;
    ::close(fd);
    return listens;
}

// ALSA's error handler type; the one installed prints nothing.
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

} // namespace

bool TMKPulseServerListens(const QString& runtimeDir)
{
    if (runtimeDir.isEmpty())
        return false;
    return socketListens(QFile::encodeName(QDir(runtimeDir).filePath(QStringLiteral("pulse/native"))));
}

bool TMKAlsaDefaultOpens()
{
    // Loaded at run time: libVLC's ALSA module needs the library anyway,
    // and without it ALSA cannot be the output.
    static void* alsa = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!alsa)
        return false;
    using PcmOpen = int (*)(void**, const char*, int, int);
    using PcmClose = int (*)(void*);
    using SetHandler = int (*)(AlsaErrorHandler);
    auto pcmOpen = reinterpret_cast<PcmOpen>(::dlsym(alsa, "snd_pcm_open"));
    auto pcmClose = reinterpret_cast<PcmClose>(::dlsym(alsa, "snd_pcm_close"));
    auto setHandler = reinterpret_cast<SetHandler>(::dlsym(alsa, "snd_lib_error_set_handler"));
    if (!pcmOpen || !pcmClose)
        return false;
    if (setHandler)
        setHandler(&silentAlsaError);
    constexpr int kPlayback = 0;    // SND_PCM_STREAM_PLAYBACK
    constexpr int kNonBlocking = 1; // SND_PCM_NONBLOCK
    void* pcm = nullptr;
    const int result = pcmOpen(&pcm, "default", kPlayback, kNonBlocking);
    if (result == 0 && pcm)
        pcmClose(pcm);
    if (setHandler)
        setHandler(nullptr); // ALSA's own printing again for real failures later
    return result == 0;
}

bool TMKDefaultSoundOutputOpens()
{
    const QByteArray server = qgetenv("PULSE_SERVER");
    if (!server.isEmpty()) {
        // Only a local socket is checked; a network server is taken as given.
        if (server.startsWith("unix:"))
            return socketListens(server.mid(5)) || TMKAlsaDefaultOpens();
        if (!server.startsWith('/'))
            return true;
        return socketListens(server) || TMKAlsaDefaultOpens();
    }
    return TMKPulseServerListens(qEnvironmentVariable("XDG_RUNTIME_DIR")) || TMKAlsaDefaultOpens();
}
