// Fuzzer for the form browser's HTML reader: the first byte chooses where the page is cut in
// two; the rest is the page. Whole, split and byte-by-byte readings must agree, the bounds must
// hold, and every form must give a submission without running away.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "addin/features/webview/FormBrowser.h"
#include "addin/features/webview/HtmlDocument.h"
#include "addin/features/webview/PageUrl.h"
#include "tests/native/webview/HtmlSummary.h"

using namespace kv;

namespace {

[[noreturn]] void Fail(const char* what, const std::string& a, const std::string& b) {
    std::fprintf(stderr, "%s\nwhole:\n%s\nother:\n%s\n", what, a.c_str(), b.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string page(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t cut = page.empty() ? 0 : data[0] % (page.size() + 1);

    HtmlDocument whole;
    whole.Feed(page);
    whole.Finish();
    HtmlDocument split;
    split.Feed(page.substr(0, cut));
    split.Feed(page.substr(cut));
    split.Finish();
    HtmlDocument bytes;
    for (char c : page) bytes.Feed(&c, 1);
    bytes.Finish();
    const std::string expected = HtmlSummary(whole);
    if (HtmlSummary(split) != expected) Fail("split reading differs", expected, HtmlSummary(split));
    if (HtmlSummary(bytes) != expected) Fail("byte-by-byte reading differs", expected, HtmlSummary(bytes));

    if (whole.elements().size() > HtmlDocument::kMaxElements) Fail("too many elements", expected, "");
    if (whole.BodyText().size() > page.size() * 8 + 16) Fail("body text runs away", expected, whole.BodyText());
    for (size_t i = 0; i < whole.elements().size(); ++i) {
        const HtmlElement& e = whole.elements()[i];
        if (e.parent >= static_cast<int>(i) || e.form >= static_cast<int>(i)) Fail("link forward", expected, e.tag);
        if (e.attributes.size() > HtmlDocument::kMaxAttributes || e.value.size() > HtmlDocument::kMaxAttributeBytes)
            Fail("attribute bounds", expected, e.tag);
        if (e.tag == "form") {
            PageRequest r = FormSubmission(whole, "http://h/dir/page.asp", static_cast<int>(i), -1);
            PageUrl parsed;
            if (!r.url.empty() && !PageUrl::Parse(r.url, &parsed)) Fail("submission to a bad address", expected, r.url);
        }
        if (const std::string* href = e.Attribute("href")) {
            std::string url = ResolveUrl("http://h/dir/page.asp", *href);
            PageUrl parsed;
            if (!url.empty() && !PageUrl::Parse(url, &parsed)) Fail("link to a bad address", expected, url);
        }
    }
    return 0;
}
