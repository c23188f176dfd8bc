// Cutting narrow text (code page 949) to a byte limit without splitting a two-byte character:
// every 250-byte buffer of the add-in (search text, document name, clicked name, last keyword)
// holds at most 249 bytes, and those bytes never end on a lone lead byte.
#pragma once
#include <cstddef>
#include <string>

namespace kv {

constexpr size_t kNarrowTextBuffer = 250;
constexpr size_t kNarrowTextMax = kNarrowTextBuffer - 1;

// A lead byte of a two-byte code-page-949 character.
inline bool IsCp949LeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

// The longest prefix of text of at most limit bytes that ends on a whole character. Text that
// already fits is returned unchanged.
std::string CutCp949(const std::string& text, size_t limit = kNarrowTextMax);

// The same for a zero-terminated buffer of at most bufferSize bytes (a missing terminator is
// no fault: reading stops at bufferSize).
std::string CutCp949(const char* text, size_t bufferSize, size_t limit);

// Copies text into buffer[bufferSize] cut to bufferSize - 1 bytes, always terminated.
void CopyCp949(const std::string& text, char* buffer, size_t bufferSize);

}  // namespace kv
