// The decimal reader: the atoi-like and digits-only starts, saturation, whole-text parsing.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/Decimal.h"

namespace kv {
namespace {

TEST(Decimal, ReadsTheLeadingNumber) {
    struct Case {
        std::string text;
        int32_t atoiStyle;
        int32_t digitsOnly;
    } const cases[] = {
        {"", 0, 0},
        {"abc", 0, 0},
        {"16.0", 16, 16},
        {"80", 80, 80},
        {"  \t\r\n\v\f42x", 42, 0},
        {"-17", -17, 0},
        {"+17", 17, 0},
        {"- 5", 0, 0},
        {"+-5", 0, 0},
        {"007", 7, 7},
        {"2147483647", INT32_MAX, INT32_MAX},
        {"2147483648", INT32_MAX, INT32_MAX},
        {"-2147483648", INT32_MIN, 0},
        {"-2147483649", INT32_MIN, 0},
        {"99999999999999999999999999999999999999", INT32_MAX, INT32_MAX},
        {"-99999999999999999999999999999999999999", INT32_MIN, 0},
        {std::string("12\0"
                     "34",
                     5),
         12, 12},
        {"\xEC\x84\x9C"
         "1",
         0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadDecimal(c.text), c.atoiStyle) << '"' << c.text << '"';
        EXPECT_EQ(ReadDecimal(c.text, DecimalStart::DigitsOnly), c.digitsOnly) << '"' << c.text << '"';
    }
}

TEST(Decimal, ParsesWholeTextWithinRange) {
    struct Case {
        std::string text;
        int64_t min, max;
        bool ok;
        int64_t value;
    } const cases[] = {
        {"8080", 0, 65535, true, 8080},
        {"0", 0, 65535, true, 0},
        {"65535", 0, 65535, true, 65535},
        {"65536", 0, 65535, false, 0},
        {"-1", 0, 65535, false, 0},
        {"-1", -1000000, 1000000, true, -1},
        {"-0", -5, 5, true, 0},
        {"", 0, 10, false, 0},
        {"-", -10, 10, false, 0},
        {"+5", 0, 10, false, 0},
        {" 5", 0, 10, false, 0},
        {"5 ", 0, 10, false, 0},
        {"5x", 0, 10, false, 0},
        {"1e3", 0, 10000, false, 0},
        {std::string("5\0", 2), 0, 10, false, 0},
        {"9223372036854775807", INT64_MIN, INT64_MAX, true, INT64_MAX},
        {"-9223372036854775808", INT64_MIN, INT64_MAX, true, INT64_MIN},
        {"9223372036854775808", INT64_MIN, INT64_MAX, false, 0},
        {"-9223372036854775809", INT64_MIN, INT64_MAX, false, 0},
        // Digits past the saturation point must not wrap around into range.
        {"18446744073709551617", 0, 10, false, 0},
        {"9223372036854775810", 0, INT64_MAX, false, 0},
        {"5", 10, 0, false, 0},
    };
    for (const Case& c : cases) {
        const std::optional<int64_t> got = ParseDecimal(c.text, c.min, c.max);
        EXPECT_EQ(got.has_value(), c.ok) << '"' << c.text << '"';
        if (got && c.ok) EXPECT_EQ(*got, c.value) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace kv
