#include "tools/hostsim/win/Log.h"

#include "tools/hostsim/win/ComSupport.h"

#include <cstdio>

namespace hostsim {
namespace {

kv::UniqueFile& LogFile() {
    static kv::UniqueFile file;
    return file;
}

void WriteAll(HANDLE h, const std::string& s) {
    if (!h || h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

}  // namespace

void OpenLogFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) LogFile().reset(h);
}

void Log(const char* category, const std::string& text) noexcept {
    try {
        std::string line = std::string(category) + " " + text;
        // One line per entry, whatever the text holds.
        for (char& ch : line)
            if (ch == '\n' || ch == '\r') ch = ' ';
        line += "\n";
        WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), line);
        WriteAll(LogFile().get(), line);
    } catch (...) {}
}

void LogError(const std::string& text) noexcept {
    Log("error", text);
}

std::string Quote(const std::wstring& s) {
    return "\"" + Utf8(s) + "\"";
}

std::string Describe(const VARIANT& v) {
    char buf[64];
    switch (V_VT(&v)) {
        case VT_EMPTY: return "empty";
        case VT_NULL: return "null";
        case VT_BSTR: return Quote(V_BSTR(&v) ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : std::wstring());
        case VT_BOOL: return V_BOOL(&v) ? "true" : "false";
        case VT_I2: std::snprintf(buf, sizeof buf, "%d", V_I2(&v)); return buf;
        case VT_I4: std::snprintf(buf, sizeof buf, "%ld", static_cast<long>(V_I4(&v))); return buf;
        case VT_INT: std::snprintf(buf, sizeof buf, "%d", V_INT(&v)); return buf;
        case VT_UI4: std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(V_UI4(&v))); return buf;
        case VT_R8: std::snprintf(buf, sizeof buf, "%g", V_R8(&v)); return buf;
        case VT_DISPATCH: return V_DISPATCH(&v) ? "IDispatch" : "null IDispatch";
        case VT_UNKNOWN: return V_UNKNOWN(&v) ? "IUnknown" : "null IUnknown";
        case VT_ERROR:
            if (V_ERROR(&v) == DISP_E_PARAMNOTFOUND) return "missing";
            std::snprintf(buf, sizeof buf, "error 0x%08lX", static_cast<unsigned long>(V_ERROR(&v)));
            return buf;
        default:
            if (V_VT(&v) & VT_BYREF) {
                if (V_VT(&v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&v)) return Describe(*V_VARIANTREF(&v));
                return "byref";
            }
            std::snprintf(buf, sizeof buf, "vt %d", V_VT(&v));
            return buf;
    }
}

}  // namespace hostsim
