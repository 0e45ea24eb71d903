#pragma once

#include "media/TMKGpsData.h"

#include <string_view>
#include <vector>

// Reads NMEA 0183 sentences one at a time into the running fix m_Current.
// Checksums are deliberately not verified: stored recordings carry
// sentences whose checksum does not match, and their data is still real.
class TMKNMEASentenceParser {
public:
    using Fields = std::vector<std::string_view>;

    // One sentence starting with '$' (NUL-terminated, or its text). True when
    // it was of a handled type and was read.
    bool parse(const char* sentence);
    bool parse(std::string_view sentence);

    // Each handler reads only the fields that are there: a missing field is
    // taken as an empty one.
    bool parseGPRMC(const Fields& fields);
    bool parseGPGGA(const Fields& fields);
    bool parseGNGSA(const Fields& fields);
    bool parseGNGNS(const Fields& fields);

    void clear() { m_Current.clear(); }

    TMKGpsData m_Current;
};

// The leading-number rules of the sentence fields: leading blanks skipped,
// an optional sign, digits and (for decimals) a fraction; anything else 0.
[[nodiscard]] float TMKNmeaFloat(std::string_view field);
[[nodiscard]] int32_t TMKNmeaInt(std::string_view field);
