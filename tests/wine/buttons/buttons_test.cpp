// The skinned buttons as real windows: a dialog whose push buttons are attached, and buttons
// created as children. Each state is rendered through the button's own WM_DRAWITEM path
// (WM_PRINTCLIENT into a memory DC) and compared pixel by pixel with what the portable shade
// core and the image resources say; the caption is checked by its colour. With a folder
// argument the test also saves screenshots (BMP) of the window in each state.
//
//   buttons_test.exe [SCREENS_FOLDER]
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "addin/base/ui/ButtonPlacement.h"
#include "addin/base/ui/ShadeButtonST.h"
#include "platform/WinHandles.h"
#include "tests/wine/buttons/resource.h"

namespace kv {
namespace {

std::wstring g_screens;  // empty: no screenshots

// A 32-bit top-down picture of a window or a reference, as 0x00RRGGBB values.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
    uint32_t& at(int x, int y) { return px[static_cast<size_t>(y) * width + x]; }
};

uint32_t Rgb32(const Rgb& c) {
    return uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
}
uint32_t FromColorRef(COLORREF c) {
    return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
}
std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "%06X", static_cast<unsigned>(v));
    return b;
}

// A DIB section with its memory DC, for rendering into and reading back.
class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;  // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        dc_.reset(::CreateCompatibleDC(nullptr));
        bmp_.reset(::CreateDIBSection(dc_.get(), &bi, DIB_RGB_COLORS, &bits_, nullptr, 0));
        old_ = ::SelectObject(dc_.get(), bmp_.get());
    }
    ~Canvas() { ::SelectObject(dc_.get(), old_); }
    HDC dc() const { return dc_.get(); }
    Picture Read() const {
        ::GdiFlush();
        Picture p{w_, h_, std::vector<uint32_t>(static_cast<size_t>(w_) * h_)};
        const auto* src = static_cast<const uint32_t*>(bits_);
        for (size_t k = 0; k < p.px.size(); ++k) p.px[k] = src[k] & 0xFFFFFF;
        return p;
    }
    void Write(const Picture& p) {
        auto* dst = static_cast<uint32_t*>(bits_);
        for (size_t k = 0; k < p.px.size(); ++k) dst[k] = p.px[k];
    }

private:
    int w_, h_;
    UniqueMemoryDc dc_;
    UniqueBitmap bmp_;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

SIZE ClientSize(HWND w) {
    RECT r{};
    ::GetClientRect(w, &r);
    return SIZE{r.right, r.bottom};
}

// The button as it draws itself: WM_PRINTCLIENT makes the button ask its parent to draw it,
// exactly as a WM_PAINT does.
Picture Render(HWND button) {
    const SIZE s = ClientSize(button);
    Canvas c(s.cx, s.cy);
    ::SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(c.dc()), PRF_CLIENT);
    return c.Read();
}

// The button's pixels as they are on the screen, after it has painted.
void Pump();

// (Wine's display driver copies a window's drawing to the screen while messages are processed.)
Picture ScreenGrab(HWND button) {
    ::RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Pump();
    RECT r{};
    ::GetWindowRect(button, &r);
    Canvas c(r.right - r.left, r.bottom - r.top);
    {
        WindowDc screen(nullptr);
        ::BitBlt(c.dc(), 0, 0, r.right - r.left, r.bottom - r.top, screen.get(), r.left, r.top, SRCCOPY);
    }
    return c.Read();
}

