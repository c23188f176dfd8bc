#include "platform/Decimal.h"

#include <limits>

namespace kv {
namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Magnitude of the digits from text[i] on, stopping at the first non-digit; *i ends past
// them. Anything above limit comes out as limit + 1, however many digits follow, so the
// arithmetic never overflows.
uint64_t ReadMagnitude(std::string_view text, size_t* i, uint64_t limit, bool* anyDigit) {
    uint64_t value = 0;
    *anyDigit = false;
    for (; *i < text.size() && IsDigit(text[*i]); ++*i) {
        *anyDigit = true;
        const uint64_t digit = static_cast<uint64_t>(text[*i] - '0');
        value = value > (limit - digit) / 10 ? limit + 1 : value * 10 + digit;
    }
    return value;
}

}  // namespace

int32_t ReadDecimal(std::string_view text, DecimalStart start) {
    size_t i = 0;
    bool negative = false;
    if (start == DecimalStart::BlanksAndSign) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    }
    constexpr uint64_t kMaxMagnitude = static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + 1;
    bool anyDigit = false;
    const uint64_t magnitude = ReadMagnitude(text, &i, kMaxMagnitude, &anyDigit);
    if (negative) {
        return magnitude >= kMaxMagnitude ? std::numeric_limits<int32_t>::min() : -static_cast<int32_t>(magnitude);
    }
    return magnitude >= kMaxMagnitude ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(magnitude);
}

std::optional<int64_t> ParseDecimal(std::string_view text, int64_t min, int64_t max) {
    if (min > max) return std::nullopt;
    size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (negative) ++i;
    constexpr uint64_t kMaxMagnitude = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1;
    bool anyDigit = false;
    const uint64_t magnitude = ReadMagnitude(text, &i, kMaxMagnitude, &anyDigit);
    if (!anyDigit || i != text.size() || magnitude > kMaxMagnitude) return std::nullopt;
    if (!negative && magnitude == kMaxMagnitude) return std::nullopt;
    int64_t value = static_cast<int64_t>(magnitude & ~kMaxMagnitude);
    if (negative) value = magnitude == kMaxMagnitude ? std::numeric_limits<int64_t>::min() : -value;
    if (value < min || value > max) return std::nullopt;
    return value;
}

}  // namespace kv
