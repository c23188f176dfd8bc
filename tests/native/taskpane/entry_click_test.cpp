#include <gtest/gtest.h>

#include "addin/widgets/pane/EntryClick.h"

namespace kv {
namespace {

using Action = EntryClick::Action;

TEST(EntryClick, DecisionTable) {
    struct Case {
        const char* what;
        int id;
        int enabled;
        int index;
        int login;
        Action action;
        bool splash;
        bool store;
    };
    const Case cases[] = {
        {"daily, not logged in", 259, -1, 0, -1, Action::Open, false, false},
        {"weekly, enabled, logged in", 263, 1, 0, 0, Action::Open, false, false},
        {"weekly, enabled, not logged in", 263, 1, 0, -1, Action::Preview, false, false},
        {"weekly, disabled, top level", 264, 0, 0, 3, Action::Preview, false, false},
        {"free 1 with index 1", 233, -1, 1, -1, Action::Open, true, true},
        {"free 3 with index 3", 235, 1, 3, 0, Action::Open, true, true},
        {"free 2 with index 5", 234, 1, 5, 3, Action::None, true, true},
        {"member, enabled, logged in", 240, 1, 0, 2, Action::Open, false, true},
        {"member, enabled -1, logged in", 256, -1, 0, 3, Action::Preview, false, true},
        {"member, enabled, not logged in", 237, 1, 0, -2, Action::Preview, false, true},
        {"header", 232, 1, 0, 3, Action::None, false, false},
        {"more-results link", 257, 1, 0, 3, Action::None, false, false},
    };
    for (const Case& c : cases) {
        ItemTable items;
        const EntryClick probe = DecideEntryClick(c.id, items, c.login);
        if (probe.slot >= 0) {
            items[probe.slot].enabled = c.enabled;
            items[probe.slot].index = c.index;
        }
        const EntryClick click = DecideEntryClick(c.id, items, c.login);
        EXPECT_EQ(click.action, c.action) << c.what;
        EXPECT_EQ(click.splashAround, c.splash) << c.what;
        EXPECT_EQ(click.storeClickedName, c.store) << c.what;
    }
}

}  // namespace
}  // namespace kv
