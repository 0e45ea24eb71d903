#include "base/TMKLog.h"
#include "media/TMKBlackBoxData.h"
#include "media/TMKNMEASentenceParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static const bool silenced = [] {
        TMKSetLogSink({});
        return true;
    }();
    (void)silenced;

    // The input as one sentence...
    TMKNMEASentenceParser parser;
    parser.parse(std::string_view(reinterpret_cast<const char*>(data), size));

    // ...and as the text of a GPS record, split into sentences in place.
    std::vector<char> text(data, data + size);
    TMKBlackBoxData blackBox;
    blackBox.ParseNMEA(text.data(), text.size());
    std::size_t starts = 0;
    for (std::size_t i = 0; i + 1 < size; ++i) {
        if (data[i] == '$' && data[i + 1] == 'G')
            ++starts;
    }
    // Never more stored fixes than "$G" sentence starts.
    if (blackBox.m_NMEAs.size() > starts)
        std::abort();
    return 0;
}
