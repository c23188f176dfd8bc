// Host windows: one frame per document window (Word, Excel) or one for the whole application
// (PowerPoint). A frame holds the ribbon strip at the top, the document area, and the custom
// task panes docked at its right edge.
#include <algorithm>

#include "tools/hostsim/win/Host.h"
#include "tools/hostsim/win/Log.h"

namespace hostsim {

namespace {

// The host is per-monitor DPI aware (its manifest): its window and the panes' widths, given in
// 96-DPI pixels as an add-in sets them, are scaled to the window's DPI.
int Scaled(int px, HWND window) {
    const UINT dpi = window ? GetDpiForWindow(window) : 0;
    return MulDiv(px, dpi ? static_cast<int>(dpi) : 96, 96);
}

int SystemScaled(int px) {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return MulDiv(px, dpi > 0 ? dpi : 96, 96);
}

const wchar_t kFrameClass[] = L"HostSimFrame";
const wchar_t kPaneClass[] = L"HostSimPane";
constexpr int kDocAreaId = 100;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Host& h = Host::Get();
    Frame* frame = h.FrameOf(hwnd);
    switch (msg) {
        case WM_SIZE:
            if (frame) h.LayoutFrame(frame);
            return 0;
        case WM_ACTIVATE:
            if (frame && LOWORD(wp) != WA_INACTIVE) h.lastActive = frame;
            break;
        case WM_COMMAND:
            if (frame && lp) {
                if (RibbonItem* item = h.FindRibbonItem(frame, LOWORD(wp))) {
                    h.OnRibbonCommand(frame, item, HIWORD(wp));
                    return 0;
                }
            }
            break;
        case WM_DRAWITEM: h.DrawRibbonItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lp)); return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (frame) h.PaintRibbonStrip(frame, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case kEndIfUnusedMessage: h.EndIfUnused(); return 0;
        case WM_CLOSE:
            // Closing any window ends the simulated application (documents are never saved).
            Log("host", "window " + std::to_string(frame ? frame->number : 0) + " closed by the user");
            h.Quit();
            return 0;
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK PaneProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT r;
            GetClientRect(hwnd, &r);
            RECT title{0, 0, r.right, 22};
            FillRect(dc, &title, GetSysColorBrush(COLOR_ACTIVECAPTION));
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_CAPTIONTEXT));
            kv::SelectedObject font(dc, Host::Get().font);
            std::wstring text = WindowText(hwnd);
            RECT tr{6, 0, r.right - 4, 22};
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr,
                      DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_SIZE: {
            // The hosted control fills the pane below its title.
            HWND child = GetWindow(hwnd, GW_CHILD);
            if (child) MoveWindow(child, 0, 22, LOWORD(lp), std::max(0, HIWORD(lp) - 22), TRUE);
            return 0;
        }
        default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

bool RegisterWindowClasses() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.lpszClassName = kFrameClass;
    if (!RegisterClassExW(&wc)) return false;
    WNDCLASSEXW pc = {};
    pc.cbSize = sizeof pc;
    pc.lpfnWndProc = PaneProc;
    pc.hInstance = GetModuleHandleW(nullptr);
    pc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    pc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    pc.lpszClassName = kPaneClass;
    return RegisterClassExW(&pc) != 0;
}

const wchar_t* PaneClassName() {
    return kPaneClass;
}

int TextWidthPx(const std::string& utf8) {
    std::wstring w = Wide(utf8);
    kv::WindowDc dc(nullptr);
    kv::SelectedObject font(dc.get(), Host::Get().font);
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), w.c_str(), static_cast<int>(w.size()), &size);
    return size.cx;
}

Host& Host::Get() {
    static Host host;
    return host;
}

Frame* Host::CreateFrame() {
    auto frame = std::make_unique<Frame>();
    frame->number = static_cast<int>(frames.size()) + 1;
    int offset = 30 * (frame->number - 1);
    HWND hwnd =
        CreateWindowExW(0, kFrameClass, info.name, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 10 + offset, 10 + offset,
                        SystemScaled(1100), SystemScaled(760), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) {
        LogError("CreateWindow failed: " + std::to_string(GetLastError()));
        return nullptr;
    }
    frame->hwnd = hwnd;
    frame->docArea = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, 0, 0, 10,
        10, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kDocAreaId)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(frame->docArea, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    frame->window = NewWindowObject(frame.get());
    Frame* raw = frame.get();
    frames.push_back(std::move(frame));
    lastActive = raw;
    BuildRibbon(raw);
    LayoutFrame(raw);
    if (visible) {
        ShowWindow(hwnd, SW_SHOWNORMAL);
        ActivateFrame(raw);
    }
    Log("host", "window " + std::to_string(raw->number) + " created");
    return raw;
}

Frame* Host::FrameOf(HWND hwnd) {
    for (auto& f : frames)
        if (f->hwnd == hwnd) return f.get();
    return nullptr;
}

Frame* Host::ActiveFrame() {
    // The thread's active window when it is one of ours, else the last one activated.
    if (Frame* f = FrameOf(GetActiveWindow())) return f;
    if (lastActive) return lastActive;
    return frames.empty() ? nullptr : frames.back().get();
}