// A bitmap resource of the test program as pixels.
Picture LoadBitmapPixels(int id) {
    UniqueBitmap b(static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAP info{};
    if (!b || !::GetObjectW(b.get(), sizeof info, &info)) return Picture{};
    Canvas c(info.bmWidth, std::abs(info.bmHeight));
    UniqueMemoryDc src(::CreateCompatibleDC(nullptr));
    SelectedObject sel(src.get(), b.get());
    ::BitBlt(c.dc(), 0, 0, info.bmWidth, std::abs(info.bmHeight), src.get(), 0, 0, SRCCOPY);
    return c.Read();
}

// The background a shade button must show, from the portable core.
Picture ExpectedShade(int kind, int w, int h, bool hover, bool pressed) {
    Palette normalColours{};
    NormalPalette(kind, &normalColours);
    const Palette hoverColours = HoverPalette();
    Picture p{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t v;
            if (!hover) {
                v = Rgb32(normalColours[NormalPixel(kind, h - 1 - y, x, w, h)]);
            } else {
                // Pressed: the hover picture one pixel down-right.
                const int sx = pressed && x > 0 ? x - 1 : x, sy = pressed && y > 0 ? y - 1 : y;
                v = Rgb32(hoverColours[HoverPixel(h - 1 - sy, sx, w, h)]);
            }
            p.at(x, y) = v;
        }
    if (hover && pressed) {
        // The flat button's sunken border over the picture.
        const uint32_t shadow = FromColorRef(::GetSysColor(COLOR_BTNSHADOW));
        const uint32_t light = FromColorRef(::GetSysColor(COLOR_BTNHILIGHT));
        for (int x = 0; x < w; ++x) {
            p.at(x, 0) = x < w - 1 ? shadow : light;
            p.at(x, h - 1) = light;
        }
        for (int y = 0; y < h; ++y) {
            if (y < h - 1) p.at(0, y) = shadow;
            p.at(w - 1, y) = light;
        }
    }
    return p;
}

void OverlayBitmap(Picture* p, const Picture& image, COLORREF transparent, int left, int top) {
    const uint32_t key = FromColorRef(transparent);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.at(x, y) != key && left + x >= 0 && top + y >= 0 && left + x < p->width && top + y < p->height)
                p->at(left + x, top + y) = image.at(x, y);
}

void OverlayIcon(Picture* p, int iconId, int left, int top) {
    UniqueIcon icon(
        static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON, 0, 0, 0)));
    ASSERT_TRUE(icon) << iconId;
    Canvas c(p->width, p->height);
    c.Write(*p);
    ::DrawIconEx(c.dc(), left, top, icon.get(), 0, 0, 0, nullptr, DI_NORMAL);
    *p = c.Read();
}

// The caption's box in the button, measured with the button's font.
IntRect CaptionBox(HWND button, const IntRect& area, bool pressed) {
    wchar_t text[256] = {};
    ::GetWindowTextW(button, text, 256);
    UniqueFont font(::CreateFontW(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, HANGUL_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"굴림"));
    Canvas c(4, 4);
    SelectedObject sel(c.dc(), font.get());
    RECT m{0, 0, area.width(), 0};
    ::DrawTextW(c.dc(), text, -1, &m, DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
    return PlaceCaption(area, m.right, m.bottom, pressed, false);
}

bool Inside(const IntRect& r, int x, int y, int margin) {
    return x >= r.left - margin && x < r.right + margin && y >= r.top - margin && y < r.bottom + margin;
}

// Compares every pixel outside the caption's box; reports the first few differences.
void ExpectPixels(const Picture& got, const Picture& want, const IntRect& skip, const char* what) {
    ASSERT_EQ(got.width, want.width) << what;
    ASSERT_EQ(got.height, want.height) << what;
    int bad = 0;
    std::string first;
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) {
            if (Inside(skip, x, y, 2)) continue;
            if (got.at(x, y) != want.at(x, y)) {
                if (++bad <= 5)
                    first += " (" + std::to_string(x) + "," + std::to_string(y) + ") got " + Hex(got.at(x, y)) +
                             " want " + Hex(want.at(x, y));
            }
        }
    EXPECT_EQ(bad, 0) << what << ":" << first;
}

// The darkest pixel inside the caption's box: the text colour where a stroke is solid.
uint32_t DarkestIn(const Picture& p, const IntRect& box) {
    uint32_t best = 0xFFFFFF;
    int bestSum = 3 * 255 + 1;
    for (int y = std::max(box.top, 0); y < std::min(box.bottom, p.height); ++y)
        for (int x = std::max(box.left, 0); x < std::min(box.right, p.width); ++x) {
            const uint32_t v = p.at(x, y);
            const int sum = int(v >> 16) + int((v >> 8) & 0xFF) + int(v & 0xFF);
            if (sum < bestSum) {
                bestSum = sum;
                best = v;
            }
        }
    return best;
}

