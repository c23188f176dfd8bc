// Text conversions at the Windows boundaries: UTF-16 for COM and the wide API, UTF-8 for our
// tools' output, the ANSI code page (949 on Korean systems) for the add-in's narrow text, and
// the registry form of a GUID. Windows builds only.
//
// Every conversion reports failure instead of handing back empty or substituted text: on
// false, *out is empty. Empty input converts to empty output and succeeds.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace kv {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex, as StringFromGUID2 writes it.
std::wstring GuidText(const GUID& guid);

// Strict in both directions: malformed UTF-8 or an unpaired surrogate fails.
bool Utf8ToWide(std::string_view utf8, std::wstring* out);
bool WideToUtf8(std::wstring_view wide, std::string* out);

// The ANSI code page (CP_ACP). Bytes that are not valid in it fail, and so does a character
// that has no counterpart in it (instead of becoming '?' or a look-alike).
bool AnsiToWide(std::string_view ansi, std::wstring* out);
bool WideToAnsi(std::wstring_view wide, std::string* out);

// The same rules for any code page the system knows.
bool CodePageToWide(UINT codePage, std::string_view in, std::wstring* out);
bool WideToCodePage(UINT codePage, std::wstring_view in, std::string* out);

// The one deliberately lossy pair, for narrow text that is shown or handed on as the system's
// own narrow calls would: a character the code page lacks becomes its default character ('?'),
// bytes that do not decode become U+FFFD. Text longer than INT_MAX gives empty text.
std::string WideToCodePageLossy(UINT codePage, std::wstring_view in);
std::wstring CodePageToWideLossy(UINT codePage, std::string_view in);

}  // namespace kv
