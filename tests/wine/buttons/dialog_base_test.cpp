// The one dialog procedure (DialogBase) and the resource module, as real windows: the object
// receives exactly the messages from WM_INITDIALOG to WM_NCDESTROY, finds its window through
// dialog() meanwhile and never after, and no exception of a handler leaves the procedure.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "addin/base/com/ComServer.h"
#include "addin/base/ui/DialogBase.h"
#include "addin/base/ui/ResourceModule.h"
#include "tests/wine/buttons/resource.h"

namespace kv {
namespace {

constexpr UINT kThrow = WM_APP + 1;   // the handler throws
constexpr UINT kAnswer = WM_APP + 2;  // the handler answers 42
constexpr UINT kEnd = WM_APP + 3;     // the handler ends the modal dialog with wp

// Records what it is told; throws where a test asks it to.
class Recorder : public DialogBase {
public:
    using DialogBase::CreateModeless;
    using DialogBase::RunModal;

    std::vector<UINT> seen;
    HWND atInit = nullptr;
    HWND userDataAtInit = nullptr;
    int finals = 0;
    bool throwAtInit = false;
    bool endAtInit = false;

private:
    INT_PTR OnMessage(UINT message, WPARAM wp, LPARAM) override {
        seen.push_back(message);
        switch (message) {
            case WM_INITDIALOG:
                atInit = dialog();
                userDataAtInit = reinterpret_cast<HWND>(::GetWindowLongPtrW(dialog_, DWLP_USER));
                if (throwAtInit) throw std::runtime_error("init");
                if (endAtInit) ::PostMessageW(dialog_, kEnd, 7, 0);
                return TRUE;
            case kThrow: throw std::runtime_error("handler");
            case kAnswer: ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, 42); return TRUE;
            case kEnd: ::EndDialog(dialog_, static_cast<INT_PTR>(wp)); return TRUE;
            default: return FALSE;
        }
    }
    void OnFinalMessage() override { ++finals; }
};

size_t Count(const std::vector<UINT>& seen, UINT message) {
    size_t n = 0;
    for (UINT m : seen) n += m == message;
    return n;
}

HMODULE Exe() {
    return ::GetModuleHandleW(nullptr);
}

TEST(DialogBase, ModelessDialogSeesInitFirstAndFinalMessageLast) {
    Recorder r;
    HWND w = r.CreateModeless(Exe(), IDD_PLAIN, nullptr);
    ASSERT_TRUE(w);
    EXPECT_EQ(r.dialog(), w);
    EXPECT_EQ(r.atInit, w);
    // The object is in DWLP_USER before its first message.
    EXPECT_EQ(reinterpret_cast<void*>(r.userDataAtInit), static_cast<void*>(static_cast<DialogBase*>(&r)));
    ASSERT_FALSE(r.seen.empty());
    // WM_SETFONT and the rest before WM_INITDIALOG go to the default handling, not the object.
    EXPECT_EQ(r.seen.front(), static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(Count(r.seen, WM_INITDIALOG), 1u);
    EXPECT_EQ(Count(r.seen, WM_SETFONT), 0u);
    EXPECT_TRUE(::DestroyWindow(w));
    EXPECT_EQ(r.seen.back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(r.finals, 1);
    EXPECT_EQ(r.dialog(), nullptr);
}

TEST(DialogBase, AnswersAndExceptionsOfHandlers) {
    Recorder r;
    HWND w = r.CreateModeless(Exe(), IDD_PLAIN, nullptr);
    ASSERT_TRUE(w);
    // A handled message's DWLP_MSGRESULT is what the sender gets.
    EXPECT_EQ(::SendMessageW(w, kAnswer, 0, 0), 42);
    // A throwing handler has not handled the message; the window lives on and still answers.
    EXPECT_EQ(::SendMessageW(w, kThrow, 0, 0), 0);
    EXPECT_TRUE(::IsWindow(w));
    EXPECT_EQ(r.dialog(), w);
    EXPECT_EQ(::SendMessageW(w, kAnswer, 0, 0), 42);
    EXPECT_EQ(Count(r.seen, kThrow), 1u);
    ::DestroyWindow(w);
    EXPECT_EQ(r.finals, 1);
}

TEST(DialogBase, ThrowAtInitStillMakesTheDialog) {
    Recorder r;
    r.throwAtInit = true;
    HWND w = r.CreateModeless(Exe(), IDD_PLAIN, nullptr);
    ASSERT_TRUE(w);
    EXPECT_EQ(r.dialog(), w);
    ::DestroyWindow(w);
    EXPECT_EQ(r.dialog(), nullptr);
}

TEST(DialogBase, ModalRunReturnsTheEndResultAndForgetsTheWindow) {
    Recorder r;
    r.endAtInit = true;
    EXPECT_EQ(r.RunModal(Exe(), IDD_PLAIN, nullptr), 7);
    EXPECT_EQ(r.dialog(), nullptr);
    EXPECT_EQ(Count(r.seen, WM_INITDIALOG), 1u);
    EXPECT_EQ(Count(r.seen, kEnd), 1u);
    EXPECT_EQ(r.finals, 1);
}

TEST(DialogBase, MissingTemplatesFailWithoutAWindow) {
    const struct {
        const char* what;
        bool modal;
    } cases[] = {{"modeless", false}, {"modal", true}};
    for (const auto& c : cases) {
        Recorder r;
        if (c.modal) {
            EXPECT_EQ(r.RunModal(Exe(), 4999, nullptr), -1) << c.what;
        } else {
            EXPECT_EQ(r.CreateModeless(Exe(), 4999, nullptr), nullptr) << c.what;
        }
        EXPECT_TRUE(r.seen.empty()) << c.what;
        EXPECT_EQ(r.dialog(), nullptr) << c.what;
        EXPECT_EQ(r.finals, 0) << c.what;
    }
}

// The named module first, then the library's (set from DllMain), then the one holding the code.
TEST(ResourceModule, NamedThenLibraryThenThisCode) {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    ASSERT_TRUE(kernel);
    ASSERT_EQ(ModuleHandle(), nullptr);
    EXPECT_EQ(ResourceModule(kernel), kernel);
    EXPECT_EQ(ResourceModule(), Exe());
    SetModuleHandle(kernel);
    EXPECT_EQ(ResourceModule(), kernel);
    EXPECT_EQ(ResourceModule(Exe()), Exe());
    SetModuleHandle(nullptr);
    EXPECT_EQ(ResourceModule(), Exe());
}

}  // namespace
}  // namespace kv
