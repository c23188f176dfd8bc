#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "addin/base/shared/SharedState.h"
#include "addin/base/shared/TextCut.h"

namespace kv {
namespace {

// 가 (B0 A1) and a two-byte character whose trail byte is itself in the lead-byte range.
const std::string kGa = "\xB0\xA1";

TEST(TextCut, EndsOnWholeCharacters) {
    const std::string ascii249(249, 'a');
    struct Case {
        const char* what;
        std::string text;
        size_t limit;
        std::string expected;
    };
    const Case cases[] = {
        {"fits", "abc", 249, "abc"},
        {"ascii at the limit", ascii249 + "b", 249, ascii249},
        {"two-byte character across the limit", std::string(248, 'a') + kGa, 249, std::string(248, 'a')},
        {"two-byte character ending at the limit", std::string(247, 'a') + kGa + "x", 249, std::string(247, 'a') + kGa},
        // Only a scan from the start tells lead from trail: B0 A1 B0 A1 ... cut at 3 keeps one.
        {"trail bytes in the lead range", kGa + kGa + kGa, 3, kGa},
        {"only Hangul, odd limit", std::string(130 * 2, '\xB0'), 249, std::string(248, '\xB0')},
        {"second-half ASCII trail", "\x81\x41\x81\x41", 3, "\x81\x41"},
        {"zero limit", "abc", 0, ""},
        {"lone lead byte at the end of long text", std::string(249, 'a') + "\xB0", 249, ascii249},
    };
    for (const Case& c : cases) {
        const std::string got = CutCp949(c.text, c.limit);
        EXPECT_EQ(got, c.expected) << c.what;
        EXPECT_LE(got.size(), c.limit) << c.what;
    }
}

TEST(TextCut, BuffersAreBoundedAndTerminated) {
    // A buffer without a terminator is read to its end only.
    char unterminated[kNarrowTextBuffer];
    std::memset(unterminated, 'z', sizeof unterminated);
    EXPECT_EQ(CutCp949(unterminated, sizeof unterminated, kNarrowTextMax), std::string(249, 'z'));
    EXPECT_EQ(CutCp949(nullptr, 10, 9), "");

    char out[8];
    std::memset(out, 'q', sizeof out);
    CopyCp949("abcdef" + kGa, out, sizeof out);  // 8 bytes of text, room for 7
    EXPECT_STREQ(out, "abcdef");
    CopyCp949(std::string("ab\0cd", 5), out, sizeof out);
    EXPECT_STREQ(out, "ab");
}

TEST(SharedState, StartsWithUserDocumentAndEmptyNames) {
    MemorySharedState state;
    EXPECT_TRUE(state.NextOpenIsUserDocument());
    EXPECT_EQ(state.HostProcessCount(), 0);
    EXPECT_EQ(state.UpdateState(), 0);
    EXPECT_EQ(state.ClickedName(), "");
    EXPECT_EQ(state.LastKeyword(), "");
    state.SetNextOpenIsUserDocument(false);
    EXPECT_FALSE(state.NextOpenIsUserDocument());
}

TEST(SharedState, ClickedNameGoesToOnePaneOnly) {
    MemorySharedState state;
    state.SetClickedName("a.doc");
    EXPECT_EQ(state.ClickedName(), "a.doc");
    EXPECT_EQ(state.TakeClickedName(), "a.doc");
    EXPECT_EQ(state.TakeClickedName(), "");
}

TEST(SharedState, NamesAreCutAndReadBounded) {
    SharedBlock block;
    std::memset(&block, 0, sizeof block);
    ASSERT_TRUE(InitialiseSharedBlock(&block));
    SharedBlockState state(&block);

    // 125 Hangul characters: 250 bytes, one too many for the field.
    std::string hangul;
    for (int i = 0; i < 125; ++i) hangul += kGa;
    state.SetClickedName(hangul);
    state.SetLastKeyword(hangul);
    EXPECT_EQ(state.ClickedName().size(), 248u);
    EXPECT_EQ(state.LastKeyword().size(), 248u);
    EXPECT_EQ(block.clickedName[248], '\0');

    // Another process (or a broken one) left the fields without a terminator.
    std::memset(block.clickedName, 'x', sizeof block.clickedName);
    std::memset(block.lastKeyword, '\xB0', sizeof block.lastKeyword);
    EXPECT_EQ(state.ClickedName(), std::string(249, 'x'));
    EXPECT_EQ(state.LastKeyword(), std::string(248, '\xB0'));
}

TEST(SharedState, InitialisedOnceAndCountedAtomically) {
    SharedBlock block;
    std::memset(&block, 0, sizeof block);
    std::vector<std::thread> threads;
    std::vector<SharedBlockState> views(8, SharedBlockState(&block));
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&block, &views, t] {
            InitialiseSharedBlock(&block);
            for (int i = 0; i < 10000; ++i) {
                views[t].AddHostProcess();
                if (i % 2) views[t].RemoveHostProcess();
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(views[0].HostProcessCount(), 8 * 5000);
    EXPECT_TRUE(views[0].NextOpenIsUserDocument());

    // A later process opening the block finds it ready and leaves it as it is.
    views[0].SetNextOpenIsUserDocument(false);
    views[0].SetLastKeyword("k");
    EXPECT_TRUE(InitialiseSharedBlock(&block));
    EXPECT_FALSE(views[0].NextOpenIsUserDocument());
    EXPECT_EQ(views[0].LastKeyword(), "k");
    EXPECT_EQ(views[0].HostProcessCount(), 40000);
}

TEST(SharedState, BlockLeftHalfInitialisedIsRecovered) {
    SharedBlock block;
    std::memset(&block, 0, sizeof block);
    block.ready = 1;  // its creator died between its two steps
    EXPECT_FALSE(InitialiseSharedBlock(&block));
    EXPECT_EQ(block.ready, 2);
    EXPECT_TRUE(SharedBlockState(&block).NextOpenIsUserDocument());
}

}  // namespace
}  // namespace kv
