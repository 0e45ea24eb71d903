#include "settings/TMKValidator.h"

#include "settings/TKSettingFile.h"

#include <charconv>
#include <cmath>

namespace {

bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isCarNumberCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

std::optional<double> TMKValidator::leadingNumber(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size() && isCSpace(text[start]))
        ++start;
    // from_chars takes a minus sign but not a plus sign.
    if (start < text.size() && text[start] == '+' && (start + 1 == text.size() || text[start + 1] != '-'))
        ++start;
    double value = 0;
    const char* first = text.data() + start;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error != std::errc() || end == first)
        return std::nullopt;
    // "nan" would pass every range test and then become an undefined integer.
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

TMKValidationResult TMKValidator::validateGsensorThreshold(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    const auto value = leadingNumber(text);
    if (!value)
        return TMKValidationMessage { "msg.input_value_invalid_format", {} };
    if (*value < kGsensorThresholdMin || *value > kGsensorThresholdMax)
        return TMKValidationMessage { "msg.gsensor_outofrange_fmt", { kGsensorThresholdMin, kGsensorThresholdMax } };
    return std::nullopt;
}

TMKValidationResult TMKValidator::validateSDCardSizeRatio(int percent)
{
    if (percent < kSDCardRatioMin)
        return TMKValidationMessage { "msg.sdcard_ratio_too_low", {} };
    return std::nullopt;
}

std::optional<int32_t> TMKValidator::gsensorThresholdHundredths(std::string_view text)
{
    if (text.empty())
        return 0;
    if (validateGsensorThreshold(text))
        return std::nullopt;
    return static_cast<int32_t>(std::trunc(*leadingNumber(text) * 100.0));
}

std::string TKCleanCarNumber(std::string_view text)
{
    std::string kept;
    for (const char c : text) {
        if (kept.size() == kTKPlateNumberSize)
            break;
        if (isCarNumberCharacter(c))
            kept.push_back(c);
    }
    return kept;
}

bool TKIsValidCarNumber(std::string_view text)
{
    return TKCleanCarNumber(text) == text;
}
