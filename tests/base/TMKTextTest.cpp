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
}

TEST(XmlText, SequenceLengths)
{
    EXPECT_EQ(TMKUtf8SequenceLength("a", 0), 1u);
    EXPECT_EQ(TMKUtf8SequenceLength("\xC3\xBC", 0), 2u);
    EXPECT_EQ(TMKUtf8SequenceLength("\xE2\x82\xAC", 0), 3u);
    EXPECT_EQ(TMKUtf8SequenceLength("\xF0\x9F\x9A\x97", 0), 4u);
    EXPECT_EQ(TMKUtf8SequenceLength("\x80", 0), 0u);       // a continuation byte cannot lead
    EXPECT_EQ(TMKUtf8SequenceLength("\xE2\x28\xA1", 0), 0u); // broken continuation
    EXPECT_EQ(TMKUtf8SequenceLength("x\xC3", 1), 0u);      // cut off
}