void Pump() {
    MSG m;
    for (int round = 0; round < 5; ++round) {
        while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&m);
            ::DispatchMessageW(&m);
        }
        ::Sleep(10);
    }
}

// Mouse messages as the system sends them, at a point in the button's client coordinates.
void MouseMove(HWND w, int x, int y, WPARAM keys = 0) {
    ::SendMessageW(w, WM_MOUSEMOVE, keys, MAKELPARAM(x, y));
}

// --- The test window ---------------------------------------------------------------------

struct Fixture {
    HWND top = nullptr;
    HWND dialog = nullptr;
    std::vector<int> clicks;
    CShadeButtonST header, entry, selected, dimmed, closedHeader, message, banner;
    CButtonST popup, raised;
};
Fixture* g = nullptr;

INT_PTR CALLBACK DialogProc(HWND d, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG: return TRUE;
        case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
        case WM_COMMAND:
            if (HIWORD(wp) == BN_CLICKED && g) g->clicks.push_back(LOWORD(wp));
            return TRUE;
        default: return FALSE;
    }
}

LRESULT CALLBACK TopProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED && g) g->clicks.push_back(LOWORD(wp));
    if (msg == WM_ERASEBKGND) {
        RECT r;
        ::GetClientRect(w, &r);
        ::FillRect(reinterpret_cast<HDC>(wp), &r, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        return 1;
    }
    return ::DefWindowProcW(w, msg, wp, lp);
}

constexpr int kWidth = 300;

