// Conversion between UTF-8 and code page 949 (the add-in's narrow text on Korean systems):
// iconv natively (codepage_posix.cpp), the Win32 conversion calls on Windows (codepage_win32.cpp).
#pragma once
#include <string>

namespace kv {

// False when the input is not valid in its encoding or a character has no counterpart;
// *out is then left empty.
bool Utf8ToCp949(const std::string& utf8, std::string* out);
bool Cp949ToUtf8(const std::string& cp949, std::string* out);

// Never fails: bytes that cannot be converted come out as U+FFFD, one for each byte.
std::string Cp949ToUtf8Lossy(const std::string& cp949);

}  // namespace kv
