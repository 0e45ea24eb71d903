#include "viewer/player/TMKVlcInstance.h"

#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/player/TMKSoundOutput.h"

#include <vlc/vlc.h>

#include <QByteArray>
#include <QHash>
#include <QLoggingCategory>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <mutex>
#include <vector>

namespace {

Q_LOGGING_CATEGORY(lcVlc, "tamek.vlc", QtInfoMsg)

std::function<bool()>& soundOutputProbe()
{
    static std::function<bool()> probe = &TMKDefaultSoundOutputOpens;
    return probe;
}

QByteArray& chosenSoundOutput()
{
    static QByteArray module;
    return module;
}

// libVLC's log, on its own threads: warnings and errors go to the app's log
// as information, the rest is dropped. They are not the user's concern: the
// vmem output alone says "video output creation failed" while the picture
// plays fine, and a recording that really fails is told by the player's
// state. A normal run hides them; --verbose shows them. A failing output or
// decoder repeats the same few messages many times a second; each is logged
// the first time and then at its 10th, 100th, ... repeat, so the log grows
// with the logarithm.
class VlcLogRelay {
public:
    static void callback(void*, int level, const libvlc_log_t* context, const char* format, va_list args)
    {
        if (level < LIBVLC_WARNING)
            return;
        char text[1024];
        va_list copy;
        va_copy(copy, args);
        const int length = std::vsnprintf(text, sizeof text, format, copy);
        va_end(copy);
        if (length < 0)
            return;
        const char* module = nullptr;
        const char* file = nullptr;
        unsigned line = 0;
        libvlc_log_get_context(context, &module, &file, &line);
        instance().relay(QByteArray(module ? module : "libvlc"), QByteArray(text).trimmed());
    }

private:
    // Never destroyed: libVLC threads may still log while the program exits.
    static VlcLogRelay& instance()
    {
        static auto* relay = new VlcLogRelay;
        return *relay;
    }

    void relay(const QByteArray& module, const QByteArray& text)
    {
        std::lock_guard guard(m_lock);
        if (static_cast<std::size_t>(m_counts.size()) >= kMaxKept)
            m_counts.clear(); // bounded memory; a message may then be logged again
        const quint64 count = ++m_counts[module + '\0' + text];
        if (count == 1) {
            qCInfo(lcVlc, "%s: %s", module.constData(), text.constData());
        } else if (isPowerOfTen(count)) {
            qCInfo(lcVlc, "%s: %s (%llu times)", module.constData(), text.constData(),
                   static_cast<unsigned long long>(count));
        }
    }

    [[nodiscard]] static bool isPowerOfTen(quint64 n)
    {
        while (n >= 10 && n % 10 == 0)
            n /= 10;
        return n == 1;
    }

    static constexpr std::size_t kMaxKept = 512;
    std::mutex m_lock;
    QHash<QByteArray, quint64> m_counts;
};

} // namespace

libvlc_instance_t* TMKVlcInstance::shared()
{
    static libvlc_instance_t* instance = [] {
        std::vector<QByteArray> args{"--no-xlib", "--quiet", "--no-video-title-show", "--no-osd",
                                     "--no-stats", "--no-sub-autodetect-file", "--no-snapshot-preview",
                                     // Frames are copied into our buffers anyway; GPU decoding
                                     // would only add a download and fails on virtual displays.
                                     "--avcodec-hw=none"};
        const TMKSoundOutputChoice sound = TMKChooseSoundOutput(qgetenv("TAMEK_AUDIO_OUTPUT"), soundOutputProbe());
        if (sound.fellBack)
            std::fputs("tamek: the default sound output cannot be opened; playing without sound\n", stderr);
        if (!sound.module.isEmpty())
            args.push_back(QByteArray("--aout=") + sound.module);
        chosenSoundOutput() = sound.module;
        std::vector<const char*> argv;
        for (const auto& arg : args)
            argv.push_back(arg.constData());
        libvlc_instance_t* library = libvlc_new(static_cast<int>(argv.size()), argv.data());
        if (!library)
            qWarning("libVLC could not be started: %s", libvlc_errmsg() ? libvlc_errmsg() : "unknown error");
        else
            libvlc_log_set(library, &VlcLogRelay::callback, nullptr);
        return library;
    }();
    return instance;
}

void TMKTouchMediaLibrary()
{
    (void)TMKVlcInstance::shared();
}

void TMKSetSoundOutputProbe(std::function<bool()> probe)
{
    soundOutputProbe() = std::move(probe);
}

QByteArray TMKMediaLibrarySoundOutput()
{
    (void)TMKVlcInstance::shared();
    return chosenSoundOutput();
}