class Buttons : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
        WNDCLASSW wc{};
        wc.lpfnWndProc = TopProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"KvButtonsTest";
        ::RegisterClassW(&wc);
        g = new Fixture;
        g->top = ::CreateWindowExW(0, wc.lpszClassName, L"skinned buttons", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40,
                                   40, 340, 400, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(g->top);
        g->dialog = ::CreateDialogParamW(wc.hInstance, MAKEINTRESOURCEW(IDD_BUTTONS), g->top, DialogProc, 0);
        ASSERT_TRUE(g->dialog);
        ::MoveWindow(g->dialog, 0, 0, 320, 260, FALSE);

        // Attached from the dialog, as the result list does.
        ASSERT_TRUE(g->header.SubclassDlgItem(IDC_HEADER, g->dialog));
        g->header.Move(0, 1, kWidth, 20);
        g->header.SetCaption(L"무료 혜택 서식");
        EXPECT_TRUE(g->header.SetAlign(CButtonST::kAlignRight));
        EXPECT_TRUE(g->header.SetIcon(221));
        EXPECT_TRUE(g->header.SetShade(kShadeBlue, 3, 40, 5, 0));
        g->header.SetTooltipText(L"매일 정회원 서식 3건과 매주 프리미엄 서식 3건을 무료로 제공해드립니다.");

        auto entry = [](CShadeButtonST& b, int id, int y, const wchar_t* caption, int image, int dimmedImage,
                        int kind) {
            ASSERT_TRUE(b.SubclassDlgItem(id, g->dialog)) << id;
            b.Move(0, y, kWidth, 30);
            b.SetCaption(caption);
            EXPECT_TRUE(b.SetBtnCursor(218));
            EXPECT_TRUE(b.SetBitmaps(image, kListTransparent));
            if (dimmedImage) {
                EXPECT_TRUE(b.SetDimmedBitmap(dimmedImage, kListTransparent));
            }
            EXPECT_TRUE(b.SetShade(kind, 3, 40, 5, 0));
        };
        entry(g->entry, IDC_ENTRY, 21, L"이력서 기본 양식", 236, 239, kShadeWhite);
        entry(g->selected, IDC_SELECTED, 51, L"월간 매출 보고서", 226, 240, kShadeOrange);
        entry(g->dimmed, IDC_DIMMED, 81, L"발표 자료 (정회원 서식)", 237, 238, kShadeWhite);
        g->dimmed.SetDimmedStyle(true);

        ASSERT_TRUE(g->closedHeader.SubclassDlgItem(IDC_CLOSED_HEADER, g->dialog));
        g->closedHeader.Move(0, 112, kWidth, 20);
        g->closedHeader.SetCaption(L"서식 검색 결과");
        g->closedHeader.SetAlign(CButtonST::kAlignRight);
        EXPECT_TRUE(g->closedHeader.SetIcon(223));
        EXPECT_TRUE(g->closedHeader.SetShade(kShadeBlue, 3, 40, 5, 0));

        ASSERT_TRUE(g->message.SubclassDlgItem(IDC_MESSAGE, g->dialog));
        g->message.Move(0, 133, kWidth, 60);
        g->message.SetCaption(L"무료 서식이 없습니다\r\n\r\n추천 서식을 이용해 주세요");
        g->message.SetBtnCursor(218);
        EXPECT_TRUE(g->message.SetShade(kShadeWhite, 3, 40, 5, 0));

        // Created as children, as the pane and the popup do.
        EXPECT_TRUE(g->popup.Create(g->dialog, RECT{10, 196, 76, 250}, nullptr, WS_VISIBLE | BS_PUSHBUTTON, IDC_POPUP));
        EXPECT_TRUE(g->popup.SetBitmaps(258, kWhiteTransparent));
        g->popup.SetColors(RGB(255, 255, 255), RGB(255, 255, 255), RGB(0, 0, 0));
        g->popup.SetBtnCursor(218);
        EXPECT_TRUE(
            g->raised.Create(g->dialog, RECT{90, 210, 210, 236}, L"일반 버튼", WS_VISIBLE | BS_PUSHBUTTON, IDC_RAISED));
        g->raised.SetFlat(false);
        EXPECT_TRUE(
            g->banner.Create(g->top, RECT{0, 270, kWidth, 300}, L"케스트로바 서식 배너", WS_VISIBLE, IDC_BANNER));
        g->banner.SetAlign(CButtonST::kAlignRight);
        g->banner.SetBtnCursor(218);
        EXPECT_TRUE(g->banner.SetShade(kShadeBlue, 3, 40, 5, 0));

        ::SetCursorPos(5, 5);  // away from the window: the cases move the pointer by messages
        ::ShowWindow(g->top, SW_SHOW);
        ::SetForegroundWindow(g->top);
        ::SetActiveWindow(g->top);
        ::UpdateWindow(g->top);
        Pump();
    }
    static void TearDownTestSuite() {
        if (g && g->top) ::DestroyWindow(g->top);
        delete g;
        g = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(g && g->top);
        // Every case starts with the pointer away from all buttons.
        for (CButtonST* b : {static_cast<CButtonST*>(&g->header), static_cast<CButtonST*>(&g->entry),
                             static_cast<CButtonST*>(&g->selected), static_cast<CButtonST*>(&g->dimmed),
                             static_cast<CButtonST*>(&g->closedHeader), static_cast<CButtonST*>(&g->message)})
            if (b->mouseOver()) MouseMove(b->hwnd(), -20, -20);
        g->clicks.clear();
    }
};

