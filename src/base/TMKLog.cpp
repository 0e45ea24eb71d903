#include "base/TMKLog.h"

#include <cstdio>
#include <utility>

namespace {

bool& verboseFlag()
{
    static bool verbose = false;
    return verbose;
}

void writeToStderr(TMKLogChannel channel, std::string_view text)
{
    if (channel == TMKLogChannel::Debug && !verboseFlag())
        return;
    // Log lines are whole lines; error-stream text carries its own newline.
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (channel == TMKLogChannel::Log)
        std::fputc('\n', stderr);
}

TMKLogSink& sink()
{
    static TMKLogSink current = writeToStderr;
    return current;
}

} // namespace

void TMKSetLogSink(TMKLogSink newSink)
{
    sink() = std::move(newSink);
}

void TMKLog(std::string_view line)
{
    if (auto& s = sink())
        s(TMKLogChannel::Log, line);
}

void TMKLogError(std::string_view text)
{
    if (auto& s = sink())
        s(TMKLogChannel::ErrorStream, text);
}

void TMKLogDebug(std::string_view text)
{
    if (auto& s = sink())
        s(TMKLogChannel::Debug, text);
}

void TMKSetLogVerbose(bool verbose)
{
    verboseFlag() = verbose;
}

bool TMKLogVerbose()
{
    return verboseFlag();
}
