// KVUpdater: puts a downloaded add-in library in the place of the old one once no host
// process holds it. A hidden main window carries the message loop; nothing is ever shown, and
// the program ends with 0 whatever happened.
#include <windows.h>

#include "platform/WinHandles.h"
#include "updater/SwapSystemWin32.h"
#include "updater/core/Swap.h"
#include "updater/resource.h"

namespace {

constexpr int kMaxLoadString = 100;

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
    }
    return FALSE;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDM_ABOUT:
                    ::DialogBoxW(reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)),
                                 MAKEINTRESOURCEW(IDD_ABOUTBOX), window, AboutProc);
                    return 0;
                case IDM_EXIT: ::DestroyWindow(window); return 0;
            }
            break;
        case WM_PAINT: {
            kv::PaintDc paint(window);  // nothing is drawn
            return 0;
        }
        case WM_DESTROY: ::PostQuitMessage(0); return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void Swap() {
    const std::wstring program = kv::ProgramPath();
    if (program.empty()) return;  // no folder to work in: touch nothing
    kv::Win32SwapSystem system;
    kv::RunSwap(system, kv::SwapPathsFor(program));
}

void Run(HINSTANCE instance) {
    wchar_t title[kMaxLoadString + 1] = {};
    wchar_t className[kMaxLoadString + 1] = {};
    ::LoadStringW(instance, IDS_APP_TITLE, title, kMaxLoadString);
    ::LoadStringW(instance, IDC_KVUPDATER, className, kMaxLoadString);

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_KVUPDATER));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDC_KVUPDATER);
    wc.lpszClassName = className;
    wc.hIconSm = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
    ::RegisterClassExW(&wc);

    // Never shown: no WS_VISIBLE and no ShowWindow.
    HWND window = ::CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                    nullptr, nullptr, instance, nullptr);
    if (!window) return;

    Swap();
    // Posts the quit message; a window closed during the swap's waits already went, and its
    // quit message was dropped there.
    if (::IsWindow(window)) {
        ::DestroyWindow(window);
    } else {
        ::PostQuitMessage(0);
    }

    HACCEL accelerators = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_KVUPDATER));
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!::TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The exit code is 0 in every case, a failure of any kind included.
    try {
        Run(instance);
    } catch (...) {}
    return 0;
}