void Screenshot(const wchar_t* name) {
    if (g_screens.empty()) return;
    ::RedrawWindow(g->top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    RECT r{};
    ::GetWindowRect(g->top, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    Canvas c(w, h);
    {
        // What is on the screen, frame included.
        WindowDc screen(nullptr);
        ::BitBlt(c.dc(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
    }
    const Picture p = c.Read();
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof ih;
    ih.biWidth = w;
    ih.biHeight = -h;
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(p.px.size() * 4);
    const std::wstring path = g_screens + L"\\buttons-" + name + L".bmp";
    UniqueFile f(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(f) << "cannot write a screenshot";
    DWORD n = 0;
    ::WriteFile(f.get(), &fh, sizeof fh, &n, nullptr);
    ::WriteFile(f.get(), &ih, sizeof ih, &n, nullptr);
    ::WriteFile(f.get(), p.px.data(), static_cast<DWORD>(p.px.size() * 4), &n, nullptr);
}

// The whole expected picture of a list entry: background, image, caption box skipped.
void CheckEntry(CShadeButtonST& b, int kind, int imageId, bool hover, bool pressed, const char* what) {
    const HWND w = b.hwnd();
    const SIZE s = ClientSize(w);
    Picture want = ExpectedShade(kind, s.cx, s.cy, hover, pressed);
    const Picture image = LoadBitmapPixels(imageId);
    ASSERT_EQ(image.width, 20) << imageId;
    const ContentPlacement place =
        PlaceContent(IntRect{0, 0, s.cx, s.cy}, image.width, image.height, true, CButtonST::kAlignLeft, pressed);
    OverlayBitmap(&want, image, kListTransparent, place.image.left, place.image.top);
    const Picture got = Render(w);
    ExpectPixels(got, want, CaptionBox(w, place.caption, pressed), what);
}

TEST_F(Buttons, NormalEntriesShowTheirShadeAndImage) {
    CheckEntry(g->entry, kShadeWhite, 236, false, false, "kind 9 entry");
    CheckEntry(g->selected, kShadeOrange, 226, false, false, "kind 11 selected entry");
    // A normal caption is drawn in the caption colour (black).
    const SIZE s = ClientSize(g->entry.hwnd());
    const ContentPlacement place = PlaceContent(IntRect{0, 0, s.cx, s.cy}, 20, 20, true, 0, false);
    const uint32_t darkest = DarkestIn(Render(g->entry.hwnd()), CaptionBox(g->entry.hwnd(), place.caption, false));
    EXPECT_LT(int(darkest >> 16) + int((darkest >> 8) & 0xFF) + int(darkest & 0xFF), 3 * 0x40) << Hex(darkest);
    Screenshot(L"normal");
}

TEST_F(Buttons, HoverCapturesThePointerAndLeavingReleasesIt) {
    const HWND w = g->entry.hwnd();
    MouseMove(w, 150, 15);
    EXPECT_TRUE(g->entry.mouseOver());
    EXPECT_EQ(::GetCapture(), w);
    CheckEntry(g->entry, kShadeWhite, 236, true, false, "hovered kind 9 entry (the warm bump)");
    // What reaches the screen is the same picture, caption included.
    ExpectPixels(ScreenGrab(w), Render(w), IntRect{}, "hovered entry on the screen");
    Screenshot(L"hovered");

    // The pointer moves onto the next entry: the mark goes, the capture is released.
    MouseMove(w, 150, 45);
    EXPECT_FALSE(g->entry.mouseOver());
    EXPECT_NE(::GetCapture(), w);
    CheckEntry(g->entry, kShadeWhite, 236, false, false, "entry after the pointer left");
}

TEST_F(Buttons, LeavingWithTheLeftButtonHeldKeepsTheCapture) {
    const HWND w = g->entry.hwnd();
    MouseMove(w, 150, 15);
    ASSERT_EQ(::GetCapture(), w);
    MouseMove(w, 150, 45, MK_LBUTTON);
    EXPECT_FALSE(g->entry.mouseOver());
    EXPECT_EQ(::GetCapture(), w);
    ::ReleaseCapture();
}

TEST_F(Buttons, PressedHoverPictureMovesDownRight) {
    const HWND w = g->selected.hwnd();
    MouseMove(w, 150, 15);
    ASSERT_TRUE(g->selected.mouseOver());
    ::SendMessageW(w, BM_SETSTATE, TRUE, 0);
    CheckEntry(g->selected, kShadeOrange, 226, true, true, "pressed entry");
    Screenshot(L"pressed");
    ::SendMessageW(w, BM_SETSTATE, FALSE, 0);
    CheckEntry(g->selected, kShadeOrange, 226, true, false, "released entry, still hovered");
}

TEST_F(Buttons, ClickNotifiesAndHoverSurvivesIt) {
    const HWND w = g->entry.hwnd();
    POINT at{150, 15};
    ::ClientToScreen(w, &at);
    ::SetCursorPos(at.x, at.y);
    MouseMove(w, 150, 15);
    ::SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 15));
    ::SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(150, 15));
    Pump();
    ASSERT_EQ(g->clicks.size(), 1u);
    EXPECT_EQ(g->clicks[0], IDC_ENTRY);
    // The button's own click handling drops the capture; the hover mark and capture come back
    // while the pointer is still over it, so leaving still clears the hover look.
    EXPECT_TRUE(g->entry.mouseOver());
    EXPECT_EQ(::GetCapture(), w);
    MouseMove(w, 150, 45);
    EXPECT_FALSE(g->entry.mouseOver());
    EXPECT_NE(::GetCapture(), w);

    // A click after which the pointer is elsewhere (a dialog ran meanwhile) leaves no hover.
    MouseMove(w, 150, 15);
    ::SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 15));
    ::SetCursorPos(5, 5);  // outside the test window, where the pointer stays from now on
    ::SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(150, 15));
    EXPECT_FALSE(g->entry.mouseOver());
    EXPECT_NE(::GetCapture(), w);
    Pump();
}

