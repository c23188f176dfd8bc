// The host's names for the shared owners (platform/WinHandles.h) and its log text helpers on
// top of the shared conversions (platform/WinText.h).
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace hostsim {

using kv::Bstr;
using kv::ComPtr;
using kv::Guard;
using kv::Variant;

// UTF-8 for the log. Text with an unpaired surrogate (an add-in may hand one over) is shown
// with U+FFFD in its place: a log line is never dropped for it.
std::string Utf8(std::wstring_view w);
inline std::string Utf8(const wchar_t* w) {
    return w ? Utf8(std::wstring_view(w)) : std::string();
}
// UTF-16 from text the host checked where it came in (the script file, the ribbon definition
// it made itself): the conversion cannot fail there; if it did, U+FFFD marks the place.
std::wstring Wide(std::string_view utf8);
std::string GuidUtf8(REFGUID g);  // "{XXXXXXXX-...}" for the log
std::string HrText(HRESULT hr);   // "S_OK", "E_NOINTERFACE", or "0x80004005"
std::wstring WindowText(HWND w);
std::wstring ExePath();

}  // namespace hostsim
