#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Which sound output the player library starts with. libVLC, given an
// output it cannot open, retries it for every block of sound and the
// ALSA library prints each failure straight to stderr (thousands of lines
// a minute); so the output is checked once, before the library starts,
// and a machine without one plays silently.

// The module the library is started with; empty = libVLC's own choice.
struct TMKSoundOutputChoice {
    QByteArray module;
    bool fellBack = false; // the default could not be opened
};

inline constexpr char kTMKSilentSoundOutput[] = "adummy";

// `requested` (from TAMEK_AUDIO_OUTPUT) wins as it stands; otherwise the
// default is kept when `defaultOpens` says so, else the silent output.
// `defaultOpens` is only called when its answer matters.
[[nodiscard]] TMKSoundOutputChoice TMKChooseSoundOutput(const QByteArray& requested,
                                                        const std::function<bool()>& defaultOpens);

// True when a sound server listens on the socket `pulse/native` under
// `runtimeDir` (PulseAudio or PipeWire's replacement for it). A missing
// file, a stale socket or anything that is not a socket gives false,
// without blocking.
[[nodiscard]] bool TMKPulseServerListens(const QString& runtimeDir);

// True when ALSA's default playback device opens (tried without blocking,
// closed at once, ALSA's own error printing silenced meanwhile).
[[nodiscard]] bool TMKAlsaDefaultOpens();

// The real check: PULSE_SERVER set, a server under XDG_RUNTIME_DIR, or
// ALSA's default device; in the order libVLC tries its outputs.
[[nodiscard]] bool TMKDefaultSoundOutputOpens();

// Replaces the check used when the library starts (tests inject a failing
// device). Only effective before the first player or TMKTouchMediaLibrary().
void TMKSetSoundOutputProbe(std::function<bool()> probe);

// The output the running library was started with; empty = the default.
// Starts the library if it is not running yet.
[[nodiscard]] QByteArray TMKMediaLibrarySoundOutput();