TEST_F(Buttons, DimmedEntryShowsDimmedImageGreyCaptionAndStillHovers) {
    const HWND w = g->dimmed.hwnd();
    CheckEntry(g->dimmed, kShadeWhite, 238, false, false, "dimmed entry");
    const SIZE s = ClientSize(w);
    const ContentPlacement place = PlaceContent(IntRect{0, 0, s.cx, s.cy}, 20, 20, true, 0, false);
    EXPECT_EQ(DarkestIn(Render(w), CaptionBox(w, place.caption, false)), 0xA9A9A9u);
    Screenshot(L"dimmed");

    MouseMove(w, 150, 15);
    EXPECT_TRUE(g->dimmed.mouseOver());
    CheckEntry(g->dimmed, kShadeWhite, 238, true, false, "hovered dimmed entry");
    const uint32_t grey = DarkestIn(Render(w), CaptionBox(w, place.caption, false));
    EXPECT_EQ(grey, 0xA9A9A9u) << Hex(grey);
    MouseMove(w, 150, -20);
}

TEST_F(Buttons, WithoutAnOutImageTheFirstIsUsedInEveryState) {
    // The entry has no out image: hovered and normal both show bitmap 236 (CheckEntry overlays it).
    CheckEntry(g->entry, kShadeWhite, 236, false, false, "out");
    MouseMove(g->entry.hwnd(), 150, 15);
    CheckEntry(g->entry, kShadeWhite, 236, true, false, "in");
}

TEST_F(Buttons, FlatButtonsMarkTheFocusOnlyWhenAsked) {
    const HWND w = g->entry.hwnd();
    ::SetFocus(w);
    const SIZE s = ClientSize(w);
    struct Case {
        bool mark;
        bool framed;
    } cases[] = {{false, false}, {true, true}, {false, false}};
    for (const Case& c : cases) {
        g->entry.SetFocusMark(c.mark);
        const Picture got = Render(w);
        const Picture want = ExpectedShade(kShadeWhite, s.cx, s.cy, g->entry.mouseOver(), false);
        // The dotted frame runs one pixel inside the edge; the shade alone fills that row.
        int marked = 0;
        for (int x = 2; x < s.cx - 2; ++x) marked += got.at(x, 1) != want.at(x, 1) ? 1 : 0;
        EXPECT_EQ(marked > 0, c.framed) << "mark " << c.mark << ": " << marked << " pixels differ";
    }
}

TEST_F(Buttons, HeadersShowTheirIconAtTheRightOnKindTen) {
    struct Case {
        CShadeButtonST* button;
        int icon;
    } cases[] = {{&g->header, 221}, {&g->closedHeader, 223}};
    for (const Case& c : cases) {
        const SIZE s = ClientSize(c.button->hwnd());
        ASSERT_EQ(s.cy, 20);
        Picture want = ExpectedShade(kShadeBlue, s.cx, s.cy, false, false);
        const ContentPlacement place =
            PlaceContent(IntRect{0, 0, s.cx, s.cy}, 32, 16, true, CButtonST::kAlignRight, false);
        EXPECT_EQ(place.image.left, kWidth - 35);
        OverlayIcon(&want, c.icon, place.image.left, place.image.top);
        ExpectPixels(Render(c.button->hwnd()), want, CaptionBox(c.button->hwnd(), place.caption, false), "header");
    }
    Screenshot(L"headers");
}

