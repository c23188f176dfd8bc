#include "tools/hostsim/win/ComSupport.h"

#include <olectl.h>

#include <cstdio>
#include <vector>

namespace hostsim {

std::string Utf8(std::wstring_view w) {
    std::string out;
    if (kv::WideToUtf8(w, &out)) return out;
    // Only for the log: each unpaired surrogate becomes U+FFFD, the rest converts as it is.
    std::wstring clean(w);
    for (size_t i = 0; i < clean.size(); ++i) {
        wchar_t c = clean[i];
        bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < clean.size() && clean[i + 1] >= 0xDC00 && clean[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            clean[i] = 0xFFFD;
        }
    }
    return kv::WideToUtf8(clean, &out) ? out : std::string("?");
}

std::wstring Wide(std::string_view utf8) {
    std::wstring out;
    return kv::Utf8ToWide(utf8, &out) ? out : std::wstring(1, L'\xFFFD');
}

std::string GuidUtf8(REFGUID g) {
    return Utf8(kv::GuidText(g));
}

std::string HrText(HRESULT hr) {
    static const struct {
        HRESULT hr;
        const char* name;
    } names[] = {
        {S_OK, "S_OK"},
        {S_FALSE, "S_FALSE"},
        {E_NOINTERFACE, "E_NOINTERFACE"},
        {E_POINTER, "E_POINTER"},
        {E_FAIL, "E_FAIL"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_UNEXPECTED, "E_UNEXPECTED"},
        {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME"},
        {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"},
        {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT"},
        {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"},
        {DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND"},
        {DISP_E_EXCEPTION, "DISP_E_EXCEPTION"},
        {CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION"},
        {CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT"},
        {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
        {CO_E_CLASSSTRING, "CO_E_CLASSSTRING"},
        {MK_E_UNAVAILABLE, "MK_E_UNAVAILABLE"},
    };
    for (const auto& n : names)
        if (n.hr == hr) return n.name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(hr));
    return buf;
}

std::wstring WindowText(HWND w) {
    int n = GetWindowTextLengthW(w);
    if (n <= 0) return {};
    std::vector<wchar_t> buf(n + 1);
    int got = GetWindowTextW(w, buf.data(), n + 1);
    return std::wstring(buf.data(), got > 0 ? got : 0);
}

std::wstring ExePath() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return std::wstring(buf.data(), n);
        if (buf.size() > 32768) return {};
        buf.resize(buf.size() * 2);
    }
}

}  // namespace hostsim
