#include "base/TMKLog.h"
#include "media/TMKBlackBoxData.h"

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
    // Memory stays proportional to the input: the lists are bounded by the
    // records read, and those by the bytes of the input.
    const std::size_t records = blackBox.m_vGSensorData.size() + blackBox.m_vGpsRecords.size();
    if (records * sizeof(_AVI_GSENSOR_DATA_T) > size
        || blackBox.m_vGpsData.size() > TMKBlackBoxData::kLineUpFactor * records
        || blackBox.m_NMEAs.size() > TMKBlackBoxData::kMaxFixesPerRecord * blackBox.m_vGpsRecords.size())
        std::abort();
    return 0;
}
