// DialogBase: the one dialog procedure of the add-in's dialogs. The dialog is created with the
// object as its creation parameter; the procedure keeps the object in DWLP_USER from
// WM_INITDIALOG on and hands it every message from then on. No exception leaves the procedure:
// a handler that throws has not handled its message. Windows only.
//
//     class CSplash : public DialogBase {
//         INT_PTR OnMessage(UINT message, WPARAM wp, LPARAM lp) override;
//     };
//     splash.CreateModeless(module, IDD_LOADING_SPLASH, owner);   // or RunModal(...)
#pragma once
#include <windows.h>

namespace kv {

class DialogBase {
public:
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    // The dialog's window from WM_INITDIALOG until WM_NCDESTROY; null before and after.
    HWND dialog() const { return dialog_; }

protected:
    DialogBase() = default;
    virtual ~DialogBase() = default;

    // DialogBoxParamW with this object: the dialog's result, or -1 when it could not be made.
    INT_PTR RunModal(HMODULE module, int templateId, HWND owner);
    // CreateDialogParamW with this object: the dialog, or null when it could not be made.
    HWND CreateModeless(HMODULE module, int templateId, HWND owner);

    // Every message from WM_INITDIALOG to WM_NCDESTROY, as a dialog procedure answers it.
    virtual INT_PTR OnMessage(UINT message, WPARAM wp, LPARAM lp) = 0;
    // After WM_NCDESTROY, when the object no longer has a window.
    virtual void OnFinalMessage() {}

    HWND dialog_ = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);
};

}  // namespace kv
