#include <gtest/gtest.h>

#include "tools/hostsim/core/RibbonModel.h"

using namespace hostsim;

namespace {

std::string Ui(const std::string& body, const std::string& ns = kCustomUiNamespace2006) {
    return "<customUI xmlns=\"" + ns + "\" onLoad=\"Load\"><ribbon><tabs><tab id=\"T\" label=\"탭\">" + body +
           "</tab></tabs></ribbon></customUI>";
}

}  // namespace

TEST(RibbonModel, ParsesEveryShownKindWithAttributesInOrder) {
    RibbonParse p = ParseCustomUI(Ui(
        "<group id=\"g\" label=\"서식 검색\"><box id=\"b\" boxStyle=\"vertical\"><labelControl id=\"l\" label=\"x \"/>"
        "<editBox id=\"e\" onChange=\"changeSearchText\" sizeString=\"WWWW\"/></box>"
        "<button id=\"big\" size=\"large\" getImage=\"Img\" onAction=\"Act\"/>"
        "<dialogBoxLauncher><button id=\"launch\" onAction=\"Show\"/></dialogBoxLauncher>"
        "<checkBox id=\"c\" label=\"항상보이기\" onAction=\"Check\"/></group>"));
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.warnings.empty());
    EXPECT_EQ(p.root.Attr("onLoad"), "Load");
    const RibbonNode* e = FindRibbonNode(p.root, "e");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->kind, RibbonKind::EditBox);
    EXPECT_EQ(e->Attr("onChange"), "changeSearchText");
    EXPECT_EQ(FindRibbonNode(p.root, "launch")->kind, RibbonKind::Button);
    EXPECT_EQ(FindRibbonNode(p.root, "c")->Attr("label"), "항상보이기");
    EXPECT_EQ(FindRibbonNode(p.root, "l")->Attr("label"), "x ");  // trailing blank kept
    std::vector<const RibbonNode*> all;
    CollectRibbonControls(p.root, all);
    std::vector<std::string> ids;
    for (auto* n : all) ids.push_back(n->Id());
    EXPECT_EQ(ids, (std::vector<std::string>{"T", "g", "b", "l", "e", "big", "launch", "c"}));
    EXPECT_EQ(FindRibbonNode(p.root, "nope"), nullptr);
    EXPECT_EQ(FindRibbonNode(p.root, ""), nullptr);
}

TEST(RibbonModel, AcceptsBothNamespacesAndAPrefixedRoot) {
    EXPECT_TRUE(ParseCustomUI(Ui("", kCustomUiNamespace2009)).ok);
    std::string prefixed = std::string("<mso:customUI xmlns:mso=\"") + kCustomUiNamespace2006 +
                           "\"><mso:ribbon><mso:tabs><mso:tab id=\"T\"/></mso:tabs></mso:ribbon></mso:customUI>";
    RibbonParse p = ParseCustomUI(prefixed);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(FindRibbonNode(p.root, "T")->kind, RibbonKind::Tab);
}

TEST(RibbonModel, RefusesDefinitionsAHostWouldRefuse) {
    struct Case {
        const char* name;
        std::string xml;
        const char* error;
    };
    const Case cases[] = {
        {"empty", "", "empty"},
        {"not xml", "<customUI", "XML error"},
        {"wrong root", "<ribbon/>", "root element"},
        {"no namespace", "<customUI><ribbon/></customUI>", "namespace"},
        {"other namespace", "<customUI xmlns=\"urn:x\"/>", "namespace"},
        {"duplicate id", Ui("<group id=\"g\"><button id=\"x\"/><button id=\"x\"/></group>"),
         "duplicate control id \"x\""},
        {"button without id", Ui("<group id=\"g\"><button label=\"a\"/></group>"), "without id"},
    };
    for (const auto& c : cases) {
        RibbonParse p = ParseCustomUI(c.xml);
        EXPECT_FALSE(p.ok) << c.name;
        EXPECT_NE(p.error.find(c.error), std::string::npos) << c.name << ": " << p.error;
        EXPECT_TRUE(p.root.children.empty()) << c.name;
    }
}

TEST(RibbonModel, SkipsMisplacedAndUnknownElementsWithAWarning) {
    RibbonParse p =
        ParseCustomUI(Ui("<group id=\"g\"><gallery id=\"gal\"/><button id=\"ok\"/></group><button id=\"stray\"/>"));
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(FindRibbonNode(p.root, "gal"), nullptr);
    EXPECT_EQ(FindRibbonNode(p.root, "stray"), nullptr);
    EXPECT_NE(FindRibbonNode(p.root, "ok"), nullptr);
    EXPECT_EQ(p.warnings.size(), 2u);
}

TEST(RibbonModel, BoundsSizeNestingAndElementCount) {
    RibbonLimits small;
    small.maxBytes = 100;
    EXPECT_FALSE(ParseCustomUI(Ui(""), small).ok);

    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<box id=\"b" + std::to_string(i) + "\">";
    for (int i = 0; i < 5000; ++i) deep += "</box>";
    RibbonParse p = ParseCustomUI(Ui("<group id=\"g\">" + deep + "</group>"));
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("nesting"), std::string::npos) << p.error;

    std::string many;
    for (int i = 0; i < 3000; ++i) many += "<button id=\"b" + std::to_string(i) + "\"/>";
    p = ParseCustomUI(Ui("<group id=\"g\">" + many + "</group>"));
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("elements"), std::string::npos) << p.error;
}
