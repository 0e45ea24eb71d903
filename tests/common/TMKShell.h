#pragma once

// A shell line run as it stands, its redirections the test's own: the exit
// status, or -1 when it did not exit (a signal ended it).

#include <cstdlib>
#include <string>

#include <sys/wait.h>

inline int TMKShellStatus(const std::string& line)
{
    const int raw = std::system(line.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
