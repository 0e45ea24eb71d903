#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A problem with the user's input: the string-table key of the message and,
// for format keys, the numbers to fill in (in order).
struct TMKValidationMessage {
    std::string key;
    std::vector<double> arguments;

    bool operator==(const TMKValidationMessage&) const = default;
};
using TMKValidationResult = std::optional<TMKValidationMessage>;

// The input rules the settings pages share. Results are returned, not shown:
// the settings window shows them.
class TMKValidator {
public:
    static constexpr double kGsensorThresholdMin = 0.05;
    static constexpr double kGsensorThresholdMax = 1.5;
    static constexpr int kSDCardRatioMin = 20;

    // Impact threshold text in g. Empty is valid (the page stores 0); the
    // number is read from the start of the text and whatever follows it is
    // ignored, so "0.5g" is 0.5. Bounds are inclusive.
    [[nodiscard]] static TMKValidationResult validateGsensorThreshold(std::string_view text);
    // A share of the card for one kind of recording, percent.
    [[nodiscard]] static TMKValidationResult validateSDCardSizeRatio(int percent);

    // The number at the start of a threshold text, read the same way in any
    // locale; nothing when the text does not start with a finite number.
    [[nodiscard]] static std::optional<double> leadingNumber(std::string_view text);
    // What a threshold field stores: hundredths of g truncated toward zero
    // (0.29 stores 28, as the camera's own tool does), 0 for an empty text.
    // Nothing for a text that does not pass validateGsensorThreshold.
    [[nodiscard]] static std::optional<int32_t> gsensorThresholdHundredths(std::string_view text);
};

// The car number as the camera accepts it: the ASCII letters and digits of the
// text in order, case kept, at most 8 of them; everything else is dropped.
[[nodiscard]] std::string TKCleanCarNumber(std::string_view text);
// True when the text is already a car number TKCleanCarNumber would keep as it is.
[[nodiscard]] bool TKIsValidCarNumber(std::string_view text);
