// The add-in object's rules against the stand-in host: panes per window, which pane a ribbon
// click or an opened document reaches, and what shut-down and disconnection do.
#include <gtest/gtest.h>

#include <stdexcept>

#include "addin/base/host/HostModel.h"
#include "addin/composition/AddinController.h"
#include "tests/support/FakeAddinHost.h"

namespace kv {
namespace {

using Calls = std::vector<std::string>;

ProgramKind ProgramOf(FakeHostKind kind) {
    switch (kind) {
        case FakeHostKind::Word: return ProgramKind::Word;
        case FakeHostKind::Excel: return ProgramKind::Excel;
        default: return ProgramKind::PowerPoint;
    }
}

// A controller connected to a fake host of one kind, with the factory's first pane made.
struct Rig {
    explicit Rig(FakeHostKind kind, const char* version = "16.0") : host(kind) {
        controller.Connect(ProgramOf(kind), version);
        controller.FactoryAvailable(&host);
    }
    // The pane made for window, after a ribbon click there.
    FakeAddinPane& ClickIn(int32_t window) {
        host.activeWindow = window;
        controller.ButtonClicked();
        for (auto& pane : host.panes) {
            if (pane->window == window) return *pane;
        }
        throw std::runtime_error("no pane for the window");
    }

    FakeAddinHost host;
    MemorySettings settings;
    RecordingLogSender log;
    MemorySharedState shared;
    AddinController controller{AddinControllerServices{host, host, settings, log, shared}};
};

TEST(AddinController, EachWindowGetsOnePaneOfItsOwn) {
    Rig rig(FakeHostKind::Word);  // the factory's first pane is window 0's
    for (int32_t window : {11, 22, 33, 22, 11}) rig.ClickIn(window);
    EXPECT_EQ(rig.controller.paneCount(), 4u);
    ASSERT_EQ(rig.host.panes.size(), 4u);
    EXPECT_EQ(rig.host.panes[1]->window, 11);
    EXPECT_EQ(rig.host.panes[2]->window, 22);
    EXPECT_EQ(rig.host.panes[3]->window, 33);
}

TEST(AddinController, RibbonClickWithoutPaneCreatesShowsAndSearches) {
    Rig rig(FakeHostKind::Excel);
    rig.host.activeWindow = 5;
    rig.controller.ChangeSearchText("이력서");  // no pane yet: stored only
    ASSERT_EQ(rig.host.panes.size(), 1u);
    FakeAddinPane& pane = rig.ClickIn(5);
    EXPECT_EQ(pane.width, kPaneWidth);
    EXPECT_TRUE(pane.visible);
    EXPECT_EQ(pane.calls, (Calls{"search 이력서"}));
}

TEST(AddinController, FactoryWithoutPaneLeavesTheWindowWithout) {
    Rig rig(FakeHostKind::Word);
    rig.host.factoryGivesPane = false;
    rig.host.activeWindow = 7;
    EXPECT_EQ(rig.controller.ButtonClicked(), kHostOk);
    rig.host.factoryGivesPane = true;
    rig.controller.ButtonClicked();  // the empty entry is not retried
    EXPECT_EQ(rig.host.panes.size(), 1u);
    EXPECT_FALSE(rig.controller.PutVisiblePane());
}

struct DocumentCase {
    const char* name;
    FakeHostKind kind;
    int32_t eventId;
};

void PrintTo(const DocumentCase& c, std::ostream* os) {
    *os << c.name;
}

class DocumentOpen : public testing::TestWithParam<DocumentCase> {};

TEST_P(DocumentOpen, SearchesInTheDocumentsOwnWindowPane) {
    const DocumentCase& c = GetParam();
    Rig rig(c.kind);
    const int32_t windows[] = {101, 202, 303};
    for (int32_t window : windows) rig.ClickIn(window).calls.clear();
    for (int32_t window : windows) {
        // PowerPoint keys its pane by the application's window, the others by the active one.
        rig.host.activeWindow = window;
        rig.host.SetApplicationWindow(window);
        rig.host.SetCaption("문서" + std::to_string(window));
        rig.controller.DocumentOpened(c.eventId);
    }
    for (auto& pane : rig.host.panes) {
        if (pane->window == 0) continue;
        EXPECT_EQ(pane->calls, (Calls{"file 문서" + std::to_string(pane->window)})) << "window " << pane->window;
    }
    EXPECT_EQ(rig.controller.paneCount(), 4u);
    EXPECT_EQ(rig.controller.openedDocumentName(), "문서303");
    // One start log and one file-name log per document.
    ASSERT_EQ(rig.log.targets.size(), 4u);
    EXPECT_NE(rig.log.targets.back().find("문서303"), std::string::npos) << rig.log.targets.back();
}

INSTANTIATE_TEST_SUITE_P(Hosts, DocumentOpen,
                         testing::Values(DocumentCase{"WordProcessor", FakeHostKind::Word, kDocumentOpenId},
                                         DocumentCase{"Spreadsheet", FakeHostKind::Excel, kWorkbookOpenId},
                                         DocumentCase{"Presentation", FakeHostKind::PowerPoint,
                                                      kAfterPresentationOpenId}),
                         [](const testing::TestParamInfo<DocumentCase>& info) { return std::string(info.param.name); });

TEST(AddinController, DocumentInWindowWithoutPaneCreatesOneOnlyWhereTheHostDoes) {
    const struct {
        FakeHostKind kind;
        int32_t eventId;
        size_t panesAfter;
    } cases[] = {
        {FakeHostKind::Word, kDocumentOpenId, 2},
        {FakeHostKind::Excel, kWorkbookOpenId, 1},
        {FakeHostKind::PowerPoint, kAfterPresentationOpenId, 2},
    };
    for (const auto& c : cases) {
        Rig rig(c.kind);
        rig.host.activeWindow = 9;
        rig.host.SetApplicationWindow(9);
        rig.controller.DocumentOpened(c.eventId);
        EXPECT_EQ(rig.controller.paneCount(), c.panesAfter) << c.eventId;
    }
}

TEST(AddinController, ShutdownStoresTheActiveWindowPanesVisibility) {
    const struct {
        bool activeVisible;
        uint32_t stored;
    } cases[] = {{true, 1}, {false, 0}};
    for (const auto& c : cases) {
        Rig rig(FakeHostKind::Word);
        rig.ClickIn(1).visible = !c.activeVisible;
        rig.ClickIn(2).visible = c.activeVisible;
        rig.controller.BeginShutdown();
        uint32_t stored = 99;
        EXPECT_TRUE(rig.settings.ReadNumber(SettingsRoot::User, kUserSettingsKey, "visible", &stored));
        EXPECT_EQ(stored, c.stored);
        EXPECT_EQ(rig.host.actions.back(), "leaving");
    }
}

TEST(AddinController, SecondConnectionChangesNothing) {
    Rig rig(FakeHostKind::Word);
    rig.controller.ChangeSearchText("계약서");
    rig.controller.Connect(ProgramKind::Excel, "11.0");
    EXPECT_EQ(rig.controller.programKind(), ProgramKind::Word);
    EXPECT_EQ(rig.controller.hostMajorVersion(), 16);
    EXPECT_EQ(rig.controller.ribbonSearchText(), "계약서");
    EXPECT_EQ(rig.log.targets.size(), 1u);
    EXPECT_EQ(rig.host.actions, (Calls{"connected"}));
}

TEST(AddinController, NothingReachesTheHostAfterDisconnection) {
    Rig rig(FakeHostKind::Word);
    FakeAddinPane& pane = rig.ClickIn(1);
    rig.controller.Disconnect();
    rig.controller.DeletePanes();
    EXPECT_TRUE(pane.deleted);
    const Calls paneCalls = pane.calls;
    const size_t logs = rig.log.targets.size();
    const size_t actions = rig.host.actions.size();
    rig.controller.DocumentOpened(kDocumentOpenId);
    rig.controller.ChangeSearchText("x");
    EXPECT_EQ(rig.controller.ButtonClicked(), kHostOk);
    EXPECT_FALSE(rig.controller.PutVisiblePane());
    EXPECT_FALSE(rig.controller.ButtonCert());
    rig.controller.ButtonInfo();
    rig.controller.OpenServicePage(3);
    rig.controller.StartupComplete();
    rig.controller.BeginShutdown();
    EXPECT_EQ(rig.host.panes.size(), 2u);
    EXPECT_EQ(pane.calls, paneCalls);
    EXPECT_EQ(rig.log.targets.size(), logs);
    EXPECT_EQ(rig.host.actions.size(), actions);
}

TEST(AddinController, StartupCompleteRunsTheUpdateOnlyWhenItShould) {
    const struct {
        const char* version;
        int32_t updateState;
        bool runs;
    } cases[] = {{"16.0", 0, true}, {"11.0", 0, false}, {"16.0", 2, false}};
    for (const auto& c : cases) {
        Rig rig(FakeHostKind::Word, c.version);
        rig.shared.SetUpdateState(c.updateState);
        rig.controller.StartupComplete();
        const Calls& calls = rig.host.panes.back()->calls;
        EXPECT_EQ(!calls.empty() && calls.back() == "update", c.runs) << c.version << " " << c.updateState;
        // Another host's update running is noted as such.
        if (c.updateState != 0 && rig.controller.hostMajorVersion() > 11) EXPECT_EQ(rig.shared.UpdateState(), 1);
    }
}

TEST(AddinController, ProgramKindFromTheEventConnectionThatSucceeded) {
    EXPECT_EQ(ProgramKindFromEvents(false, false, false), ProgramKind::None);
    EXPECT_EQ(ProgramKindFromEvents(true, false, false), ProgramKind::Word);
    EXPECT_EQ(ProgramKindFromEvents(true, true, false), ProgramKind::Excel);
    EXPECT_EQ(ProgramKindFromEvents(true, true, true), ProgramKind::PowerPoint);
}

}  // namespace
}  // namespace kv
