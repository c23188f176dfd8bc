// The Windows text conversions: strict UTF-8 and ANSI (code page 949 here) both ways, and the
// GUID text. Failures must be reported, never turned into empty or substituted text.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/WinText.h"

namespace kv {
namespace {

const std::wstring kSeosik = L"\xC11C\xC2DD";  // "서식"

TEST(WinText, Utf8BothWays) {
    struct Case {
        std::string utf8;
        std::wstring wide;
    } const cases[] = {
        {"", L""},
        {"abc", L"abc"},
        {"\xEC\x84\x9C\xEC\x8B\x9D", kSeosik},
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
        {"\xF0\x9F\x98\x80", L"\xD83D\xDE00"},  // outside the basic plane: a surrogate pair
    };
    for (const Case& c : cases) {
        std::wstring wide = L"stale";
        ASSERT_TRUE(Utf8ToWide(c.utf8, &wide)) << c.utf8;
        EXPECT_EQ(wide, c.wide);
        std::string utf8 = "stale";
        ASSERT_TRUE(WideToUtf8(c.wide, &utf8));
        EXPECT_EQ(utf8, c.utf8);
    }
}

TEST(WinText, MalformedInputFailsAndLeavesNothing) {
    for (const std::string& bad :
         {std::string("\xFF"), std::string("ab\xC3"), std::string("\xED\xA0\x80"), std::string("\xC0\xAF")}) {
        std::wstring wide = L"stale";
        EXPECT_FALSE(Utf8ToWide(bad, &wide)) << "bytes " << bad.size();
        EXPECT_TRUE(wide.empty());
    }
    std::string narrow = "stale";
    EXPECT_FALSE(WideToUtf8(std::wstring(L"a\xD800"
                                         L"b"),
                            &narrow));  // unpaired surrogate
    EXPECT_TRUE(narrow.empty());
}

TEST(WinText, AnsiIsCodePage949) {
    ASSERT_EQ(GetACP(), 949u);
    const std::string bytes = "\xBC\xAD\xBD\xC4 kv";  // "서식 kv"
    std::wstring wide;
    ASSERT_TRUE(AnsiToWide(bytes, &wide));
    EXPECT_EQ(wide, kSeosik + L" kv");
    std::string narrow;
    ASSERT_TRUE(WideToAnsi(wide, &narrow));
    EXPECT_EQ(narrow, bytes);

    // A lead byte without its trail byte, and characters 949 lacks, fail instead of becoming '?'.
    narrow = "stale";
    EXPECT_FALSE(AnsiToWide("ab\xBC", &wide));
    EXPECT_TRUE(wide.empty());
    for (const wchar_t* missing : {L"\xD83D\xDE00", L"a\x0E01"}) {
        narrow = "stale";
        EXPECT_FALSE(WideToAnsi(missing, &narrow));
        EXPECT_TRUE(narrow.empty());
    }
}

// The lossy pair keeps what converts and substitutes the rest instead of failing.
TEST(WinText, LossyPairSubstitutes) {
    struct Case {
        std::wstring wide;
        std::string ansi;
    } const cases[] = {
        {L"", ""},
        {kSeosik + L" kv", "\xBC\xAD\xBD\xC4 kv"},
        {L"a\x0E01"
         L"b",
         "a?b"},  // Thai: not in 949
    };
    for (const Case& c : cases) EXPECT_EQ(WideToCodePageLossy(CP_ACP, c.wide), c.ansi);
    EXPECT_EQ(CodePageToWideLossy(CP_ACP, "\xBC\xAD\xBD\xC4 kv"), kSeosik + L" kv");
    // A lead byte without its trail byte: what came before it survives.
    EXPECT_EQ(CodePageToWideLossy(CP_ACP, "ab\xBC").substr(0, 2), L"ab");
    EXPECT_EQ(CodePageToWideLossy(CP_UTF8, "a\xFF"), L"a\xFFFD");
}

TEST(WinText, GuidText) {
    const GUID guid = {0x54FFFAFC, 0x8E3B, 0x4704, {0x9B, 0xFA, 0xA7, 0x15, 0xDF, 0xC5, 0x38, 0xD8}};
    EXPECT_EQ(GuidText(guid), L"{54FFFAFC-8E3B-4704-9BFA-A715DFC538D8}");
    EXPECT_EQ(GuidText(GUID{}), L"{00000000-0000-0000-0000-000000000000}");
}

}  // namespace
}  // namespace kv
