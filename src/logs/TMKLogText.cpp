#include "logs/TMKLogText.h"

#include <charconv>
#include <system_error>

std::string TMKFormatInteger(std::int64_t value, int width, bool zeroPad)
{
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    std::string text(digits, ec == std::errc() ? end : digits);
    if (static_cast<int>(text.size()) >= width)
        return text;
    const std::size_t pad = static_cast<std::size_t>(width) - text.size();
    if (!zeroPad)
        return std::string(pad, ' ') + text;
    // printf puts zeros after the sign.
    const std::size_t sign = (!text.empty() && text[0] == '-') ? 1 : 0;
    text.insert(sign, pad, '0');
    return text;
}

std::string TMKFormatFixed(double value, int precision, bool showPlus)
{
    // to_chars with a precision is printf's "%.*f" in the C locale: the same
    // digits and the same rounding of the exact binary value.
    char digits[400];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
    std::string text(digits, ec == std::errc() ? end : digits);
    if (showPlus && !text.empty() && text[0] != '-')
        text.insert(text.begin(), '+');
    return text;
}
