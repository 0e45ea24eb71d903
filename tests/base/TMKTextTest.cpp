#include "base/TMKText.h"

#include <gtest/gtest.h>

#include <string>

namespace {
const std::string kReplacement = "\xEF\xBF\xBD";
}

// Names come from the card as bytes; whatever they hold, the GPX and KML
// written from them must stay well-formed XML.
TEST(XmlText, EscapesAndReplacesWhatXmlCannotHold)
{
    EXPECT_EQ(TMKXmlText("a&b<c>d\"e'"), "a&amp;b&lt;c&gt;d&quot;e'");
    EXPECT_EQ(TMKXmlText("tab\tnew\nline"), "tab\tnew\nline");
    EXPECT_EQ(TMKXmlText(std::string("bell\x07" "esc\x1b", 9)), "bell" + kReplacement + "esc" + kReplacement);
    EXPECT_EQ(TMKXmlText(std::string("nul\0x", 5)), "nul" + kReplacement + "x");
    // Valid multi-byte text is kept as it is.
    EXPECT_EQ(TMKXmlText("M\xC3\xBCnchen \xE2\x82\xAC \xF0\x9F\x9A\x97"), "M\xC3\xBCnchen \xE2\x82\xAC \xF0\x9F\x9A\x97");
    // One replacement per bad byte; U+FFFE/U+FFFF are one character each.
    EXPECT_EQ(TMKXmlText("\xff\xfe"), kReplacement + kReplacement);
    EXPECT_EQ(TMKXmlText("\xEF\xBF\xBF|\xEF\xBF\xBE"), kReplacement + "|" + kReplacement);
    // Overlong, surrogate, beyond U+10FFFF, cut off at the end.
    EXPECT_EQ(TMKXmlText("\xC0\xAF"), kReplacement + kReplacement);
    EXPECT_EQ(TMKXmlText("\xED\xA0\x80"), kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(TMKXmlText("\xF4\x90\x80\x80"), kReplacement + kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(TMKXmlText("ok\xE2\x82"), "ok" + kReplacement + kReplacement);
    // A continuation byte missing in mid-sequence: the byte after it stays.
    EXPECT_EQ(TMKXmlText("\xE2\x28\xA1"), kReplacement + "(" + kReplacement);
}
