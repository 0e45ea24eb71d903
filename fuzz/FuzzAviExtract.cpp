#include "TMKBlackBoxData.h"
#include "TMKLog.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static const bool silenced = [] {
        TMKSetLogSink({});
        return true;
    }();
    (void)silenced;

    TMKBlackBoxData blackBox;
    blackBox.ExtractStreamInformationFromBuffer(data, size);

    // What the display relies on: one sample per raw record, and the lined-up
    // list only ever holds records that were read.
    if (blackBox.m_GSensors.size() != blackBox.m_vGSensorData.size())
        std::abort();
    if (blackBox.m_vGSensorData.empty() && !blackBox.m_vGpsData.empty())
        std::abort();
    return 0;
}
