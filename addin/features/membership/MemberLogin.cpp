#include "addin/features/membership/MemberLogin.h"

#include "addin/base/shared/TextCut.h"

namespace kv {

NoticeText TextOf(LoginNotice notice) {
    switch (notice) {
        case LoginNotice::MissingId: return {"아이디를 입력하세요", "로그인 실패", true};
        case LoginNotice::MissingPassword: return {"비밀번호를 입력하세요", "로그인 실패", true};
        case LoginNotice::Refused:
            return {"아이디나 비밀번호가 일치하지 않습니다.\r\n다시 로그인 하시길 바랍니다", "로그인 실패", true};
        case LoginNotice::LoggedOut: return {"로그아웃 되었습니다", "로그아웃", false};
        case LoginNotice::LogoutUnreachable:
            return {
                "서버에 접속 할 수 없어 로그아웃 하지 못했습니다.\r\n네트워크 연결상태를 확인하시거나\r\n잠시후에 다시 "
                "시도하시길 바랍니다",
                "로그아웃", true};
    }
    return {"", "", true};
}

SubmitOutcome SubmitLogin(LoginPopupPort& popup, const Identity& identity) {
    if (popup.pendingAction() != pending::kNone) return SubmitOutcome::Busy;
    // The fields promise 249 bytes; cut again so that a longer text never reaches the page.
    const std::string id = CutCp949(popup.FieldText(login_field::kId));
    const std::string password = CutCp949(popup.FieldText(login_field::kPassword));
    if (id.empty()) {
        popup.Notify(LoginNotice::MissingId);
        return SubmitOutcome::MissingId;
    }
    if (password.empty()) {
        popup.Notify(LoginNotice::MissingPassword);
        return SubmitOutcome::MissingPassword;
    }
    if (!popup.PageHasDocument()) return SubmitOutcome::NoPage;
    popup.SetPageInput(kPageId, id);
    popup.SetPageInput(kPagePassword, password);
    popup.SetPageInput(kPageInstallId, identity.installId);
    popup.SetPageInput(kPageDistributionCode, identity.distributionCode);
    if (!popup.ClickPage(kPageSubmit)) return SubmitOutcome::NoSubmit;
    // The answer's completion comes through the message loop, after this returns.
    popup.SetPendingAction(pending::kLogin);
    return SubmitOutcome::Submitted;
}

LogoutOutcome StartLogout(LoginPopupPort& popup) {
    if (popup.pendingAction() != pending::kNone) return LogoutOutcome::Busy;
    if (!popup.NavigateLogoutPage()) {
        popup.Notify(LoginNotice::LogoutUnreachable);
        return LogoutOutcome::Unreachable;
    }
    popup.SetPendingAction(pending::kLogout);
    return LogoutOutcome::Started;
}

CompletionOutcome OnLoginBrowserComplete(LoginPopupPort& popup) {
    const int action = popup.pendingAction();
    if (action == pending::kLogin) {
        std::string body;
        const bool accepted = popup.PageBodyText(&body) && body == kLoginAccepted;
        // Cleared and the fresh form requested before anything modal runs: the reload's own
        // completion then finds nothing pending.
        popup.SetPendingAction(pending::kNone);
        popup.NavigateLoginPage();
        if (accepted) {
            popup.ShowLoginComplete();
            popup.End(1);
            return CompletionOutcome::LoggedIn;
        }
        popup.Notify(LoginNotice::Refused);
        popup.FocusIdField();
        return CompletionOutcome::Refused;
    }
    if (action == pending::kLogout) {
        popup.SetPendingAction(pending::kNone);
        if (!popup.PageHasDocument()) {
            // The service was not reached: the member is still logged in, and the popup
            // stays with a login page requested again for its hidden browser.
            popup.NavigateLoginPage();
            popup.Notify(LoginNotice::LogoutUnreachable);
            return CompletionOutcome::LogoutUnreachable;
        }
        popup.Notify(LoginNotice::LoggedOut);
        popup.End(1);
        return CompletionOutcome::LoggedOut;
    }
    return CompletionOutcome::Ignored;
}

}  // namespace kv
