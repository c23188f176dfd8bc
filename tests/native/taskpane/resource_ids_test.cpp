// The ids of addin/resources/resource.h as the code uses them: every constant the code names
// an id by is the one resource.h gives, at the number the resource scripts were written with;
// ids of one dialog never collide; and the slot arithmetic of the result list walks exactly
// the controls resource.h names, in order.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "addin/features/membership/MemberLogin.h"
#include "addin/features/popup/PreviewPlan.h"
#include "addin/resources/resource.h"
#include "addin/widgets/pane/ListLayout.h"
#include "addin/widgets/pane/PaneController.h"

namespace kv {
namespace {

struct NamedId {
    const char* name;
    int code;      // the constant the code uses
    int resource;  // the resource.h name it comes from
    int number;    // the number in the resource scripts
};

void ExpectAll(const std::vector<NamedId>& table) {
    for (const NamedId& c : table) {
        EXPECT_EQ(c.code, c.resource) << c.name;
        EXPECT_EQ(c.resource, c.number) << c.name;
    }
}

TEST(ResourceIds, ResultListConstantsComeFromResourceH) {
    ExpectAll({
        {"picks header", kIdPicksHeader, IDC_LIST_PICKS_HEADER, 232},
        {"results header", kIdResultsHeader, IDC_LIST_RESULTS_HEADER, 236},
        {"daily first", kIdDailyFirst, IDC_LIST_DAILY_1, 259},
        {"weekly first", kIdWeeklyFirst, IDC_LIST_WEEKLY_1, 262},
        {"free first", kIdFreeFirst, IDC_LIST_FREE_1, 233},
        {"member first", kIdMemberFirst, IDC_LIST_MEMBER_1, 237},
        {"member last", kIdMemberFirst + kMemberSlots - 1, IDC_LIST_MEMBER_20, 256},
        {"more results", kIdMoreResults, IDC_LIST_MORE_RESULTS, 257},
        {"message box", kIdMessageBox, IDC_LIST_MESSAGE, 258},
        {"picks separator", kIdPicksSeparator, IDC_LIST_PICKS_SEPARATOR, 266},
        {"results separator", kIdResultsSeparator, IDC_LIST_RESULTS_SEPARATOR, 267},
        {"section open", kIconSectionOpen, IDI_SECTION_OPEN, 221},
        {"section closed", kIconSectionClosed, IDI_SECTION_CLOSED, 223},
        {"document", kImageWord1, IDB_FILE_DOCUMENT, 236},
        {"document dimmed", kImageWord2, IDB_FILE_DOCUMENT_DIMMED, 239},
        {"spreadsheet", kImageExcel1, IDB_FILE_SPREADSHEET, 226},
        {"spreadsheet dimmed", kImageExcel2, IDB_FILE_SPREADSHEET_DIMMED, 240},
        {"presentation", kImagePowerPoint1, IDB_FILE_PRESENTATION, 237},
        {"presentation dimmed", kImagePowerPoint2, IDB_FILE_PRESENTATION_DIMMED, 238},
        {"search box", kIdSearchBox, IDC_PANE_SEARCH_BOX, 1001},
        {"search button", kIdSearchButton, IDC_PANE_SEARCH_BUTTON, 1002},
        {"banner", kIdBanner, IDC_PANE_BANNER, 1118},
    });
}

TEST(ResourceIds, PopupConstantsComeFromResourceH) {
    ExpectAll({
        {"left picture", popup::kLeftPicture, IDC_POPUP_LEFT_PICTURE, 234},
        {"preview", popup::kPreview, IDC_POPUP_PREVIEW, 223},
        {"preview frame", popup::kPreviewFrame, IDC_POPUP_PREVIEW_FRAME, 236},
        {"template page", popup::kTemplatePage, IDC_POPUP_TEMPLATE_PAGE, 219},
        {"title", popup::kTitle, IDC_POPUP_TITLE, 216},
        {"message", popup::kMessage, IDC_POPUP_MESSAGE, 225},
        {"week update", popup::kWeekUpdate, IDC_POPUP_WEEK_UPDATE, 230},
        {"id frame", popup::kIdFrame, IDC_POPUP_ID_FRAME, 228},
        {"password frame", popup::kPasswordFrame, IDC_POPUP_PASSWORD_FRAME, 229},
        {"id", popup::kId, IDC_POPUP_ID, 211},
        {"password", popup::kPassword, IDC_POPUP_PASSWORD, 212},
        {"log in", popup::kLogIn, IDC_POPUP_LOG_IN, 215},
        {"upgrade", popup::kUpgrade, IDC_POPUP_UPGRADE, 235},
        {"sign up", popup::kSignUp, IDC_POPUP_SIGN_UP, 231},
        {"find id", popup::kFindId, IDC_POPUP_FIND_ID, 232},
        {"find password", popup::kFindPassword, IDC_POPUP_FIND_PASSWORD, 233},
        {"log out", popup::kLogOut, IDC_POPUP_LOG_OUT, 226},
        {"close", popup::kClose, IDC_POPUP_CLOSE, 2},
        {"login browser", popup::kLoginBrowser, IDC_POPUP_LOGIN_BROWSER, 213},
        // The login steps read the same two fields.
        {"login field id", login_field::kId, IDC_POPUP_ID, 211},
        {"login field password", login_field::kPassword, IDC_POPUP_PASSWORD, 212},
        {"bitmap close", popup_bitmap::kClose, IDB_POPUP_CLOSE, 256},
        {"bitmap template page", popup_bitmap::kTemplatePage, IDB_POPUP_TEMPLATE_PAGE, 257},
        {"bitmap log in", popup_bitmap::kLogIn, IDB_POPUP_LOG_IN, 258},
        {"bitmap log out", popup_bitmap::kLogOut, IDB_POPUP_LOG_OUT, 259},
        {"bitmap week update", popup_bitmap::kWeekUpdate, IDB_POPUP_WEEK_UPDATE, 260},
        {"bitmap premium week update", popup_bitmap::kPremiumWeekUpdate, IDB_POPUP_PREMIUM_WEEK_UPDATE, 266},
        {"bitmap upgrade", popup_bitmap::kUpgrade, IDB_POPUP_UPGRADE, 267},
        {"bitmap premium upgrade", popup_bitmap::kPremiumUpgrade, IDB_POPUP_PREMIUM_UPGRADE, 268},
    });
}

// Each dialog's control ids are distinct (a repeated id would make GetDlgItem find the wrong
// control); the list's are exactly the children the layout knows.
TEST(ResourceIds, NoDialogRepeatsAnId) {
    const struct {
        const char* dialog;
        std::vector<int> ids;
    } dialogs[] = {
        {"result list", {IDC_LIST_PICKS_HEADER,      IDC_LIST_DAILY_1,      IDC_LIST_DAILY_2,   IDC_LIST_DAILY_3,
                         IDC_LIST_PICKS_SEPARATOR,   IDC_LIST_WEEKLY_1,     IDC_LIST_WEEKLY_2,  IDC_LIST_WEEKLY_3,
                         IDC_LIST_RESULTS_HEADER,    IDC_LIST_FREE_1,       IDC_LIST_FREE_2,    IDC_LIST_FREE_3,
                         IDC_LIST_RESULTS_SEPARATOR, IDC_LIST_MEMBER_1,     IDC_LIST_MEMBER_2,  IDC_LIST_MEMBER_3,
                         IDC_LIST_MEMBER_4,          IDC_LIST_MEMBER_5,     IDC_LIST_MEMBER_6,  IDC_LIST_MEMBER_7,
                         IDC_LIST_MEMBER_8,          IDC_LIST_MEMBER_9,     IDC_LIST_MEMBER_10, IDC_LIST_MEMBER_11,
                         IDC_LIST_MEMBER_12,         IDC_LIST_MEMBER_13,    IDC_LIST_MEMBER_14, IDC_LIST_MEMBER_15,
                         IDC_LIST_MEMBER_16,         IDC_LIST_MEMBER_17,    IDC_LIST_MEMBER_18, IDC_LIST_MEMBER_19,
                         IDC_LIST_MEMBER_20,         IDC_LIST_MORE_RESULTS, IDC_LIST_MESSAGE}},
        {"preview popup",
         {IDC_POPUP_LEFT_PICTURE, IDC_POPUP_PREVIEW, IDC_POPUP_PREVIEW_FRAME, IDC_POPUP_TEMPLATE_PAGE, IDC_POPUP_TITLE,
          IDC_POPUP_MESSAGE, IDC_POPUP_WEEK_UPDATE, IDC_POPUP_ID_FRAME, IDC_POPUP_PASSWORD_FRAME, IDC_POPUP_ID,
          IDC_POPUP_PASSWORD, IDC_POPUP_LOG_IN, IDC_POPUP_UPGRADE, IDC_POPUP_SIGN_UP, IDC_POPUP_FIND_ID,
          IDC_POPUP_FIND_PASSWORD, IDC_POPUP_LOG_OUT, IDC_POPUP_CLOSE, IDC_POPUP_LOGIN_BROWSER}},
        {"about box", {IDC_ABOUT_ADDIN_VERSION, IDC_ABOUT_NEWEST_VERSION, 1 /* IDOK */}},
        {"login complete", {IDC_LOGIN_COMPLETE_BROWSER, 1 /* IDOK */, 2 /* IDCANCEL */}},
        {"pane", {IDC_PANE_SEARCH_BOX, IDC_PANE_SEARCH_BUTTON, IDC_PANE_BANNER}},
    };
    for (const auto& d : dialogs) {
        const std::set<int> distinct(d.ids.begin(), d.ids.end());
        EXPECT_EQ(distinct.size(), d.ids.size()) << d.dialog;
    }
    const std::vector<int>& list = dialogs[0].ids;
    ASSERT_EQ(list.size(), kListChildIds.size());
    EXPECT_EQ(std::set<int>(list.begin(), list.end()), std::set<int>(kListChildIds.begin(), kListChildIds.end()));
}

// SlotOfControl and ControlOfSlot count from the first id of each section: resource.h must
// number every section's controls one after another.
TEST(ResourceIds, SlotsWalkTheNamedControlsInOrder) {
    const int bySlot[kItemCount] = {
        IDC_LIST_DAILY_1,   IDC_LIST_DAILY_2,   IDC_LIST_DAILY_3,   IDC_LIST_WEEKLY_1,  IDC_LIST_WEEKLY_2,
        IDC_LIST_WEEKLY_3,  IDC_LIST_FREE_1,    IDC_LIST_FREE_2,    IDC_LIST_FREE_3,    IDC_LIST_MEMBER_1,
        IDC_LIST_MEMBER_2,  IDC_LIST_MEMBER_3,  IDC_LIST_MEMBER_4,  IDC_LIST_MEMBER_5,  IDC_LIST_MEMBER_6,
        IDC_LIST_MEMBER_7,  IDC_LIST_MEMBER_8,  IDC_LIST_MEMBER_9,  IDC_LIST_MEMBER_10, IDC_LIST_MEMBER_11,
        IDC_LIST_MEMBER_12, IDC_LIST_MEMBER_13, IDC_LIST_MEMBER_14, IDC_LIST_MEMBER_15, IDC_LIST_MEMBER_16,
        IDC_LIST_MEMBER_17, IDC_LIST_MEMBER_18, IDC_LIST_MEMBER_19, IDC_LIST_MEMBER_20,
    };
    for (int slot = 0; slot < kItemCount; ++slot) {
        EXPECT_EQ(ControlOfSlot(slot), bySlot[slot]) << "slot " << slot;
        EXPECT_EQ(SlotOfControl(bySlot[slot]), slot) << "slot " << slot;
    }
    for (int id : {IDC_LIST_PICKS_HEADER, IDC_LIST_RESULTS_HEADER, IDC_LIST_PICKS_SEPARATOR, IDC_LIST_RESULTS_SEPARATOR,
                   IDC_LIST_MORE_RESULTS, IDC_LIST_MESSAGE}) {
        EXPECT_EQ(SlotOfControl(id), -1) << id;
    }
}

}  // namespace
}  // namespace kv
