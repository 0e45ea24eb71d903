#pragma once

// Number texts of the log tables in the C locale whatever the process
// locale, rounded as printf rounds (the exact binary value, ties to even).

#include <cstdint>
#include <string>

// "%d" with a minimum width, padded with spaces or zeros.
[[nodiscard]] std::string TMKFormatInteger(std::int64_t value, int width = 0, bool zeroPad = false);
// "%.Nf", or "%+.Nf" with showPlus.
[[nodiscard]] std::string TMKFormatFixed(double value, int precision, bool showPlus = false);
