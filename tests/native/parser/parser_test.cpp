#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "addin/features/service/HttpParser.h"
#include "tests/native/parser/ParserRuns.h"

namespace kv {
namespace {

using parsertest::Agree;
using parsertest::Describe;
using parsertest::FeedByteByByte;
using parsertest::FeedSplit;
using parsertest::FeedWhole;
using parsertest::Printable;
using parsertest::Snapshot;

using namespace std::string_literals;

// Feeds the input whole, byte by byte, cut once at every position and (for short inputs) cut
// twice at every pair of positions; every run must agree with the whole one, which is returned.
Snapshot FedEveryWay(const std::string& input) {
    const Snapshot whole = FeedWhole(input);
    auto check = [&](const std::vector<size_t>& cuts, const Snapshot& got) {
        if (Agree(whole, got)) return true;
        std::string where;
        for (size_t c : cuts) where += std::to_string(c) + " ";
        ADD_FAILURE() << "input \"" << Printable(input) << "\"\ncut at " << where << "\nwhole: " << Describe(whole)
                      << "\nsplit: " << Describe(got);
        return false;
    };
    if (!check({0}, FeedByteByByte(input))) return whole;
    for (size_t a = 1; a < input.size(); ++a) {
        if (!check({a}, FeedSplit(input, {a}))) return whole;
    }
    if (input.size() <= 160) {
        for (size_t a = 1; a < input.size(); ++a) {
            for (size_t b = a + 1; b < input.size(); ++b) {
                if (!check({a, b}, FeedSplit(input, {a, b}))) return whole;
            }
        }
    }
    return whole;
}

const std::string kChunked9 =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n";

TEST(HttpParserFirstLine, ResponseRequestAndOtherKinds) {
    struct Case {
        const char* line;
        FirstLineKind kind;
        uint32_t status;
    } cases[] = {
        {"HTTP/1.1 200 OK", Response, 200},
        {"HTTP/1.1 200", Response, 0},  // nothing after the digits: not read
        {"http/1.0\t404\tNot Found", Response, 404},
        {"HTTP/1.1   301 Moved", Response, 301},
        {"HTTP/1.1 2000 X", Response, 0},  // four digits
        {"HTTP/1.1 20x X", Response, 0},
        {"HTTP/1.1", Response, 0},
        {"GET /k_app/a.asp HTTP/1.1", RequestGet, 0},
        {"post / HTTP/1.1", RequestPost, 0},
        {"XGETHTTP/1.1 200 OK", RequestGet, 0},  // GET is looked for before HTTP
        {"ICY 200 OK", FirstLineOther, 0},
        {"", FirstLineOther, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Snapshot s = FedEveryWay(std::string(c.line) + "\r\nContent-Length: 2\r\n\r\nok");
        EXPECT_EQ(s.firstLineKind, static_cast<uint32_t>(c.kind));
        EXPECT_EQ(s.status, c.status);
        EXPECT_EQ(s.phase, Idle);
        EXPECT_EQ(s.body, "ok");
    }
}

TEST(HttpParserHeaders, ContentLengthSpellingsAndLookalikes) {
    struct Case {
        const char* line;
        int32_t length;
    } cases[] = {
        {"content-length:  42", 42},
        {"Content-Length:42", 42},
        {"CONTENT-LENGTH: \t42", 42},  // the tab is left to the number reading, which skips it
        {"Content-Length: 7abc", 7},
        {"Content-Length: abc", 0},
        {"Content-Length: -5", -5},
        {"Content-Length: 99999999999", 2147483647},
        {"Content-Length: -99999999999", -2147483647 - 1},
        {"Content-Type: 42", 0},  // shares the first letter only
        {"Content-Length", 0},    // not longer than the name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        HttpParser p;
        const std::string head = "HTTP/1.1 200 OK\r\n"s + c.line + "\r\n\r\n";
        p.feed(head.data(), head.size());
        EXPECT_EQ(p.contentLength(), c.length);
    }
}

TEST(HttpParserHeaders, ValuesHostLocationCookiesAndEncoding) {
    const std::string reply =
        "HTTP/1.1 302 Found\r\n"
        "Hostname: svc.example\r\n"     // taken as Host: the value starts right after "host"
        "LOCATION: :: /next?a=1  \r\n"  // colons and spaces skipped, trailing spaces kept
        "Set-Cookie: a=1; path=/\r\n"
        "X-Other: ignored\r\n"
        "set-cookie:b=2\r\n"
        "Transfer-Encoding: Chunked\r\n"
        "\r\n"
        "3\r\nabc\r\n0\r\n\r\n";
    const Snapshot s = FedEveryWay(reply);
    EXPECT_EQ(s.status, 302u);
    EXPECT_EQ(s.host, "name: svc.example");
    EXPECT_EQ(s.location, "/next?a=1  ");
    EXPECT_EQ(s.cookies, (std::vector<std::string>{"a=1; path=/", "b=2"}));
    EXPECT_TRUE(s.chunked);
    EXPECT_EQ(s.body, "abc");
    EXPECT_EQ(s.phase, Idle);

    HttpParser p;
    const std::string tabs = "HTTP/1.1 200 OK\r\nHost:\tx\r\nLocation:\r\nTransfer-Encoding: gzip, chunked\r\n\r\n";
    p.feed(tabs.data(), tabs.size());
    EXPECT_EQ(p.host(), "\tx");  // tabs are not skipped
    EXPECT_EQ(p.location(), "");
    EXPECT_FALSE(p.chunked());
    EXPECT_EQ(p.phase(), Idle);  // no length, no chunking: complete with this block's body
}

TEST(HttpParserBody, ContentLengthCompletesInAnySplit) {
    const Snapshot s = FedEveryWay("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    EXPECT_EQ(s.phase, Idle);
    EXPECT_EQ(s.body, "hello");

    // NUL bytes and CR LF inside a body are data.
    const std::string binary = "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n\0a\r\n\0\xff"s;
    const Snapshot b = FedEveryWay(binary);
    EXPECT_EQ(b.phase, Idle);
    EXPECT_EQ(b.body, "\0a\r\n\0\xff"s);
}

TEST(HttpParserBody, CutOffRepliesAreNeverComplete) {
    const std::string full = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
    for (size_t n = 1; n < full.size(); ++n) {
        const Snapshot s = FedEveryWay(full.substr(0, n));
        EXPECT_NE(s.phase, Idle) << "cut after " << n;
    }
    for (size_t n = 1; n + 2 < kChunked9.size(); ++n) {  // complete once "0\r\n" is in
        const Snapshot s = FeedWhole(kChunked9.substr(0, n));
        EXPECT_NE(s.phase, Idle) << "cut after " << n;
        EXPECT_FALSE(s.malformed);
    }
}

TEST(HttpParserBody, WithoutLengthOnlyTheHeadBlockCounts) {
    HttpParser p;
    const std::string first = "HTTP/1.1 200 OK\r\nServer: x\r\n\r\nabc";
    p.feed(first.data(), first.size());
    EXPECT_EQ(p.phase(), Idle);
    EXPECT_EQ(p.body(), "abc");

    p.reset();
    const std::string head = "HTTP/1.1 200 OK\r\n\r\n";
    p.feed(head.data(), head.size());
    EXPECT_EQ(p.phase(), Idle);
    EXPECT_EQ(p.body(), "");
}

TEST(HttpParserBody, NegativeLengthNeverCompletes) {
    HttpParser p;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nabc";
    p.feed(head.data(), head.size());
    p.feed("def", 3);
    EXPECT_EQ(p.phase(), Body);
    EXPECT_EQ(p.body(), "abcdef");
}

TEST(HttpParserBody, HugeLengthDoesNotReserveItAll) {
    HttpParser p;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\nab";
    p.feed(head.data(), head.size());
    EXPECT_EQ(p.phase(), Body);
    EXPECT_LE(p.body().capacity(), HttpParser::kMaxReserve + 64);
}

TEST(HttpParserChunked, NineBytesInEverySplit) {
    const Snapshot s = FedEveryWay(kChunked9);
    EXPECT_EQ(s.phase, Idle);
    EXPECT_EQ(s.body, "Wikipedia");
    EXPECT_TRUE(s.chunked);
    EXPECT_FALSE(s.malformed);
}

TEST(HttpParserChunked, CompleteAtTheZeroLineWithoutTrailers) {
    const std::string noTrailerEnd = kChunked9.substr(0, kChunked9.size() - 2);
    const Snapshot s = FedEveryWay(noTrailerEnd);
    EXPECT_EQ(s.phase, Idle);
    EXPECT_EQ(s.body, "Wikipedia");

    // Extensions, upper-case hex, junk before a size and trailers after the last chunk.
    const Snapshot t = FedEveryWay(
        "HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\n\r\n"
        "a;name=v\r\n0123456789\r\n\r\n  B\r\n0123456789A\r\n0\r\nX-Trailer: 1\r\n\r\n");
    EXPECT_EQ(t.phase, Idle);
    EXPECT_EQ(t.body, "01234567890123456789A");
}

TEST(HttpParserChunked, ChunkedWinsOverLengthAndKeepsNul) {
    const Snapshot s = FedEveryWay(
        "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n\0\r\0\r\n0\r\n\r\n"s);
    EXPECT_EQ(s.phase, Idle);
    EXPECT_EQ(s.body, "\0\r\0"s);
}

TEST(HttpParserChunked, BlockStateBetweenFeeds) {
    HttpParser p;
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1";
    p.feed(head.data(), head.size());
    EXPECT_EQ(p.chunkPhase(), Resume);
    EXPECT_EQ(p.chunkRemaining(), -1);  // size line unfinished
    p.feed("0\r\n0123", 7);             // "10": sixteen bytes
    EXPECT_EQ(p.chunkPhase(), Resume);
    EXPECT_EQ(p.chunkRemaining(), 12);
    p.feed("456789abcdef\r\n0\r\n", 17);
    EXPECT_EQ(p.phase(), Idle);
    EXPECT_EQ(p.body(), "0123456789abcdef");
}

TEST(HttpParserHostile, OverflowingChunkSizeFailsTheReply) {
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n";
    for (const char* size : {"80000000", "FFFFFFFF", "100000000", "ffffffffffffffffffffffffffffffff"}) {
        SCOPED_TRACE(size);
        const Snapshot s = FedEveryWay(head + size + "\r\nmore data\r\n0\r\n\r\n");
        EXPECT_TRUE(s.malformed);
        EXPECT_NE(s.phase, Idle);
        EXPECT_EQ(s.body, "ok");
    }
    // The largest size that fits is still taken, and leading zeros do not count.
    const Snapshot big = FeedWhole(head + "7fffffff\r\nabc");
    EXPECT_FALSE(big.malformed);
    EXPECT_EQ(big.chunkRemaining, 0x7fffffff - 3);
    const Snapshot zeros = FedEveryWay(head + std::string(40, '0') + "3\r\nxyz\r\n0\r\n\r\n");
    EXPECT_FALSE(zeros.malformed);
    EXPECT_EQ(zeros.body, "okxyz");
}

TEST(HttpParserHostile, EndlessLinesAreCut) {
    const std::string longValue(HttpParser::kMaxLineLength + 10, 'a');
    const std::string longHeader = "HTTP/1.1 200 OK\r\nX-Long: " + longValue + "\r\nContent-Length: 1\r\n\r\nx";
    for (const Snapshot& s : {FeedWhole(longHeader), FeedByteByByte(longHeader), FeedSplit(longHeader, {20, 40000})}) {
        EXPECT_TRUE(s.malformed);
        EXPECT_EQ(s.phase, Headers);
    }
    // A header line without end, fed in blocks, stops growing at the bound.
    HttpParser p;
    p.feed("HTTP/1.1 200 OK\r\nX: ", 20);
    const std::string block(16 * 1024, 'b');
    for (int i = 0; i < 8 && !p.malformed(); ++i) p.feed(block.data(), block.size());
    EXPECT_TRUE(p.malformed());

    // Many short lines: the head as a whole is bounded too.
    std::string manyLines = "HTTP/1.1 200 OK\r\n";
    while (manyLines.size() <= HttpParser::kMaxHeadLength) manyLines += "Set-Cookie: " + std::string(100, 'c') + "\r\n";
    const Snapshot many = FeedWhole(manyLines + "\r\n");
    EXPECT_TRUE(many.malformed);
    EXPECT_EQ(FeedSplit(manyLines + "\r\n", {manyLines.size() - 7}).malformed, true);

    // A chunk-size line whose end never comes.
    const std::string chunkHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;";
    const std::string ext = chunkHead + std::string(HttpParser::kMaxLineLength, 'e');
    for (const Snapshot& s : {FeedWhole(ext), FeedSplit(ext, {chunkHead.size(), chunkHead.size() + 3})}) {
        EXPECT_TRUE(s.malformed);
        EXPECT_EQ(s.body, "");
    }
}

TEST(HttpParserHostile, LongestAllowedLineIsRead) {
    const std::string value(HttpParser::kMaxLineLength - 6, 'h');
    const std::string reply = "HTTP/1.1 200 OK\r\nHost: " + value + "\r\n\r\n";
    const Snapshot s = FeedSplit(reply, {reply.size() - 3});  // CR at the end of a block
    EXPECT_FALSE(s.malformed);
    EXPECT_EQ(s.host, value);
    EXPECT_EQ(s.phase, Idle);
}

TEST(HttpParserLifecycle, ResetEmptyFeedsAndMalformedState) {
    HttpParser p;
    const std::string first = "HTTP/1.1 404 Nope\r\nSet-Cookie: a\r\nContent-Length: 1\r\n\r\nx";
    p.feed(first.data(), first.size());
    ASSERT_EQ(p.phase(), Idle);
    p.feed("", 0);  // carries nothing: the finished reply stays
    EXPECT_EQ(p.body(), "x");
    EXPECT_EQ(p.status(), 404u);

    // A block while idle starts a new reply from scratch.
    const std::string second = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nyz";
    p.feed(second.data(), second.size());
    EXPECT_EQ(p.status(), 200u);
    EXPECT_TRUE(p.cookies().empty());
    EXPECT_EQ(p.body(), "yz");

    const std::string bad = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n123456789\r\n";
    p.feed(bad.data(), bad.size());
    ASSERT_TRUE(p.malformed());
    p.feed("0\r\n\r\n", 5);  // ignored until reset
    EXPECT_TRUE(p.malformed());
    EXPECT_EQ(p.body(), "ab");
    p.reset();
    EXPECT_FALSE(p.malformed());
    EXPECT_EQ(p.phase(), Idle);
    EXPECT_EQ(p.chunkPhase(), SizeLine);
    EXPECT_EQ(p.status(), 0u);
    EXPECT_EQ(p.firstLineKind(), FirstLineNone);
    EXPECT_FALSE(p.chunked());
    EXPECT_EQ(p.body(), "");
}

}  // namespace
}  // namespace kv
