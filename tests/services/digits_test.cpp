// Decimal digits: only '0' to '9', and a value only for digits alone within its limit.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "host/services/digits.h"

namespace {

using tavik::AllDigits;
using tavik::DigitsValue;

TEST(Digits, OnlyAsciiDigitsCount) {
    for (const char* text : {"0", "7", "0123456789", "000"}) EXPECT_TRUE(AllDigits(text)) << text;
    for (const char* text : {"", " 1", "1 ", "-1", "+1", "1a", "0x1", "١", "1.0", "²"})
        EXPECT_FALSE(AllDigits(text)) << text;
}

TEST(Digits, ValueWithinItsLimit) {
    struct TCase {
        std::string text;
        std::uint64_t most;
        std::optional<std::uint64_t> value;
    };
    const TCase cases[] = {
        {"0", 0, 0},
        {"1", 0, std::nullopt},
        {"007", 7, 7},
        {"8", 7, std::nullopt},
        {"255", 255, 255},
        {"256", 255, std::nullopt},
        {"2147483647", 2147483647, 2147483647},
        {"2147483648", 2147483647, std::nullopt},
        {"18446744073709551615", UINT64_MAX, UINT64_MAX},
        {"18446744073709551616", UINT64_MAX, std::nullopt},
        {"99999999999999999999999", UINT64_MAX, std::nullopt},
        {"", 10, std::nullopt},
        {"1 ", 10, std::nullopt},
        {"-1", 10, std::nullopt},
    };
    for (const TCase& c : cases) EXPECT_EQ(DigitsValue(c.text, c.most), c.value) << c.text << " bis " << c.most;
}

}  // namespace
