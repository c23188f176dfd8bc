// Conversions with the Win32 calls and their strict flags: MB_ERR_INVALID_CHARS for bytes
// that do not decode, WC_ERR_INVALID_CHARS for UTF-8 output and the "used default character"
// report with WC_NO_BEST_FIT_CHARS for the other code pages.
#include "platform/WinText.h"

#include <objbase.h>

#include <climits>

namespace kv {

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    const int n = ::StringFromGUID2(guid, text, 40);  // 39 characters and the terminating zero
    return n > 0 ? std::wstring(text, static_cast<size_t>(n - 1)) : std::wstring();
}

bool CodePageToWide(UINT codePage, std::string_view in, std::wstring* out) {
    out->clear();
    if (in.empty()) return true;
    if (in.size() > static_cast<size_t>(INT_MAX)) return false;
    const int inLength = static_cast<int>(in.size());
    const int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), inLength, nullptr, 0);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), inLength, &(*out)[0], n) != n) {
        out->clear();
        return false;
    }
    return true;
}

bool WideToCodePage(UINT codePage, std::wstring_view in, std::string* out) {
    out->clear();
    if (in.empty()) return true;
    if (in.size() > static_cast<size_t>(INT_MAX)) return false;
    const int inLength = static_cast<int>(in.size());
    // UTF-8 (and UTF-7) take no default-character report; they fail on unpaired surrogates.
    // The ANSI code page itself may be UTF-8 on systems set up that way.
    const UINT actual = codePage == CP_ACP ? ::GetACP() : codePage == CP_OEMCP ? ::GetOEMCP() : codePage;
    const bool utf = actual == CP_UTF8 || actual == CP_UTF7;
    const DWORD flags = utf ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* used = utf ? nullptr : &usedDefault;
    const int n = ::WideCharToMultiByte(codePage, flags, in.data(), inLength, nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault) return false;
    out->resize(static_cast<size_t>(n));
    if (::WideCharToMultiByte(codePage, flags, in.data(), inLength, &(*out)[0], n, nullptr, used) != n || usedDefault) {
        out->clear();
        return false;
    }
    return true;
}

std::string WideToCodePageLossy(UINT codePage, std::wstring_view in) {
    if (in.empty() || in.size() > static_cast<size_t>(INT_MAX)) return std::string();
    const int inLength = static_cast<int>(in.size());
    const int n = ::WideCharToMultiByte(codePage, 0, in.data(), inLength, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    const int got = ::WideCharToMultiByte(codePage, 0, in.data(), inLength, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(got > 0 ? got : 0));
    return out;
}

std::wstring CodePageToWideLossy(UINT codePage, std::string_view in) {
    if (in.empty() || in.size() > static_cast<size_t>(INT_MAX)) return std::wstring();
    const int inLength = static_cast<int>(in.size());
    const int n = ::MultiByteToWideChar(codePage, 0, in.data(), inLength, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    const int got = ::MultiByteToWideChar(codePage, 0, in.data(), inLength, &out[0], n);
    out.resize(static_cast<size_t>(got > 0 ? got : 0));
    return out;
}

bool Utf8ToWide(std::string_view utf8, std::wstring* out) {
    return CodePageToWide(CP_UTF8, utf8, out);
}
bool WideToUtf8(std::wstring_view wide, std::string* out) {
    return WideToCodePage(CP_UTF8, wide, out);
}
bool AnsiToWide(std::string_view ansi, std::wstring* out) {
    return CodePageToWide(CP_ACP, ansi, out);
}
bool WideToAnsi(std::wstring_view wide, std::string* out) {
    return WideToCodePage(CP_ACP, wide, out);
}

}  // namespace kv
