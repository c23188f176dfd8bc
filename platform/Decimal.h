// The one decimal reader of the tree: bounded, never overflowing, no locale, no allocation.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace kv {

enum class DecimalStart {
    BlanksAndSign,  // as atoi: white space, then one optional '+' or '-', then digits
    DigitsOnly,     // the digits at the very start ("16.0" gives 16, " 16" and "-1" give 0)
};

// The decimal number at the start of text; reading stops at the first byte that is not a
// digit. Saturates at the 32-bit limits instead of overflowing; no digits give 0.
int32_t ReadDecimal(std::string_view text, DecimalStart start = DecimalStart::BlanksAndSign);

// The whole text as a decimal number within [min, max]: one optional '-', then at least one
// digit and nothing else (no blanks, no '+'). Anything else, or a value out of range, gives
// nothing.
std::optional<int64_t> ParseDecimal(std::string_view text, int64_t min, int64_t max);

}  // namespace kv
