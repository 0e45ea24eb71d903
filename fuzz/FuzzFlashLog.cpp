#include "FuzzDriveLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    TMKFuzzDriveLog(data, size, TMKLogKind::FlashData);
    return 0;
}
