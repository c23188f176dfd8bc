#include "addin/base/ui/DialogBase.h"

namespace kv {

INT_PTR DialogBase::RunModal(HMODULE module, int templateId, HWND owner) {
    const INT_PTR result =
        ::DialogBoxParamW(module, MAKEINTRESOURCEW(templateId), owner, &DialogProc, reinterpret_cast<LPARAM>(this));
    dialog_ = nullptr;
    return result;
}

HWND DialogBase::CreateModeless(HMODULE module, int templateId, HWND owner) {
    return ::CreateDialogParamW(module, MAKEINTRESOURCEW(templateId), owner, &DialogProc,
                                reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<DialogBase*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<DialogBase*>(lp);
        ::SetWindowLongPtrW(dialog, DWLP_USER, lp);
        if (!self) return TRUE;
        self->dialog_ = dialog;
    }
    // The messages before WM_INITDIALOG (WM_SETFONT and the like) go to the default handling.
    if (!self) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->OnMessage(message, wp, lp);
    } catch (...) {
        // Nothing leaves a window procedure; a failed step leaves the dialog as far as it got.
        result = FALSE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, 0);
        self->dialog_ = nullptr;
        try {
            self->OnFinalMessage();
        } catch (...) {}
    }
    return result;
}

}  // namespace kv
