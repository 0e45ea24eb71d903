#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The pure half of running a disk command: how the command line is built.
// Running it (and showing the password prompt's outcome) is the app's.

// The word in single quotes for /bin/sh, so spaces, quotes, "$", "`" and ";"
// in a device name or mount point stay literal. Nothing for a word holding a
// NUL byte, which no shell argument can carry.
[[nodiscard]] std::optional<std::string> TKShellQuote(std::string_view word);

// The words quoted and joined with blanks; nothing when one cannot be quoted.
[[nodiscard]] std::optional<std::string> TKShellCommandLine(std::span<const std::string> words);

// The program and arguments that run a command line through /bin/sh. With
// administrator rights and not already root, pkexec asks for the password
// first (the desktop's own prompt); as root the line runs directly.
[[nodiscard]] std::vector<std::string> TKShellScriptArgv(std::string_view commandLine, bool administrator,
    bool runningAsRoot);
// The same for the running process (geteuid).
[[nodiscard]] std::vector<std::string> TKShellScriptArgv(std::string_view commandLine, bool administrator);

inline constexpr std::string_view kTKPkexecPath = "/usr/bin/pkexec";
inline constexpr std::string_view kTKShellPath = "/bin/sh";
