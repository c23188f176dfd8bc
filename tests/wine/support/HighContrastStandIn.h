// High contrast for test programs under Wine. Wine keeps high contrast off whatever it is told
// (SPI_SETHIGHCONTRAST is not implemented), so a module's own question is answered instead: its
// import of SystemParametersInfoW is pointed at a stand-in that says "on" for
// SPI_GETHIGHCONTRAST and passes everything else on. BlackScheme sets the black scheme's
// system colours for its lifetime (Wine keeps SetSysColors for the session, so they are put back).
#pragma once

#include <windows.h>

#include <cstring>

namespace kv {
namespace testing {

inline BOOL WINAPI HighContrastSpi(UINT action, UINT param, void* data, UINT flags) {
    if (action == SPI_GETHIGHCONTRAST && data) {
        auto* hc = static_cast<HIGHCONTRASTW*>(data);
        if (hc->cbSize != sizeof(HIGHCONTRASTW)) return FALSE;
        hc->dwFlags = HCF_HIGHCONTRASTON | HCF_AVAILABLE;
        hc->lpszDefaultScheme = nullptr;
        return TRUE;
    }
    return ::SystemParametersInfoW(action, param, data, flags);
}

// Points `module`'s import of dll!name at `replacement`; false when the module has no such import.
inline bool RedirectImport(HMODULE module, const char* dll, const char* name, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    if (!base) return false;
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return false;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) != 0 || !d->OriginalFirstThunk) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
            DWORD old = 0;
            if (!::VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old)) return false;
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
            return true;
        }
    }
    return false;
}

// `module` told that high contrast is on.
inline bool ReportHighContrastTo(HMODULE module) {
    return RedirectImport(module, "user32.dll", "SystemParametersInfoW", reinterpret_cast<void*>(&HighContrastSpi));
}

class BlackScheme {
public:
    static constexpr int kCount = 8;
    static constexpr int kElements[kCount] = {COLOR_WINDOW,   COLOR_WINDOWTEXT, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT,
                                              COLOR_HOTLIGHT, COLOR_GRAYTEXT,   COLOR_BTNFACE,   COLOR_BTNTEXT};
    static constexpr COLORREF kColours[kCount] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(26, 235, 255),
                                                  RGB(0, 0, 0), RGB(255, 255, 0),   RGB(63, 242, 63),
                                                  RGB(0, 0, 0), RGB(255, 255, 255)};

    BlackScheme() {
        for (int i = 0; i < kCount; ++i) saved_[i] = ::GetSysColor(kElements[i]);
        applied_ = ::SetSysColors(kCount, kElements, kColours) != 0;
    }
    ~BlackScheme() {
        if (applied_) ::SetSysColors(kCount, kElements, saved_);
    }
    BlackScheme(const BlackScheme&) = delete;
    BlackScheme& operator=(const BlackScheme&) = delete;
    bool applied() const { return applied_; }

private:
    COLORREF saved_[kCount] = {};
    bool applied_ = false;
};

}  // namespace testing
}  // namespace kv
