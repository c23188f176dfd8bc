// Shared by the test add-in and the test control: class ids, the module object count and a
// log line writer (to standard output, which the host shares with its in-process add-ins).
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

namespace hostsimtest {

// {4C1D8A57-0B1E-4F0F-9E55-2A7E31B8C001}
constexpr CLSID kAddinClsid = {0x4C1D8A57, 0x0B1E, 0x4F0F, {0x9E, 0x55, 0x2A, 0x7E, 0x31, 0xB8, 0xC0, 0x01}};
// {4C1D8A57-0B1E-4F0F-9E55-2A7E31B8C002}
constexpr CLSID kControlClsid = {0x4C1D8A57, 0x0B1E, 0x4F0F, {0x9E, 0x55, 0x2A, 0x7E, 0x31, 0xB8, 0xC0, 0x02}};
constexpr const wchar_t* kAddinProgId = L"HostSimTest.Connect";
constexpr const wchar_t* kControlProgId = L"HostSimTest.Control";

// Control ids inside the test control's window.
enum : int { kTitleId = 100, kEditId = 101, kSearchButtonId = 102, kResultId = 103 };

void ModuleAddRef();
void ModuleRelease();
void Say(const std::string& text);  // "addin <text>" or "control <text>" lines
std::string Utf8(const wchar_t* w, int n = -1);

HRESULT CreateAddin(REFIID iid, void** out);
HRESULT CreateControl(REFIID iid, void** out);

// Property get or method call by name on an IDispatch.
HRESULT GetProperty(IDispatch* d, const wchar_t* name, VARIANT* out);
HRESULT CallMethod(IDispatch* d, const wchar_t* name, VARIANT* args, UINT count, VARIANT* out);

}  // namespace hostsimtest
