#include <gtest/gtest.h>

#include "tools/hostsim/core/Script.h"

using namespace hostsim;

TEST(Script, ParsesEveryStepWithItsArguments) {
    ScriptParse p = ParseScript(
        "\xEF\xBB\xBF# comment\r\n"
        "type EditBox1   서식  검색 \r\n"
        "commit EditBox1\n"
        "click CustomButton\n"
        "\n"
        "pane-click 1118\n"
        "pane-type 1001 text with  blanks\n"
        "key return\n"
        "open C:\\My Documents\\a b.docx\n"
        "new-window\n"
        "activate 2\n"
        "wait-pane 1200\n"
        "wait-pane 1200 3000\n"
        "wait-prop State done 500\n"
        "expect-pane 103 결과: x\n"
        "dialog-click 2 테스트 알림\n"
        "dialog-type 211 \"\" kv top 1\n"
        "dialog-type 212 알림 \n"
        "sleep 0\n"
        "screenshot shot-1\n"
        "echo hello  there\n"
        "quit");
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.steps.size(), 20u);
    EXPECT_EQ(p.steps[0].kind, StepKind::Type);
    EXPECT_EQ(p.steps[0].line, 2);
    EXPECT_EQ(p.steps[0].id, "EditBox1");
    EXPECT_EQ(p.steps[0].text, "서식  검색");  // inner blanks kept, trailing ones and CR dropped
    EXPECT_EQ(p.steps[3].number, 1118);
    EXPECT_EQ(p.steps[4].text, "text with  blanks");
    EXPECT_EQ(p.steps[5].text, "return");
    EXPECT_EQ(p.steps[6].id, "C:\\My Documents\\a b.docx");
    EXPECT_EQ(p.steps[8].number, 2);
    EXPECT_EQ(p.steps[9].timeoutMs, kDefaultWaitMs);
    EXPECT_EQ(p.steps[10].timeoutMs, 3000);
    EXPECT_EQ(p.steps[11].id, "State");
    EXPECT_EQ(p.steps[11].text, "done");
    EXPECT_EQ(p.steps[11].timeoutMs, 500);
    EXPECT_EQ(p.steps[12].text, "결과: x");
    EXPECT_EQ(p.steps[13].kind, StepKind::DialogClick);
    EXPECT_EQ(p.steps[13].number, 2);
    EXPECT_EQ(p.steps[13].text, "테스트 알림");
    EXPECT_EQ(p.steps[14].kind, StepKind::DialogType);
    EXPECT_EQ(p.steps[14].number, 211);
    EXPECT_EQ(p.steps[14].text, "");  // "" is a dialog without a caption
    EXPECT_EQ(p.steps[14].input, "kv top 1");
    EXPECT_EQ(p.steps[15].text, "알림");
    EXPECT_EQ(p.steps[15].input, "");  // clears the field
    EXPECT_EQ(p.steps[18].text, "hello  there");
    EXPECT_EQ(p.steps[19].kind, StepKind::Quit);
    EXPECT_EQ(p.steps[19].line, 22);
}

TEST(Script, ReportsTheFirstBadLineAndKeepsNoSteps) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"click\n", "line 1: click needs a control id"},
        {"quit\nfly away\n", "line 2: unknown step \"fly\""},
        {"pane-click abc\n", "numeric control id"},
        {"pane-click 70000\n", "numeric control id"},
        {"wait-pane 5 -1\n", "bad timeout"},
        {"wait-pane 5 9999999\n", "bad timeout"},
        {"wait-prop State\n", "property and a value"},
        {"key NOSUCHKEY\n", "unknown key"},
        {"key A B\n", "one key per step"},
        {"activate 0\n", "window number"},
        {"sleep 99999999999999999999\n", "milliseconds"},
        {"open\n", "needs a path"},
        {"quit now\n", "takes no arguments"},
        {"click a b\n", "unexpected text"},
        {"dialog-click 1\n", "dialog's title"},
        {"dialog-click OK 알림\n", "numeric control id"},
        {"dialog-type 211\n", "title and a text"},
        {"dialog-type 211 \"로그인 id\n", "closing quote"},
    };
    for (const auto& c : cases) {
        ScriptParse p = ParseScript(c.text);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_NE(p.error.find(c.error), std::string::npos) << c.text << " -> " << p.error;
        EXPECT_TRUE(p.steps.empty()) << c.text;
    }
}

TEST(Script, EmptyAndOversizedScripts) {
    ScriptParse empty = ParseScript("");
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.steps.empty());
    EXPECT_FALSE(ParseScript(std::string(kMaxScriptBytes + 1, '#')).ok);
}

TEST(Script, KeyNames) {
    EXPECT_EQ(KeyCodeFromName("RETURN"), 0x0D);
    EXPECT_EQ(KeyCodeFromName("enter"), 0x0D);
    EXPECT_EQ(KeyCodeFromName("F1"), 0x70);
    EXPECT_EQ(KeyCodeFromName("F24"), 0x87);
    EXPECT_EQ(KeyCodeFromName("F25"), 0);
    EXPECT_EQ(KeyCodeFromName("a"), 'A');
    EXPECT_EQ(KeyCodeFromName("7"), '7');
    EXPECT_EQ(KeyCodeFromName(""), 0);
    EXPECT_EQ(KeyCodeFromName("!"), 0);
}
