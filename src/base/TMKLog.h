#pragma once

#include <functional>
#include <string_view>

// Diagnostics of the core libraries. By default both channels go to stderr;
// tools and tests replace the sink to keep their own output clean.
enum class TMKLogChannel {
    Log,         // free-text diagnostic lines (the system log of the app)
    ErrorStream, // lines the extraction writes to the error stream
    Debug,       // tracing for developers: shown only when asked for (--verbose)
};

using TMKLogSink = std::function<void(TMKLogChannel, std::string_view)>;

// Installs a sink; an empty function silences everything. Not thread-safe:
// set it before starting work.
void TMKSetLogSink(TMKLogSink sink);
void TMKLog(std::string_view line);
void TMKLogError(std::string_view text);
void TMKLogDebug(std::string_view text);
// Whether the default sink prints Debug text (off by default).
void TMKSetLogVerbose(bool verbose);
[[nodiscard]] bool TMKLogVerbose();
