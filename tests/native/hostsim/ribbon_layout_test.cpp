#include <gtest/gtest.h>

#include <map>

#include "tools/hostsim/core/RibbonLayout.h"

using namespace hostsim;

namespace {

// Eight pixels per byte keeps the arithmetic easy to follow.
int Width(const std::string& s) {
    return static_cast<int>(s.size()) * 8;
}
bool AllVisible(const RibbonNode&) {
    return true;
}

RibbonParse Parse(const std::string& groups) {
    return ParseCustomUI(std::string("<customUI xmlns=\"") + kCustomUiNamespace2006 +
                         "\"><ribbon><tabs><tab id=\"T\" label=\"Tab\">" + groups +
                         "</tab></tabs></ribbon></customUI>");
}

std::map<std::string, LayoutRect> ById(const RibbonLayoutResult& r) {
    std::map<std::string, LayoutRect> out;
    for (const auto& c : r.controls) out[c.node->Id()] = c.rect;
    return out;
}

bool Overlap(const LayoutRect& a, const LayoutRect& b) {
    return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

}  // namespace

TEST(RibbonLayout, VerticalBoxStacksAndHorizontalBoxLinesUp) {
    RibbonParse p = Parse(
        "<group id=\"g\" label=\"G\"><box id=\"v\" boxStyle=\"vertical\"><labelControl id=\"l\" label=\"abc\"/>"
        "<box id=\"h\" boxStyle=\"horizontal\"><editBox id=\"e\" sizeString=\"WWWW\"/><button id=\"b\" "
        "getImage=\"I\"/></box>"
        "</box></group>");
    ASSERT_TRUE(p.ok) << p.error;
    RibbonMetrics m;
    auto r = ById(LayoutRibbon(p.root, 0, Width, AllVisible, m));
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r["l"].left, r["e"].left);              // one column
    EXPECT_EQ(r["e"].top - r["l"].top, m.rowHeight);  // next row
    EXPECT_EQ(r["b"].top, r["e"].top);                // same row
    EXPECT_EQ(r["b"].left, r["e"].right() + m.gap);   // to the right of the edit box
    EXPECT_EQ(r["e"].width, 4 * 8 + 8);               // sizeString sets the edit box width
}

TEST(RibbonLayout, LargeButtonsTakeAColumnAndSmallOnesWrapAfterThreeRows) {
    RibbonParse p = Parse(
        "<group id=\"g\" label=\"G\"><button id=\"big\" size=\"large\" label=\"Large\"/>"
        "<button id=\"s1\" label=\"a\"/><button id=\"s2\" label=\"b\"/><button id=\"s3\" label=\"c\"/><button "
        "id=\"s4\" label=\"d\"/>"
        "</group><group id=\"g2\" label=\"Second\"><checkBox id=\"c\" label=\"x\"/></group>");
    ASSERT_TRUE(p.ok) << p.error;
    RibbonMetrics m;
    RibbonLayoutResult layout = LayoutRibbon(p.root, 10, Width, AllVisible, m);
    auto r = ById(layout);
    EXPECT_EQ(r["big"].height, m.rows * m.rowHeight);
    EXPECT_GT(r["s1"].left, r["big"].right());
    EXPECT_EQ(r["s1"].left, r["s3"].left);
    EXPECT_GT(r["s4"].left, r["s1"].left);  // fourth small control starts a new column
    EXPECT_EQ(r["s4"].top, r["s1"].top);
    ASSERT_EQ(layout.groups.size(), 2u);
    EXPECT_GE(layout.groups[1].rect.left, layout.groups[0].rect.right());
    EXPECT_GE(layout.tabs.front().rect.left, 10);
    for (const auto& a : layout.controls)
        for (const auto& b : layout.controls)
            if (&a != &b) EXPECT_FALSE(Overlap(a.rect, b.rect)) << a.node->Id() << " overlaps " << b.node->Id();
}

TEST(RibbonLayout, HiddenControlsTakeNoRoomAndTheLauncherSitsInTheGroupCorner) {
    RibbonParse p = Parse(
        "<group id=\"g\" label=\"Group\"><button id=\"hidden\" size=\"large\" label=\"Hidden\"/>"
        "<button id=\"shown\" label=\"s\"/><dialogBoxLauncher><button id=\"launch\"/></dialogBoxLauncher></group>");
    ASSERT_TRUE(p.ok) << p.error;
    RibbonMetrics m;
    auto visible = [](const RibbonNode& n) { return n.Id() != "hidden"; };
    RibbonLayoutResult layout = LayoutRibbon(p.root, 0, Width, visible, m);
    auto r = ById(layout);
    EXPECT_EQ(r.count("hidden"), 0u);
    ASSERT_EQ(r.count("launch"), 1u);
    const LayoutRect& g = layout.groups.front().rect;
    EXPECT_EQ(r["launch"].width, m.launcherSize);
    EXPECT_LE(r["launch"].right(), g.right());
    EXPECT_GE(r["launch"].top, m.headerHeight + m.gap + m.rows * m.rowHeight);
    EXPECT_EQ(r["shown"].left, m.gap + m.gap);  // the hidden large button left no gap
}

TEST(RibbonLayout, NoTabsMeansNothingToPlace) {
    RibbonParse p = ParseCustomUI(std::string("<customUI xmlns=\"") + kCustomUiNamespace2006 + "\"/>");
    ASSERT_TRUE(p.ok);
    RibbonLayoutResult layout = LayoutRibbon(p.root, 0, Width, AllVisible);
    EXPECT_TRUE(layout.tabs.empty());
    EXPECT_TRUE(layout.controls.empty());
}
