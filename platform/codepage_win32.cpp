// Code page 949 conversions through UTF-16 with the Win32 conversion calls; strict flags so
// invalid input fails instead of turning silently into default characters.
#include <windows.h>

#include <climits>

#include "platform/CodePage.h"

namespace kv {
namespace {

constexpr UINT kKorean = 949;

bool ToWide(UINT codePage, DWORD flags, const std::string& in, std::wstring* out) {
    out->clear();
    if (in.empty()) return true;
    if (in.size() > INT_MAX / 2) return false;
    int n = MultiByteToWideChar(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    return MultiByteToWideChar(codePage, flags, in.data(), static_cast<int>(in.size()), &(*out)[0], n) == n;
}

bool FromWide(UINT codePage, const std::wstring& in, std::string* out) {
    out->clear();
    if (in.empty()) return true;
    if (in.size() > INT_MAX / 4) return false;
    BOOL usedDefault = FALSE;
    BOOL* used = codePage == CP_UTF8 ? nullptr : &usedDefault;
    DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0,
                                nullptr, used);
    if (n <= 0 || usedDefault) return false;
    out->resize(static_cast<size_t>(n));
    if (WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), &(*out)[0], n,
                            nullptr, used) != n) {
        out->clear();
        return false;
    }
    return true;
}

}  // namespace

bool Utf8ToCp949(const std::string& utf8, std::string* out) {
    std::wstring wide;
    if (!ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, &wide)) {
        out->clear();
        return false;
    }
    return FromWide(kKorean, wide, out);
}

bool Cp949ToUtf8(const std::string& cp949, std::string* out) {
    std::wstring wide;
    if (!ToWide(kKorean, MB_ERR_INVALID_CHARS, cp949, &wide)) {
        out->clear();
        return false;
    }
    return FromWide(CP_UTF8, wide, out);
}

}  // namespace kv
