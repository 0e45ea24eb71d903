#include "sdcard/TKShellCommand.h"

#include <unistd.h>

std::optional<std::string> TKShellQuote(std::string_view word)
{
    if (word.find('\0') != std::string_view::npos)
        return std::nullopt;
    // Inside single quotes only the quote itself is special: close, add an
    // escaped quote, reopen.
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted.push_back(c);
    }
    quoted.push_back('\'');
    return quoted;
}

std::optional<std::string> TKShellCommandLine(std::span<const std::string> words)
{
    std::string line;
    for (const auto& word : words) {
        auto quoted = TKShellQuote(word);
        if (!quoted)
            return std::nullopt;
        if (!line.empty())
            line.push_back(' ');
        line += *quoted;
    }
    return line;
}

std::vector<std::string> TKShellScriptArgv(std::string_view commandLine, bool administrator, bool runningAsRoot)
{
    std::vector<std::string> argv;
    if (administrator && !runningAsRoot)
        argv.emplace_back(kTKPkexecPath);
    argv.emplace_back(kTKShellPath);
    argv.emplace_back("-c");
    argv.emplace_back(commandLine);
    return argv;
}

std::vector<std::string> TKShellScriptArgv(std::string_view commandLine, bool administrator)
{
    return TKShellScriptArgv(commandLine, administrator, ::geteuid() == 0);
}
