// The HTML reader: every case is read whole, byte by byte and split at every position, and
// all readings must give the same document.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "addin/features/webview/HtmlDocument.h"
#include "tests/native/webview/HtmlSummary.h"

namespace kv {
namespace {

HtmlDocument Read(const std::vector<std::string>& chunks) {
    HtmlDocument d;
    for (const auto& c : chunks) d.Feed(c);
    d.Finish();
    return d;
}

std::string Summary(const HtmlDocument& d) {
    return HtmlSummary(d);
}

void ExpectSameForAnyChunking(const std::string& page, bool everySplit = true) {
    const std::string whole = Summary(Read({page}));
    std::vector<std::string> bytes;
    for (char c : page) bytes.emplace_back(1, c);
    ASSERT_EQ(whole, Summary(Read(bytes))) << "byte by byte: " << page.substr(0, 200);
    if (!everySplit) return;
    for (size_t i = 0; i <= page.size(); ++i)
        ASSERT_EQ(whole, Summary(Read({page.substr(0, i), page.substr(i)}))) << "split at " << i << ": " << page;
}

struct TextCase {
    const char* name;
    std::string page;
    std::string text;
};

TEST(HtmlDocument, BodyTextAndChunking) {
    const std::vector<TextCase> cases = {
        {"plain answer", "ok", "ok"},
        {"answer with line end", "ok\r\n", "ok"},
        {"entities", "<p>a &amp; b &lt;c&gt; &#65;&#x42;&#x3b; &unknown; &amp</p>", "a & b <c> AB; &unknown; &"},
        {"bad numeric entities", "&#0;&#xD800;&#99999999;&#;x", "???&#;x"},
        {"scripts and styles", "<body>x<script>if (a<b) document.write('</p>')</script>y<style>p{}</style>z</body>",
         "xyz"},
        {"script end tag in other case", "<SCRIPT>x</ScRiPt >y<script>a</scriptx></script>b", "yb"},
        {"blocks and breaks", "<div>one</div><div>two<br>three</div>  <p> four \n  five </p>",
         "one\ntwo\nthree\nfour five"},
        {"left-out end tags", "<p>one<p>two<div>three</div><ul><li>a<li>b</ul>", "one\ntwo\nthree\na\nb"},
        {"head and title", "<html><head><title>T &amp; t</title></head><body>body</body></html>", "body"},
        {"comments and declarations", "a<!-- <p>hidden</p> -- -->b<!DOCTYPE html>c<?xml x?>d<!--->e-->f", "abcdf"},
        {"literal less-than", "a < b <3 </ c", "a < b <3"},
        {"unterminated tag", "<p>text<input id=x value='abc", "text"},
        {"unterminated comment", "a<!-- never", "a"},
        {"unterminated script", "a<script>var x = '<b>'", "a"},
        {"end tag for nothing open", "a</div></form>b", "ab"},
        {"textarea and select hidden", "x<textarea>t</textarea><select><option>o</option></select>y", "xy"},
        {"control bytes",
         std::string("a\x01"
                     "b\x00"
                     "c",
                     5),
         "a b c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.text, Read({c.page}).BodyText());
        ExpectSameForAnyChunking(c.page);
    }
}

TEST(HtmlDocument, ElementsAttributesAndForms) {
    const std::string page =
        "<form id=f1 action='/a'><INPUT ID=Name Value=\"a&quot;b\" name='n' id=second disabled>"
        "<textarea id=ta>x &lt; y</textarea><select id=s><option value=1>one<option selected>two</select>"
        "<button id=b>go</button></form><input id=outside><img src=a.png><img src=b.png>"
        "<base href='http://x/'><div/><span id=after>z</span>";
    ExpectSameForAnyChunking(page);
    HtmlDocument d = Read({page});
    const int name = d.FindById("Name");
    ASSERT_GE(name, 0);
    const HtmlElement& input = d.elements()[name];
    EXPECT_EQ("input", input.tag);
    EXPECT_EQ("a\"b", input.value);
    EXPECT_EQ("n", *input.Attribute("name"));
    EXPECT_NE(nullptr, input.Attribute("disabled"));
    EXPECT_EQ(-1, d.FindById("second")) << "the first of repeated attributes counts";
    EXPECT_EQ(d.FindById("f1"), input.form);
    EXPECT_EQ("x < y", d.elements()[d.FindById("ta")].value);
    EXPECT_EQ("go", d.elements()[d.FindById("b")].text);
    const int select = d.FindById("s");
    ASSERT_EQ("option", d.elements()[select + 1].tag);
    EXPECT_EQ("one", d.elements()[select + 1].text) << "an option ends where the next begins";
    EXPECT_EQ(select, d.elements()[select + 2].parent);
    EXPECT_EQ(-1, d.elements()[d.FindById("outside")].form);
    ASSERT_GE(d.FirstImage(), 0);
    EXPECT_EQ("a.png", *d.elements()[d.FirstImage()].Attribute("src"));
    EXPECT_EQ("http://x/", d.baseHref());
    EXPECT_EQ(-1, d.elements()[d.FindById("after")].parent) << "<div/> is not left open";
    EXPECT_EQ(-1, d.FindById(""));
    EXPECT_FALSE(d.truncated());
}

TEST(HtmlDocument, HostilePagesStayBounded) {
    struct Case {
        const char* name;
        std::string page;
        const char* findId;  // must still be found
        bool truncated;
    };
    std::string deep;
    for (int i = 0; i < 2000; ++i) deep += "<div>";
    deep += "<span id=deep>x</span>";
    std::string many;
    for (size_t i = 0; i < HtmlDocument::kMaxElements + 100; ++i) many += "<b>";
    std::string hugeAttr = "<input id=big value=\"" + std::string(200 * 1024, 'v') + "\"><p id=next>n</p>";
    std::string hugeUnterminated = "<p id=ok>k</p><input value=\"" + std::string(3 * 1024 * 1024, 'v');
    std::string manyAttrs = "<p id=a";
    for (int i = 0; i < 500; ++i) manyAttrs += " a" + std::to_string(i) + "=1";
    manyAttrs += ">t</p>";
    const std::vector<Case> cases = {
        {"deep nesting", deep, "deep", true},       {"element count", many, nullptr, true},
        {"huge attribute", hugeAttr, "next", true}, {"huge page cut off inside a tag", hugeUnterminated, "ok", true},
        {"many attributes", manyAttrs, "a", true},  {"no form at all", "<p id=p>just text</p>", "p", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HtmlDocument d = Read({c.page});
        EXPECT_EQ(c.truncated, d.truncated());
        EXPECT_LE(d.elements().size(), HtmlDocument::kMaxElements);
        for (const auto& e : d.elements()) {
            EXPECT_LE(e.value.size(), HtmlDocument::kMaxAttributeBytes);
            EXPECT_LE(e.attributes.size(), HtmlDocument::kMaxAttributes);
        }
        if (c.findId) EXPECT_GE(d.FindById(c.findId), 0);
        ExpectSameForAnyChunking(c.page, false);
    }
    EXPECT_EQ("x", Read({deep}).BodyText());
}

}  // namespace
}  // namespace kv
