// The login and logout steps of the preview popup against a scripted popup: what is filled,
// clicked and shown, in which order, and where the pending action stands at each modal step.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "addin/features/membership/MemberLogin.h"

namespace kv {
namespace {

class ScriptedPopup : public LoginPopupPort {
public:
    std::string id, password;
    int pending = pending::kNone;
    bool document = true;
    bool submitElement = true;
    bool bodyReadable = true;
    std::string body;
    bool logoutStarts = true;
    // A completion delivered from inside each modal step, as the reload's would be.
    bool completeInsideModal = false;
    std::vector<std::string> calls;
    std::map<std::string, std::string> inputs;
    std::vector<CompletionOutcome> nested;

    std::string FieldText(int field) override { return field == login_field::kId ? id : password; }
    int pendingAction() const override { return pending; }
    void SetPendingAction(int action) override {
        pending = action;
        calls.push_back("pending " + std::to_string(action));
    }
    bool PageHasDocument() override { return document; }
    bool SetPageInput(const char* element, const std::string& value) override {
        calls.push_back(std::string("set ") + element);
        inputs[element] = value;
        return true;
    }
    bool ClickPage(const char* element) override {
        if (!submitElement) return false;
        calls.push_back(std::string("click ") + element);
        return true;
    }
    bool PageBodyText(std::string* text) override {
        if (!bodyReadable) return false;
        *text = body;
        return true;
    }
    bool NavigateLoginPage() override {
        calls.push_back("reload");
        return true;
    }
    bool NavigateLogoutPage() override {
        calls.push_back("logout page");
        return logoutStarts;
    }
    void Notify(LoginNotice notice) override {
        calls.push_back("notice " + std::to_string(static_cast<int>(notice)) + " pending " + std::to_string(pending));
        Modal();
    }
    void FocusIdField() override { calls.push_back("focus id"); }
    void ShowLoginComplete() override {
        calls.push_back("complete dialog pending " + std::to_string(pending));
        Modal();
    }
    void End(int result) override { calls.push_back("end " + std::to_string(result)); }

private:
    void Modal() {
        if (completeInsideModal) nested.push_back(OnLoginBrowserComplete(*this));
    }
};

using Calls = std::vector<std::string>;
const std::string kNoticeMissingId =
    "notice " + std::to_string(static_cast<int>(LoginNotice::MissingId)) + " pending 0";
const std::string kNoticeMissingPassword =
    "notice " + std::to_string(static_cast<int>(LoginNotice::MissingPassword)) + " pending 0";
const std::string kNoticeRefused = "notice " + std::to_string(static_cast<int>(LoginNotice::Refused)) + " pending 0";
const std::string kNoticeLoggedOut =
    "notice " + std::to_string(static_cast<int>(LoginNotice::LoggedOut)) + " pending 0";
const std::string kNoticeUnreachable =
    "notice " + std::to_string(static_cast<int>(LoginNotice::LogoutUnreachable)) + " pending 0";

TEST(MemberLogin, Submit) {
    const Identity identity{"{0A1B-ID}", "kv5830146927713", true};
    struct Case {
        const char* name;
        std::string id, password;
        int pending;
        bool document, submitElement;
        SubmitOutcome outcome;
        Calls calls;
    };
    const Calls filled = {"set id", "set pwd", "set PID", "set bms_code"};
    Calls submitted = filled;
    submitted.insert(submitted.end(), {"click login_submit", "pending 1"});
    const Case cases[] = {
        {"both empty: only the id is asked for", "", "", 0, true, true, SubmitOutcome::MissingId, {kNoticeMissingId}},
        {"id without password", "kvfull", "", 0, true, true, SubmitOutcome::MissingPassword, {kNoticeMissingPassword}},
        {"password without id", "", "full1234", 0, true, true, SubmitOutcome::MissingId, {kNoticeMissingId}},
        {"login page not loaded", "kvfull", "full1234", 0, false, true, SubmitOutcome::NoPage, {}},
        {"page without login_submit", "kvfull", "full1234", 0, true, false, SubmitOutcome::NoSubmit, filled},
        {"answer still awaited", "kvfull", "full1234", 1, true, true, SubmitOutcome::Busy, {}},
        {"logout under way", "kvfull", "full1234", 2, true, true, SubmitOutcome::Busy, {}},
        {"sent", "kvfull", "full1234", 0, true, true, SubmitOutcome::Submitted, submitted},
    };
    for (const Case& c : cases) {
        ScriptedPopup popup;
        popup.id = c.id;
        popup.password = c.password;
        popup.pending = c.pending;
        popup.document = c.document;
        popup.submitElement = c.submitElement;
        EXPECT_EQ(SubmitLogin(popup, identity), c.outcome) << c.name;
        EXPECT_EQ(popup.calls, c.calls) << c.name;
        EXPECT_EQ(popup.pending, c.outcome == SubmitOutcome::Submitted ? 1 : c.pending) << c.name;
        if (c.outcome == SubmitOutcome::Submitted) {
            const std::map<std::string, std::string> want = {
                {"id", "kvfull"}, {"pwd", "full1234"}, {"PID", "{0A1B-ID}"}, {"bms_code", "kv5830146927713"}};
            EXPECT_EQ(popup.inputs, want);
        }
    }

    // A password longer than 249 bytes reaches the page cut to 249 bytes, and a Hangul id is
    // never cut inside a character.
    ScriptedPopup popup;
    popup.id = "\xB0\xA1";  // 가
    for (int i = 0; i < 125; ++i) popup.id += "\xB0\xA1";
    popup.password = std::string(300, 'p');
    EXPECT_EQ(SubmitLogin(popup, identity), SubmitOutcome::Submitted);
    EXPECT_EQ(popup.inputs["pwd"], std::string(249, 'p'));
    EXPECT_EQ(popup.inputs["id"].size(), 248u);
}

TEST(MemberLogin, Completion) {
    struct Case {
        const char* name;
        int pending;
        bool document, bodyReadable;
        std::string body;
        CompletionOutcome outcome;
        Calls calls;
    };
    const Calls refused = {"pending 0", "reload", kNoticeRefused, "focus id"};
    const Case cases[] = {
        {"login page loaded", 0, true, true, "<form>", CompletionOutcome::Ignored, {}},
        {"accepted",
         1,
         true,
         true,
         "ok",
         CompletionOutcome::LoggedIn,
         {"pending 0", "reload", "complete dialog pending 0", "end 1"}},
        {"refused", 1, true, true, "fail", CompletionOutcome::Refused, refused},
        {"upper case", 1, true, true, "OK", CompletionOutcome::Refused, refused},
        {"trailing blank", 1, true, true, "ok ", CompletionOutcome::Refused, refused},
        {"empty body", 1, true, true, "", CompletionOutcome::Refused, refused},
        {"no readable body", 1, false, false, "ok", CompletionOutcome::Refused, refused},
        {"logout page loaded",
         2,
         true,
         true,
         "",
         CompletionOutcome::LoggedOut,
         {"pending 0", kNoticeLoggedOut, "end 1"}},
        {"logout page not loaded",
         2,
         false,
         false,
         "",
         CompletionOutcome::LogoutUnreachable,
         {"pending 0", "reload", kNoticeUnreachable}},
    };
    for (bool nested : {false, true}) {
        for (const Case& c : cases) {
            ScriptedPopup popup;
            popup.pending = c.pending;
            popup.document = c.document;
            popup.bodyReadable = c.bodyReadable;
            popup.body = c.body;
            popup.completeInsideModal = nested;
            EXPECT_EQ(OnLoginBrowserComplete(popup), c.outcome) << c.name;
            // A completion inside a message box or the dialog changes nothing: the calls are
            // the same as without it, and it is ignored.
            EXPECT_EQ(popup.calls, c.calls) << c.name << (nested ? " (nested)" : "");
            for (CompletionOutcome o : popup.nested) EXPECT_EQ(o, CompletionOutcome::Ignored) << c.name;
            EXPECT_EQ(popup.pending, 0) << c.name;
        }
    }
}

TEST(MemberLogin, Logout) {
    struct Case {
        const char* name;
        int pending;
        bool starts;
        LogoutOutcome outcome;
        int pendingAfter;
        Calls calls;
    };
    const Case cases[] = {
        {"started", 0, true, LogoutOutcome::Started, 2, {"logout page", "pending 2"}},
        {"cannot start", 0, false, LogoutOutcome::Unreachable, 0, {"logout page", kNoticeUnreachable}},
        {"login answer awaited", 1, true, LogoutOutcome::Busy, 1, {}},
    };
    for (const Case& c : cases) {
        ScriptedPopup popup;
        popup.pending = c.pending;
        popup.logoutStarts = c.starts;
        EXPECT_EQ(StartLogout(popup), c.outcome) << c.name;
        EXPECT_EQ(popup.pending, c.pendingAfter) << c.name;
        EXPECT_EQ(popup.calls, c.calls) << c.name;
    }

    // The notices' texts and captions, as the user reads them.
    EXPECT_STREQ(TextOf(LoginNotice::LoggedOut).text, "로그아웃 되었습니다");
    EXPECT_STREQ(TextOf(LoginNotice::LoggedOut).caption, "로그아웃");
    EXPECT_FALSE(TextOf(LoginNotice::LoggedOut).error);
    EXPECT_STREQ(TextOf(LoginNotice::Refused).text,
                 "아이디나 비밀번호가 일치하지 않습니다.\r\n다시 로그인 하시길 바랍니다");
    EXPECT_STREQ(TextOf(LoginNotice::MissingId).caption, "로그인 실패");
    EXPECT_TRUE(TextOf(LoginNotice::LogoutUnreachable).error);
}

}  // namespace
}  // namespace kv
