#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text helpers for what the tools and exports write from names and bytes
// that need not be UTF-8. Pure functions; any thread.

// The length of the valid UTF-8 sequence at `at` (1 for ASCII), or 0 when
// the bytes there are not one: overlong, surrogate, beyond U+10FFFF or cut
// off.
[[nodiscard]] std::size_t TMKUtf8SequenceLength(std::string_view text, std::size_t at);

// XML character data and attribute text: & < > " escaped; bytes that are
// not valid UTF-8, U+FFFE/U+FFFF and control characters XML does not allow
// become U+FFFD, so the document stays well-formed whatever a name holds.
[[nodiscard]] std::string TMKXmlText(std::string_view text);

// A CSV field as RFC 4180 wants it: quoted, with quotes doubled, only when
// it holds a comma, a quote or a line break.
[[nodiscard]] std::string TMKCsvField(std::string_view text);
