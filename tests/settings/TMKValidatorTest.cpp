#include "settings/TMKValidator.h"

#include <gtest/gtest.h>

TEST(Validator, GsensorThresholdTextsAndWhatTheyStore)
{
    const TMKValidationMessage outOfRange { "msg.gsensor_outofrange_fmt", { 0.05, 1.5 } };
    const TMKValidationMessage badFormat { "msg.input_value_invalid_format", {} };
    struct Case {
        const char* text;
        TMKValidationResult message;
        std::optional<int32_t> stored;
    };
    const Case cases[] = {
        { "", std::nullopt, 0 }, { "0.05", std::nullopt, 5 }, { "1.50", std::nullopt, 150 },
        { "0.04", outOfRange, std::nullopt }, { "1.51", outOfRange, std::nullopt }, { "-0.5", outOfRange, std::nullopt },
        { "abc", badFormat, std::nullopt }, { "g0.5", badFormat, std::nullopt }, { "0.5g", std::nullopt, 50 },
        { "  0.7", std::nullopt, 70 }, { "+0.3", std::nullopt, 30 },
        { "0.29", std::nullopt, 28 }, // truncated toward zero, as the camera's tool does
        { "0.30", std::nullopt, 30 }, { "1e-1", std::nullopt, 10 },
        // Non-finite numbers would pass both bounds and become undefined integers.
        { "nan", badFormat, std::nullopt }, { "inf", badFormat, std::nullopt },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TMKValidator::validateGsensorThreshold(c.text), c.message) << c.text;
        EXPECT_EQ(TMKValidator::gsensorThresholdHundredths(c.text), c.stored) << c.text;
    }
}

TEST(Validator, CardShareOfAtLeastTwentyPercent)
{
    EXPECT_EQ(TMKValidator::validateSDCardSizeRatio(19), TMKValidationMessage({ "msg.sdcard_ratio_too_low", {} }));
    EXPECT_EQ(TMKValidator::validateSDCardSizeRatio(-10), TMKValidationMessage({ "msg.sdcard_ratio_too_low", {} }));
    EXPECT_EQ(TMKValidator::validateSDCardSizeRatio(20), std::nullopt);
}

TEST(CarNumber, KeepsAtMostEightAsciiLettersAndDigits)
{
    EXPECT_EQ(TKCleanCarNumber("12-ga 3456 78"), "12ga3456");
    EXPECT_EQ(TKCleanCarNumber("AB"), "AB");
    EXPECT_EQ(TKCleanCarNumber("!?-. ,"), "");
    EXPECT_EQ(TKCleanCarNumber("abcdefghij"), "abcdefgh");
    EXPECT_EQ(TKCleanCarNumber("\xC3\x84X 1\xEF\xBC\x91"), "X1") << "non-ASCII letters and digits go";
    EXPECT_TRUE(TKIsValidCarNumber("AB12cd34"));
    EXPECT_TRUE(TKIsValidCarNumber(""));
    EXPECT_FALSE(TKIsValidCarNumber("AB 12"));
    EXPECT_FALSE(TKIsValidCarNumber("ABCDEFGHI"));
}
