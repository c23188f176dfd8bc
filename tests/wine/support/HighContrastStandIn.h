// High contrast for test programs under Wine. Wine keeps high contrast off whatever it is told
// (SPI_SETHIGHCONTRAST is not implemented), so a module's own question is answered instead: its
// import of SystemParametersInfoW is pointed at a stand-in that says "on" for
// SPI_GETHIGHCONTRAST and passes everything else on. BlackScheme sets the black scheme's
// system colours for its lifetime (Wine keeps SetSysColors for the session, so they are put back).
#pragma once

#include <windows.h>

#include "ImportRedirect.h"

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
