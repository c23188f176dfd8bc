#include "addin/features/webview/HtmlDocument.h"

#include <cstring>

#include "platform/CodePage.h"

namespace kv {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool OneOf(const std::string& tag, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (tag == n) return true;
    return false;
}

bool IsVoid(const std::string& tag) {
    return OneOf(tag, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                       "track", "wbr"});
}
// Elements whose content is read as raw text up to their end tag.
bool IsRaw(const std::string& tag) {
    return OneOf(tag, {"script", "style", "textarea", "title", "xmp"});
}
// Elements whose content is not part of the body text.
bool IsHidden(const std::string& tag) {
    return OneOf(tag, {"head", "script", "style", "title", "template", "noscript", "textarea", "select"});
}
bool IsBlock(const std::string& tag) {
    return OneOf(tag, {"address", "article",  "aside",   "blockquote", "body", "center", "dd",   "div", "dl",
                       "dt",      "fieldset", "figure",  "footer",     "form", "h1",     "h2",   "h3",  "h4",
                       "h5",      "h6",       "header",  "hr",         "html", "li",     "main", "nav", "ol",
                       "p",       "pre",      "section", "table",      "tr",   "ul"});
}
bool KeepsText(const std::string& tag) {
    return OneOf(tag, {"option", "button"});
}

// Marks in the collected body text: a block edge and a line break.
constexpr char kBlockMark = '\x01';
constexpr char kBreakMark = '\x02';

void AppendCodePoint(unsigned long cp, std::string* out) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        *out += '?';
        return;
    }
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
        return;
    }
    std::string utf8;
    if (cp < 0x800) {
        utf8 += static_cast<char>(0xC0 | (cp >> 6));
    } else if (cp < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (cp >> 12));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    } else {
        utf8 += static_cast<char>(0xF0 | (cp >> 18));
        utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    std::string cp949;
    if (Utf8ToCp949(utf8, &cp949) && !cp949.empty())
        *out += cp949;
    else
        *out += '?';
}

}  // namespace

const std::string* HtmlElement::Attribute(const std::string& name) const {
    for (const auto& a : attributes)
        if (a.first == name) return &a.second;
    return nullptr;
}