void Host::ActivateFrame(Frame* frame) {
    if (!frame) return;
    lastActive = frame;
    if (IsWindowVisible(frame->hwnd)) {
        SetForegroundWindow(frame->hwnd);
        SetActiveWindow(frame->hwnd);
    }
}

static void ShowDocument(Frame* frame, Document* doc) {
    std::wstring text = L"[" + doc->name + L"]\r\n";
    if (!doc->fullName.empty()) text += doc->fullName + L"\r\n";
    SetWindowTextW(frame->docArea, text.c_str());
}

Document* Host::NewBlankDocument() {
    auto doc = std::make_unique<Document>();
    doc->name = std::wstring(info.blankPrefix) + std::to_wstring(++blankCounter);
    doc->object = NewDocumentObject(doc.get());
    Document* raw = doc.get();
    documents.push_back(std::move(doc));
    Frame* frame = (!info.windowPerDocument && !frames.empty()) ? frames.front().get() : CreateFrame();
    if (!frame) return raw;
    raw->frame = frame;
    frame->documents.push_back(raw);
    frame->activeDocument = raw;
    ShowDocument(frame, raw);
    UpdateCaptions(frame);
    return raw;
}

HRESULT Host::OpenDocument(const std::wstring& path, Document** out, std::wstring& error) {
    *out = nullptr;
    DWORD attrs = GetFileAttributesW(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        error = L"파일을 찾을 수 없습니다: " + path;
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    std::vector<wchar_t> full(32768);
    DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    std::wstring fullPath = (n > 0 && n < full.size()) ? std::wstring(full.data(), n) : path;
    size_t slash = fullPath.find_last_of(L"\\/");
    auto doc = std::make_unique<Document>();
    doc->name = slash == std::wstring::npos ? fullPath : fullPath.substr(slash + 1);
    doc->fullName = fullPath;
    doc->object = NewDocumentObject(doc.get());
    Document* raw = doc.get();
    documents.push_back(std::move(doc));
    Frame* frame = (!info.windowPerDocument && !frames.empty()) ? frames.front().get() : CreateFrame();
    if (!frame) {
        error = L"창을 만들 수 없습니다";
        return E_FAIL;
    }
    raw->frame = frame;
    frame->documents.push_back(raw);
    frame->activeDocument = raw;
    ShowDocument(frame, raw);
    UpdateCaptions(frame);
    ActivateFrame(frame);
    *out = raw;
    return S_OK;
}

std::wstring Host::WindowCaption(const Frame* frame) const {
    if (!frame || !frame->activeDocument) return {};
    return frame->activeDocument->name;
}

std::wstring Host::ApplicationCaption() const {
    Frame* f = const_cast<Host*>(this)->ActiveFrame();
    std::wstring doc = WindowCaption(f);
    if (info.kind == AppKind::Word) return info.name;
    return doc.empty() ? std::wstring(info.name) : doc + L" - " + info.name;
}

void Host::UpdateCaptions(Frame* frame) {
    std::wstring doc = WindowCaption(frame);
    std::wstring title = doc.empty() ? std::wstring(info.name) : doc + L" - " + info.name;
    SetWindowTextW(frame->hwnd, title.c_str());
}

void Host::LayoutFrame(Frame* frame) {
    RECT r;
    GetClientRect(frame->hwnd, &r);
    int right = r.right;
    // Visible panes are docked at the right edge, the first one outermost.
    for (auto& pane : frame->panes) {
        HWND pw = PaneWindow(pane.get());
        if (!pw) continue;
        if (!PaneVisible(pane.get())) {
            ShowWindow(pw, SW_HIDE);
            continue;
        }
        int width = std::min(Scaled(PaneWidth(pane.get()), frame->hwnd), std::max(0, right - 100));
        int top = frame->ribbonHeight;
        MoveWindow(pw, right - width, top, width, std::max(0, static_cast<int>(r.bottom) - top), TRUE);
        ShowWindow(pw, SW_SHOW);
        right -= width + 2;
    }
    MoveWindow(frame->docArea, 0, frame->ribbonHeight, std::max(0, right),
               std::max(0, static_cast<int>(r.bottom) - frame->ribbonHeight), TRUE);
    InvalidateRect(frame->hwnd, nullptr, TRUE);
}

void Host::ShowAll(bool show) {
    if (visible == show) return;
    visible = show;
    for (auto& f : frames) ShowWindow(f->hwnd, show ? SW_SHOWNORMAL : SW_HIDE);
    if (show) ActivateFrame(ActiveFrame());
}

void Host::Quit() {
    if (quitting) return;
    quitting = true;
    if (embedding) CoSuspendClassObjects();
    PostQuitMessage(0);
}

void Host::EndWhenUnused() {
    if (quitting || !embedding || userControl || visible || frames.empty()) return;
    // No new client may start meanwhile; resumed if the host stays.
    CoSuspendClassObjects();
    if (!PostMessageW(frames.front()->hwnd, kEndIfUnusedMessage, 0, 0)) EndIfUnused();
}

void Host::EndIfUnused() {
    if (quitting) return;
    if (!embedding || userControl || visible || ExternalConnections() > 0) {
        CoResumeClassObjects();
        return;
    }
    Log("host", "last external client released the application; ending");
    Quit();
}

}  // namespace hostsim
