// The keys the pane keeps, searches on or offers to the container.
#include <gtest/gtest.h>

#include "addin/widgets/pane/PaneKeys.h"

namespace kv {
namespace {

TEST(PaneKeys, EnterSearchesNavigationStaysEverythingElseIsTheHosts) {
    constexpr unsigned kKeyUp = 0x0101, kChar = 0x0102, kSysKeyDown = 0x0104;
    struct Case {
        unsigned message;
        uintptr_t key;
        PaneKey expected;
    };
    const Case cases[] = {
        {kKeyDownMessage, 13, PaneKey::Search},       {kKeyDownMessage, 33, PaneKey::KeepInPane},
        {kKeyDownMessage, 34, PaneKey::KeepInPane},   {kKeyDownMessage, 35, PaneKey::KeepInPane},
        {kKeyDownMessage, 36, PaneKey::KeepInPane},   {kKeyDownMessage, 37, PaneKey::KeepInPane},
        {kKeyDownMessage, 40, PaneKey::KeepInPane},   {kKeyDownMessage, 32, PaneKey::OfferToHost},
        {kKeyDownMessage, 41, PaneKey::OfferToHost},  {kKeyDownMessage, 9, PaneKey::OfferToHost},
        {kKeyDownMessage, 'A', PaneKey::OfferToHost}, {kKeyDownMessage, 27, PaneKey::OfferToHost},
        {kKeyUp, 13, PaneKey::OfferToHost},           {kChar, 13, PaneKey::OfferToHost},
        {kSysKeyDown, 13, PaneKey::OfferToHost},      {kKeyUp, 37, PaneKey::OfferToHost},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecidePaneKey(c.message, c.key), c.expected) << "message " << c.message << " key " << c.key;
    }
}

}  // namespace
}  // namespace kv
