// Code page 949 conversions through UTF-16 with the strict Win32 conversions of WinText, so
// invalid input fails instead of turning silently into default characters.
#include "platform/CodePage.h"
#include "platform/WinText.h"

namespace kv {
namespace {

constexpr UINT kKorean = 949;

bool Convert(UINT from, UINT to, const std::string& in, std::string* out) {
    std::wstring wide;
    if (!CodePageToWide(from, in, &wide)) {
        out->clear();
        return false;
    }
    return WideToCodePage(to, wide, out);
}

}  // namespace

bool Utf8ToCp949(const std::string& utf8, std::string* out) {
    return Convert(CP_UTF8, kKorean, utf8, out);
}
bool Cp949ToUtf8(const std::string& cp949, std::string* out) {
    return Convert(kKorean, CP_UTF8, cp949, out);
}

}  // namespace kv