std::string DecodeEntities(const std::string& raw) {
    static const struct {
        const char* name;
        const char* text;
    } kNamed[] = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "},
    };
    std::string out;
    out.reserve(raw.size());
    size_t i = 0;
    while (i < raw.size()) {
        if (raw[i] != '&') {
            out += raw[i++];
            continue;
        }
        size_t j = i + 1;
        if (j < raw.size() && raw[j] == '#') {
            ++j;
            bool hex = j < raw.size() && (raw[j] == 'x' || raw[j] == 'X');
            if (hex) ++j;
            size_t start = j;
            unsigned long cp = 0;
            while (j < raw.size() && j - start < 8) {
                char c = raw[j];
                int d = (c >= '0' && c <= '9')          ? c - '0'
                        : (hex && c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (hex && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                        : -1;
                if (d < 0) break;
                cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
                ++j;
            }
            if (j == start || (j < raw.size() && j - start >= 8 && raw[j] != ';')) {
                out += raw[i++];
                continue;
            }
            if (j < raw.size() && raw[j] == ';') ++j;
            AppendCodePoint(cp, &out);
            i = j;
            continue;
        }
        bool matched = false;
        for (const auto& e : kNamed) {
            size_t n = std::strlen(e.name);
            if (raw.compare(j, n, e.name) == 0) {
                out += e.text;
                i = j + n;
                if (i < raw.size() && raw[i] == ';') ++i;
                matched = true;
                break;
            }
        }
        if (!matched) out += raw[i++];
    }
    return out;
}

HtmlElement* HtmlDocument::Element(int index) {
    return index >= 0 && static_cast<size_t>(index) < elements_.size() ? &elements_[index] : nullptr;
}
const HtmlElement* HtmlDocument::Element(int index) const {
    return index >= 0 && static_cast<size_t>(index) < elements_.size() ? &elements_[index] : nullptr;
}

int HtmlDocument::FindById(const std::string& id) const {
    if (id.empty()) return -1;
    for (size_t i = 0; i < elements_.size(); ++i) {
        const std::string* v = elements_[i].Attribute("id");
        if (v && *v == id) return static_cast<int>(i);
    }
    return -1;
}

void HtmlDocument::Feed(const char* bytes, size_t count) {
    if (finished_ || stopped_ || !bytes) return;
    size_t room = kMaxPageBytes - fed_;
    if (count > room) {
        count = room;
        truncated_ = true;
    }
    fed_ += count;
    for (size_t i = 0; i < count && !stopped_; ++i) Step(bytes[i]);
    if (fed_ >= kMaxPageBytes) stopped_ = true;
}

void HtmlDocument::Finish() {
    if (finished_) return;
    if (!stopped_) {
        switch (state_) {
            case Data: break;
            case TagOpen: text_ += '<'; break;
            case RawText:
            case RawLess:
            case RawEndName:
            case RawEndRest:
                if (state_ == RawLess) text_ += rawEnd_;
                EndRaw();
                break;
            default: break;  // a tag, comment or declaration cut off by the end is dropped
        }
    }
    if (state_ == Data || state_ == TagOpen) FlushText();
    text_.clear();
    while (!open_.empty()) PopElement();
    finished_ = true;
}

void HtmlDocument::Stop() {
    truncated_ = true;
    stopped_ = true;
}

void HtmlDocument::FlushText() {
    if (text_.empty()) return;
    std::string decoded = DecodeEntities(text_);
    text_.clear();
    for (int index : open_) {
        HtmlElement& e = elements_[index];
        if (KeepsText(e.tag) && e.text.size() < kMaxAttributeBytes)
            e.text.append(decoded, 0, kMaxAttributeBytes - e.text.size());
    }
    if (hiddenDepth_ > 0) return;
    for (char c : decoded) {
        unsigned char b = static_cast<unsigned char>(c);
        bodyText_ += (b < 0x20 || b == 0x7F) ? ' ' : c;
    }
}

void HtmlDocument::StartAttribute() {
    attrName_.clear();
    attrValue_.clear();
    haveAttr_ = true;
}

void HtmlDocument::EndAttribute() {
    if (!haveAttr_) return;
    haveAttr_ = false;
    if (attrName_.empty()) return;
    for (const auto& a : attrs_)
        if (a.first == attrName_) return;  // the first of repeated attributes counts
    if (attrs_.size() >= kMaxAttributes) {
        truncated_ = true;
        return;
    }
    attrs_.emplace_back(attrName_, DecodeEntities(attrValue_));
}

void HtmlDocument::AppendBounded(std::string* s, char c, size_t bound) {
    if (s->size() < bound)
        *s += c;
    else
        truncated_ = true;
}

void HtmlDocument::TextMark(char mark) {
    if (hiddenDepth_ == 0) bodyText_ += mark;
}

void HtmlDocument::PopElement() {
    int index = open_.back();
    open_.pop_back();
    const std::string& tag = elements_[index].tag;
    if (IsHidden(tag)) --hiddenDepth_;
    if (IsBlock(tag)) TextMark(kBlockMark);
    if (index == openForm_) openForm_ = -1;
}

void HtmlDocument::CloseElement(const std::string& tag) {
    for (size_t i = open_.size(); i-- > 0;) {
        if (elements_[open_[i]].tag == tag) {
            while (open_.size() > i) PopElement();
            return;
        }
    }
    if (tag == "br") TextMark(kBreakMark);  // "</br>" is read as a break, as browsers do
}

bool HtmlDocument::OpenElement() {
    if (elements_.size() >= kMaxElements) {
        Stop();
        return false;
    }
    // The end tags that pages leave out: a new option ends the open one, a new item the open
    // item, and a block ends an open paragraph.
    if (!open_.empty()) {
        const std::string& top = elements_[open_.back()].tag;
        if ((top == "option" && (tagName_ == "option" || tagName_ == "optgroup")) ||
            (top == "li" && tagName_ == "li") || (top == "p" && IsBlock(tagName_) && tagName_ != "li"))
            PopElement();
    }
    HtmlElement e;
    e.tag = tagName_;
    e.attributes = std::move(attrs_);
    attrs_.clear();
    e.parent = open_.empty() ? -1 : open_.back();
    e.form = openForm_;
    if (const std::string* v = e.Attribute("value")) e.value = *v;
    const int index = static_cast<int>(elements_.size());
    if (e.tag == "img" && firstImage_ < 0) firstImage_ = index;
    if (e.tag == "base" && baseHref_.empty())
        if (const std::string* href = e.Attribute("href")) baseHref_ = *href;
    if (e.tag == "br") TextMark(kBreakMark);
    if (IsBlock(e.tag)) TextMark(kBlockMark);
    const bool isForm = e.tag == "form";
    const bool isVoid = IsVoid(e.tag) || (selfClosing_ && !IsRaw(e.tag));
    elements_.push_back(std::move(e));
    if (isVoid) return false;
    if (open_.size() >= kMaxDepth) {
        // Deeper elements are kept, but as leaves of the deepest allowed one.
        truncated_ = true;
        return false;
    }
    open_.push_back(index);
    if (IsHidden(elements_[index].tag)) ++hiddenDepth_;
    if (isForm && openForm_ < 0) openForm_ = index;
    return true;
}

void HtmlDocument::EmitTag() {
    EndAttribute();
    if (endTag_) {
        CloseElement(tagName_);
        attrs_.clear();
        state_ = Data;
        return;
    }
    const bool opened = OpenElement();
    state_ = Data;
    if (opened && IsRaw(tagName_)) {
        rawTag_ = tagName_;
        state_ = RawText;
    }
}

void HtmlDocument::EndRaw() {
    if (!open_.empty()) {
        HtmlElement& e = elements_[open_.back()];
        if (e.tag == rawTag_) {
            std::string content = (rawTag_ == "script" || rawTag_ == "style") ? text_ : DecodeEntities(text_);
            if (content.size() > kMaxAttributeBytes) {
                content.resize(kMaxAttributeBytes);
                truncated_ = true;
            }
            if (rawTag_ == "textarea") e.value = content;
            if (rawTag_ == "textarea" || rawTag_ == "title") e.text = std::move(content);
        }
    }
    text_.clear();
    rawEnd_.clear();
    CloseElement(rawTag_);
    rawTag_.clear();
    state_ = Data;
}

void HtmlDocument::Step(char c) {
    switch (state_) {
        case Data:
            if (c == '<')
                state_ = TagOpen;
            else
                text_ += c;
            return;
        case TagOpen:
            if (IsLetter(c)) {
                FlushText();
                tagName_.assign(1, Lower(c));
                endTag_ = false;
                selfClosing_ = false;
                attrs_.clear();
                haveAttr_ = false;
                state_ = TagName;
            } else if (c == '/') {
                state_ = EndTagOpen;
            } else if (c == '!') {
                FlushText();
                markup_.clear();
                state_ = MarkupDecl;
            } else if (c == '?') {
                FlushText();
                state_ = Bogus;
            } else {
                text_ += '<';
                state_ = Data;
                Step(c);
            }
            return;
        case EndTagOpen:
            FlushText();
            if (IsLetter(c)) {
                tagName_.assign(1, Lower(c));
                endTag_ = true;
                selfClosing_ = false;
                attrs_.clear();
                haveAttr_ = false;
                state_ = TagName;
            } else {
                state_ = c == '>' ? Data : Bogus;
            }
            return;
        case TagName:
            if (IsSpace(c))
                state_ = BeforeAttrName;
            else if (c == '/')
                state_ = SelfClosing;
            else if (c == '>')
                EmitTag();
            else
                AppendBounded(&tagName_, Lower(c), kMaxNameBytes);
            return;
        case BeforeAttrName:
            if (IsSpace(c)) return;
            if (c == '/')
                state_ = SelfClosing;
            else if (c == '>')
                EmitTag();
            else {
                StartAttribute();
                AppendBounded(&attrName_, Lower(c), kMaxNameBytes);
                state_ = AttrName;
            }
            return;
        case AttrName:
            if (IsSpace(c))
                state_ = AfterAttrName;
            else if (c == '/') {
                EndAttribute();
                state_ = SelfClosing;
            } else if (c == '=')
                state_ = BeforeAttrValue;
            else if (c == '>')
                EmitTag();
            else
                AppendBounded(&attrName_, Lower(c), kMaxNameBytes);
            return;
        case AfterAttrName:
            if (IsSpace(c)) return;
            if (c == '/') {
                EndAttribute();
                state_ = SelfClosing;
            } else if (c == '=')
                state_ = BeforeAttrValue;
            else if (c == '>')
                EmitTag();
            else {
                EndAttribute();
                StartAttribute();
                AppendBounded(&attrName_, Lower(c), kMaxNameBytes);
                state_ = AttrName;
            }
            return;
        case BeforeAttrValue:
            if (IsSpace(c)) return;
            if (c == '"')
                state_ = AttrValueDouble;
            else if (c == '\'')
                state_ = AttrValueSingle;
            else if (c == '>')
                EmitTag();
            else {
                AppendBounded(&attrValue_, c, kMaxAttributeBytes);
                state_ = AttrValueUnquoted;
            }
            return;
        case AttrValueDouble:
        case AttrValueSingle:
            if (c == (state_ == AttrValueDouble ? '"' : '\'')) {
                EndAttribute();
                state_ = BeforeAttrName;
            } else {
                AppendBounded(&attrValue_, c, kMaxAttributeBytes);
            }
            return;
        case AttrValueUnquoted:
            if (IsSpace(c)) {
                EndAttribute();
                state_ = BeforeAttrName;
            } else if (c == '>')
                EmitTag();
            else
                AppendBounded(&attrValue_, c, kMaxAttributeBytes);
            return;
        case SelfClosing:
            if (c == '>') {
                selfClosing_ = true;
                EmitTag();
            } else {
                state_ = BeforeAttrName;
                Step(c);
            }
            return;
        case MarkupDecl:
            markup_ += c;
            if (markup_ == "-") return;
            if (markup_ == "--") {
                commentDashes_ = 0;
                state_ = Comment;
                return;
            }
            state_ = c == '>' ? Data : Bogus;
            return;
        case Comment:
            if (c == '-') {
                ++commentDashes_;
            } else if (c == '>' && commentDashes_ >= 2) {
                state_ = Data;
            } else {
                commentDashes_ = 0;
            }
            return;
        case Bogus:
            if (c == '>') state_ = Data;
            return;
        case RawText:
            if (c == '<') {
                rawEnd_.assign(1, '<');
                state_ = RawLess;
            } else {
                text_ += c;
            }
            return;
        case RawLess: {
            // Matching "</" + the element's name, letter case ignored.
            const size_t at = rawEnd_.size();
            const char want = at == 1 ? '/' : rawTag_[at - 2];
            if (Lower(c) == want) {
                rawEnd_ += c;
                if (rawEnd_.size() == rawTag_.size() + 2) state_ = RawEndName;
            } else {
                text_ += rawEnd_;
                rawEnd_.clear();
                state_ = RawText;
                Step(c);
            }
            return;
        }
        case RawEndName:
            if (c == '>') {
                EndRaw();
            } else if (IsSpace(c) || c == '/') {
                state_ = RawEndRest;
            } else {
                text_ += rawEnd_;
                rawEnd_.clear();
                state_ = RawText;
                Step(c);
            }
            return;
        case RawEndRest:
            if (c == '>') EndRaw();
            return;
    }
}

std::string HtmlDocument::BodyText() const {
    std::vector<std::string> lines;
    std::string line;
    bool pendingSpace = false;
    auto endLine = [&](bool keepEmpty) {
        if (!line.empty() || keepEmpty) lines.push_back(line);
        line.clear();
        pendingSpace = false;
    };
    for (char c : bodyText_) {
        if (c == kBlockMark) {
            if (!line.empty()) endLine(false);
        } else if (c == kBreakMark) {
            endLine(true);
        } else if (c == ' ') {
            pendingSpace = !line.empty();
        } else {
            if (pendingSpace) line += ' ';
            pendingSpace = false;
            line += c;
        }
    }
    endLine(false);
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    size_t first = 0;
    while (first < lines.size() && lines[first].empty()) ++first;
    std::string text;
    for (size_t i = first; i < lines.size(); ++i) {
        if (i > first) text += '\n';
        text += lines[i];
    }
    return text;
}

}  // namespace kv