TEST_F(Buttons, KindNineIsWhiteAtAnySize) {
    // The message box: 60 pixels high, no image; everything outside the text is white.
    const SIZE s = ClientSize(g->message.hwnd());
    const Picture got = Render(g->message.hwnd());
    const Picture want = ExpectedShade(kShadeWhite, s.cx, s.cy, false, false);
    ExpectPixels(got, want, CaptionBox(g->message.hwnd(), IntRect{0, 0, s.cx, s.cy}, false), "message box");
    EXPECT_EQ(want.at(0, 0), 0xFFFFFFu);
    // Resized and shaded again, the pictures follow the new size.
    g->message.Move(0, 133, 200, 40);
    ASSERT_TRUE(g->message.SetShade(kShadeWhite, 3, 40, 5, 0));
    EXPECT_EQ(g->message.normalPicture().width(), 200);
    EXPECT_EQ(g->message.hoverPicture().height(), 40);
    g->message.Move(0, 133, kWidth, 60);
    ASSERT_TRUE(g->message.SetShade(kShadeWhite, 3, 40, 5, 0));
}

TEST_F(Buttons, NonFlatButtonNeverTracksHover) {
    const HWND w = g->raised.hwnd();
    MouseMove(w, 20, 10);
    EXPECT_FALSE(g->raised.mouseOver());
    EXPECT_NE(::GetCapture(), w);
    // Raised 3-D edge: the outer top-left line in the highlight colour, bottom-right dark shadow.
    const Picture p = Render(w);
    EXPECT_EQ(p.at(5, 0), FromColorRef(::GetSysColor(COLOR_BTNHILIGHT)));
    EXPECT_EQ(p.at(5, p.height - 1), FromColorRef(::GetSysColor(COLOR_3DDKSHADOW)));
    EXPECT_EQ(p.at(p.width - 1, 5), FromColorRef(::GetSysColor(COLOR_3DDKSHADOW)));
    EXPECT_EQ(p.at(5, p.height - 2), FromColorRef(::GetSysColor(COLOR_BTNSHADOW)));
}

