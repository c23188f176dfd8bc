// Reads a window tree from outside its process, as a screen reader or test tool would:
//
//   wintree.exe CLASS TITLE OUTFILE [SECONDS]
//
// finds the top-level window of class CLASS and title TITLE (waiting up to SECONDS, default 10)
// and writes one line per descendant, depth first, to OUTFILE (UTF-8):
//   depth, class, control id, x, y, width, height, visible, text
// tab-separated; the rectangle relative to the top-level window's client area (where the
// container puts the pane), visible the window's own WS_VISIBLE bit, the text with CR, LF, tab
// and backslash escaped as in C. The program is per-monitor DPI aware (its manifest), so the rectangles are in
// physical pixels whatever the DPI. Exit code 0, 2 for bad arguments, 3 when no such window.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/WinText.h"

namespace {

void Escaped(FILE* f, const std::string& text) {
    for (char c : text) {
        switch (c) {
            case '\r': std::fputs("\\r", f); break;
            case '\n': std::fputs("\\n", f); break;
            case '\t': std::fputs("\\t", f); break;
            case '\\': std::fputs("\\\\", f); break;
            default: std::fputc(c, f);
        }
    }
}

void Walk(FILE* f, HWND top, HWND parent, int depth) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[64] = {};
        GetClassNameW(child, cls, 64);
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(HWND_DESKTOP, top, reinterpret_cast<POINT*>(&r), 2);
        // The text through WM_GETTEXT with a time limit: a hung owner leaves it empty.
        wchar_t text[1024] = {};
        DWORD_PTR got = 0;
        SendMessageTimeoutW(child, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &got);
        text[1023] = L'\0';
        const bool visible = (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0;
        std::fprintf(f, "%d\t%s\t%d\t%ld\t%ld\t%ld\t%ld\t%d\t", depth, kv::WideToCodePageLossy(CP_UTF8, cls).c_str(),
                     GetDlgCtrlID(child), r.left, r.top, r.right - r.left, r.bottom - r.top, visible ? 1 : 0);
        Escaped(f, kv::WideToCodePageLossy(CP_UTF8, text));
        std::fputc('\n', f);
        Walk(f, top, child, depth + 1);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: wintree CLASS TITLE OUTFILE [SECONDS]\n");
        return 2;
    }
    const int seconds = argc > 4 ? _wtoi(argv[4]) : 10;
    HWND top = nullptr;
    for (int n = 0; n <= seconds * 10 && !(top = FindWindowW(argv[1], argv[2])); ++n) Sleep(100);
    if (!top) {
        std::fprintf(stderr, "wintree: no window of class %ls titled %ls\n", argv[1], argv[2]);
        return 3;
    }
    FILE* f = _wfopen(argv[3], L"wb");
    if (!f) return 2;
    Walk(f, top, top, 0);
    std::fclose(f);
    std::printf("dpi=%u\n", GetDpiForWindow(top));
    return 0;
}
