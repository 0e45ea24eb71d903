// tamek-erase-card: the privileged half of the card format. pkexec runs it
// as root under the polkit action org.tamek.Tamek.erase-card once the user
// has given the administrator password; only then, in this process, is the
// card compared with the one the user chose, so a card swapped in the reader
// during the prompt, or another stick that took the freed /dev name, is not
// erased. Arguments: see TKEraseHelperArguments.

#include "sdcard/TKCardFormat.h"
#include "sdcard/TKDiskSystem.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto request = TKParseEraseHelperArguments(arguments);
    if (!request) {
        std::fputs("usage: tamek-erase-card --device=/dev/NAME --size=BYTES --transport=usb --sectors=32|128 "
                   "[--model=] [--serial=] [--ptuuid=] [--uuid=] [--label=]\n",
            stderr);
        return kTKEraseUsage;
    }
    auto commands = std::make_shared<TKProcessRunner>();
    TKLocalDiskSystem disks(commands);
    const TKEraseResult result = TKEraseIfSameCard(*request, disks, *commands);
    if (!result.errors.empty())
        std::fprintf(stderr, "%s\n", result.errors.c_str());
    return result.status;
}
