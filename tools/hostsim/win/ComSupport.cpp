#include "tools/hostsim/win/ComSupport.h"

#include <olectl.h>

#include <cstdio>
#include <vector>

namespace hostsim {

std::string Utf8(const wchar_t* w) { return w ? Utf8(std::wstring(w)) : std::string(); }

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
  return out;
}

std::string GuidText(REFGUID g) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

std::string HrText(HRESULT hr) {
  static const struct { HRESULT hr; const char* name; } names[] = {
      {S_OK, "S_OK"}, {S_FALSE, "S_FALSE"}, {E_NOINTERFACE, "E_NOINTERFACE"}, {E_POINTER, "E_POINTER"},
      {E_FAIL, "E_FAIL"}, {E_INVALIDARG, "E_INVALIDARG"}, {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
      {E_NOTIMPL, "E_NOTIMPL"}, {E_UNEXPECTED, "E_UNEXPECTED"}, {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME"},
      {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"}, {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT"},
      {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"}, {DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND"},
      {DISP_E_EXCEPTION, "DISP_E_EXCEPTION"}, {CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION"},
      {CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT"}, {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
      {CO_E_CLASSSTRING, "CO_E_CLASSSTRING"}, {MK_E_UNAVAILABLE, "MK_E_UNAVAILABLE"},
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