TEST_F(Buttons, TooltipAndHandCursor) {
    // The header's tooltip holds its text for the header's window.
    const HWND tip = g->header.tooltip();
    ASSERT_TRUE(tip);
    EXPECT_EQ(::SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    wchar_t text[200] = {};
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = g->dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(g->header.hwnd());
    tool.lpszText = text;
    ::SendMessageW(tip, TTM_GETTEXTW, 200, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(text, L"매일 정회원 서식 3건과 매주 프리미엄 서식 3건을 무료로 제공해드립니다.");
    EXPECT_EQ(g->entry.tooltip(), nullptr);

    // Over an entry the button sets its own cursor; the header has none and leaves it to
    // the default handling.
    const LRESULT handled = ::SendMessageW(g->entry.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(g->entry.hwnd()),
                                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(handled, TRUE);
    const HCURSOR hand = ::GetCursor();
    EXPECT_NE(hand, ::LoadCursorW(nullptr, IDC_ARROW));
    ::SendMessageW(g->header.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(g->header.hwnd()),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(::GetCursor(), hand);
}

TEST_F(Buttons, AlignmentOutOfRangeIsIgnored) {
    EXPECT_FALSE(g->header.SetAlign(5));
    EXPECT_EQ(g->header.align(), CButtonST::kAlignRight);
    EXPECT_FALSE(g->header.SetAlign(-1));
    EXPECT_EQ(g->header.align(), CButtonST::kAlignRight);
}

TEST_F(Buttons, DisablingAHoveredButtonClearsTheHover) {
    const HWND w = g->entry.hwnd();
    MouseMove(w, 150, 15);
    ASSERT_TRUE(g->entry.mouseOver());
    ::EnableWindow(w, FALSE);
    EXPECT_FALSE(g->entry.mouseOver());
    EXPECT_NE(::GetCapture(), w);
    ::EnableWindow(w, TRUE);
}

TEST_F(Buttons, PopupBitmapButtonOnWhite) {
    // A plain CButtonST with a white-transparent bitmap, on a white background.
    const HWND w = g->popup.hwnd();
    const Picture image = LoadBitmapPixels(258);
    ASSERT_GT(image.width, 0);
    // The picture is drawn for its place in the popup: the button is given room for all of it.
    ::SetWindowPos(w, nullptr, 0, 0, image.width + 10, image.height + 10, SWP_NOMOVE | SWP_NOZORDER);
    const SIZE s = ClientSize(w);
    Picture want{s.cx, s.cy, std::vector<uint32_t>(static_cast<size_t>(s.cx) * s.cy, 0xFFFFFF)};
    const ContentPlacement place = PlaceContent(IntRect{0, 0, s.cx, s.cy}, image.width, image.height, false, 0, false);
    OverlayBitmap(&want, image, kWhiteTransparent, place.image.left, place.image.top);
    ExpectPixels(Render(w), want, IntRect{}, "popup button");
}

TEST_F(Buttons, ResourcesLoadAndBadIdsFailCleanly) {
    CShadeButtonST probe;
    EXPECT_FALSE(probe.SetShade(kShadeBlue));  // no window yet
    ASSERT_TRUE(probe.Create(g->dialog, RECT{0, 0, 10, 10}, L"", 0, 999));
    EXPECT_FALSE(probe.SetBitmaps(4242, kListTransparent));
    EXPECT_FALSE(probe.SetIcon(4242));
    EXPECT_FALSE(probe.SetBtnCursor(4242));
    EXPECT_FALSE(probe.SetShade(12));
    EXPECT_TRUE(probe.SetShade(kShadeOrange));
    EXPECT_EQ(probe.shade(), kShadeOrange);
    // Attaching twice, or to something that is not a button, is refused.
    EXPECT_FALSE(probe.Attach(g->entry.hwnd()));
    CButtonST other;
    EXPECT_FALSE(other.Attach(g->dialog));
    EXPECT_FALSE(other.SubclassDlgItem(4242, g->dialog));
    const HWND created = probe.hwnd();
    probe.Detach();
    EXPECT_FALSE(::IsWindow(created)) << "a created button goes with its object";
    // Every resource the pane uses is in the module.
    for (int id : {226, 236, 237, 238, 239, 240, 256, 257, 258, 259, 260, 262, 263, 264, 266, 267, 268, 275})
        EXPECT_GT(LoadBitmapPixels(id).width, 0) << id;
    EXPECT_EQ(LoadBitmapPixels(275).width, 3);
    EXPECT_EQ(LoadBitmapPixels(275).height, 1);
    UniqueIcon hand(
        static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(218), IMAGE_CURSOR, 0, 0, 0)));
    EXPECT_TRUE(hand);
}

TEST_F(Buttons, AttachedButtonOutlivesItsObjectAndDrawsPlainAgain) {
    // An object that goes away leaves the dialog's window in place (unsubclassed) and the
    // parent's remaining buttons still drawing.
    const HWND w = ::CreateWindowExW(0, L"BUTTON", L"x", WS_CHILD | BS_PUSHBUTTON, 0, 0, 10, 10, g->dialog, nullptr,
                                     nullptr, nullptr);
    {
        CButtonST temporary;
        ASSERT_TRUE(temporary.Attach(w));
    }
    EXPECT_TRUE(::IsWindow(w));
    ::DestroyWindow(w);
    CheckEntry(g->entry, kShadeWhite, 236, false, false, "entry after another button left");
}

}  // namespace
}  // namespace kv

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) kv::g_screens = argv[1];
    return RUN_ALL_TESTS();
}
