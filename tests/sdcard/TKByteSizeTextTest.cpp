#include "sdcard/TKUSBDiskEntity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

TEST(ByteSizeText, WorkedValuesAndRoundingEdges)
{
    const std::pair<uint64_t, const char*> cases[] = {
        { 0, "0 B" }, { 1023, "1023 B" }, { 1024, "1.0 kB" }, { 1536, "1.5 kB" }, { 1973, "1.9 kB" },
        { 2047, "2.0 kB" }, { 10240, "10 kB" }, { 10752, "10 kB" }, { 10753, "11 kB" }, { 1048575, "1.0 MB" },
        { 7948206080, "7.4 GB" }, { 31914983424, "30 GB" }, { 128043712512, "119 GB" },
        { 9 * 1024 + 950, "10 kB" }, // a remainder of 950 or more is the next whole number
        { 11 * 1024 + 512, "12 kB" }, // a tie rounds to even
        { (10 * 1024 + 512) * 1024 + 1, "11 MB" }, // a remainder in an earlier division breaks the tie upward
        { 1024 + 150, "1.2 kB" }, { 1024 + 250, "1.2 kB" }, // tenths: ties to even as well
        { 1022 * 1024 + 512, "1022 kB" }, { 1023 * 1024 + 511, "1023 kB" }, { 1023 * 1024 + 512, "1.0 MB" },
        { uint64_t(1) << 40, "1.0 TB" }, { UINT64_MAX, "16 EB" },
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(TKByteSizeText(bytes), text) << bytes;
}

// Six characters at most, except that 1000 to 1023 of a unit that do not
// round up to the next one keep their four digits ("1000 kB").
TEST(ByteSizeText, SixCharactersBarFourDigitCounts)
{
    for (int shift = 0; shift < 64; ++shift) {
        const uint64_t base = uint64_t(1) << shift;
        for (const uint64_t bytes : { base - 1, base, base + 7, base * 10 - 1, base * 1000 + 1 }) {
            const std::string text = TKByteSizeText(bytes);
            const bool fourDigits = text.size() == 7 && text.substr(0, 2) == "10" && text[4] == ' ';
            EXPECT_TRUE(text.size() <= 6 || fourDigits) << bytes << " -> " << text;
        }
    }
}
