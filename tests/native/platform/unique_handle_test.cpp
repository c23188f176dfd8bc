// The one owner template: every handle is closed exactly once, "none" never.
#include <gtest/gtest.h>

#include <vector>

#include "platform/UniqueResource.h"

namespace kv {
namespace {

std::vector<int> g_closed;
void CloseFake(int h) {
    g_closed.push_back(h);
}
using Fake = UniqueResource<int, decltype(&CloseFake), &CloseFake, -1>;

TEST(UniqueHandle, ClosesEachHandleOnce) {
    struct Case {
        const char* name;
        void (*steps)();
        std::vector<int> closed;
    } const cases[] = {
        {"scope exit", [] { Fake a(3); }, {3}},
        {"none is never closed",
         [] {
             Fake a;
             Fake b(-1);
             b.reset();
         },
         {}},
        {"reset to another",
         [] {
             Fake a(3);
             a.reset(4);
         },
         {3, 4}},
        {"reset to the value held keeps it open",
         [] {
             Fake a(3);
             a.reset(3);
             EXPECT_EQ(g_closed.size(), 0u);
         },
         {3}},
        {"release hands it over",
         [] {
             Fake a(3);
             EXPECT_EQ(a.release(), 3);
             EXPECT_FALSE(a);
         },
         {}},
        {"put closes what was held",
         [] {
             Fake a(3);
             *a.put() = 5;
         },
         {3, 5}},
        {"move construction",
         [] {
             Fake a(3);
             Fake b(std::move(a));
             EXPECT_FALSE(a);
             EXPECT_EQ(b.get(), 3);
         },
         {3}},
        {"move assignment closes the target's",
         [] {
             Fake a(3);
             Fake b(4);
             b = std::move(a);
             EXPECT_EQ(g_closed, std::vector<int>{4});
         },
         {4, 3}},
        {"self move keeps it",
         [] {
             Fake a(3);
             Fake& self = a;
             a = std::move(self);
             EXPECT_EQ(a.get(), 3);
         },
         {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_closed.clear();
        c.steps();
        EXPECT_EQ(g_closed, c.closed);
    }
}

}  // namespace
}  // namespace kv
