// A small bounded HTML reader for the built-in form browser: enough of a page to find
// elements by id, fill and submit its forms, read its body text and find its first image.
// A state machine over bytes with no I/O: chunks of any size go in, Finish() ends the page,
// and any chunking of the same bytes gives the same document.
#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace kv {

struct HtmlElement {
    std::string tag;                                              // lower case
    std::vector<std::pair<std::string, std::string>> attributes;  // names lower case, values decoded
    int parent = -1;
    int form = -1;      // the form element this one belongs to (nearest enclosing <form>)
    std::string text;   // decoded text content, kept for textarea, option, title and button
    std::string value;  // the current value of an input or textarea (starts as the page's)

    const std::string* Attribute(const std::string& name) const;
};

class HtmlDocument {
public:
    // Bounds against hostile pages; the service's pages stay far below them.
    static constexpr size_t kMaxPageBytes = 2 * 1024 * 1024;
    static constexpr size_t kMaxElements = 20000;
    static constexpr size_t kMaxDepth = 256;
    static constexpr size_t kMaxAttributes = 64;
    static constexpr size_t kMaxAttributeBytes = 64 * 1024;
    static constexpr size_t kMaxNameBytes = 64;

    void Reset() { *this = HtmlDocument(); }
    void Feed(const char* bytes, size_t count);
    void Feed(const std::string& bytes) { Feed(bytes.data(), bytes.size()); }
    // End of the page: a tag cut off by the end is dropped, open elements are closed.
    void Finish();

    bool finished() const { return finished_; }
    // Set when a bound was passed: the page was cut there (what was read stands).
    bool truncated() const { return truncated_; }

    const std::vector<HtmlElement>& elements() const { return elements_; }
    HtmlElement* Element(int index);
    const HtmlElement* Element(int index) const;
    // First element whose id attribute is exactly id, or -1.
    int FindById(const std::string& id) const;
    // First <img> of the page, or -1.
    int FirstImage() const { return firstImage_; }
    // The <base href> of the page, when it has one.
    const std::string& baseHref() const { return baseHref_; }
    // The page's text without tags, scripts and styles, entities decoded, blocks on lines of
    // their own, blanks collapsed, no leading or trailing blank lines.
    std::string BodyText() const;

private:
    enum State {
        Data,
        TagOpen,
        EndTagOpen,
        TagName,
        BeforeAttrName,
        AttrName,
        AfterAttrName,
        BeforeAttrValue,
        AttrValueDouble,
        AttrValueSingle,
        AttrValueUnquoted,
        SelfClosing,
        MarkupDecl,
        Comment,
        Bogus,
        RawText,
        RawLess,
        RawEndName,
        RawEndRest,
    };

    void Step(char c);
    void FlushText();
    void StartAttribute();
    void EndAttribute();
    void EmitTag();
    // False when the element was not left open (void, too deep, or over the element bound).
    bool OpenElement();
    void CloseElement(const std::string& tag);
    void PopElement();
    void EndRaw();
    void TextMark(char mark);
    void AppendBounded(std::string* s, char c, size_t bound);
    void Stop();

    State state_ = Data;
    bool finished_ = false;
    bool truncated_ = false;
    bool stopped_ = false;  // a bound ended the page: later bytes are ignored
    size_t fed_ = 0;

    // The token being read.
    std::string text_;  // pending character data (raw, decoded at flush)
    std::string tagName_;
    bool endTag_ = false;
    bool selfClosing_ = false;
    std::string attrName_;
    std::string attrValue_;
    bool haveAttr_ = false;
    std::vector<std::pair<std::string, std::string>> attrs_;
    std::string markup_;  // "<!" lookahead for comments
    int commentDashes_ = 0;
    std::string rawTag_;  // element whose raw text is being read (script, style, textarea, title)
    std::string rawEnd_;  // bytes of "</name" matched so far

    std::vector<HtmlElement> elements_;
    std::vector<int> open_;  // stack of open elements
    int openForm_ = -1;
    int firstImage_ = -1;
    std::string baseHref_;
    // Body text with marks: '\n' hard break, '\r' soft block break; collapsed at the end.
    std::string bodyText_;
    int hiddenDepth_ = 0;  // open head, script, style, title, template, noscript elements
};

// Decodes character references (&amp; &#48; &#x30; ...) into code page 949 bytes.
std::string DecodeEntities(const std::string& raw);

}  // namespace kv
