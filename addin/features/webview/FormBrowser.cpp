#include "addin/features/webview/FormBrowser.h"

#include "addin/features/webview/PageUrl.h"

namespace kv {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string AttributeOr(const HtmlElement& e, const char* name, const char* fallback = "") {
    const std::string* v = e.Attribute(name);
    return v ? *v : std::string(fallback);
}

std::string InputType(const HtmlElement& e) {
    return Lower(AttributeOr(e, "type", "text"));
}

bool IsSubmitter(const HtmlElement& e) {
    if (e.tag == "input") {
        std::string type = InputType(e);
        return type == "submit" || type == "image";
    }
    return e.tag == "button" && Lower(AttributeOr(e, "type", "submit")) == "submit";
}

void AddPair(std::string* data, const std::string& name, const std::string& value) {
    if (!data->empty()) *data += '&';
    *data += FormUrlEncode(name) + "=" + FormUrlEncode(value);
}

// The value a <select> sends: its first selected option, else its first option.
bool SelectValue(const HtmlDocument& page, int select, std::string* value) {
    int first = -1, chosen = -1;
    const auto& all = page.elements();
    for (size_t i = static_cast<size_t>(select) + 1; i < all.size(); ++i) {
        // Options are the elements inside the select, which follow it in document order.
        int p = all[i].parent;
        while (p >= 0 && p != select) p = all[p].parent;
        if (p != select) break;
        if (all[i].tag != "option") continue;
        if (first < 0) first = static_cast<int>(i);
        if (chosen < 0 && all[i].Attribute("selected")) chosen = static_cast<int>(i);
    }
    int option = chosen >= 0 ? chosen : first;
    if (option < 0) return false;
    const std::string* v = all[option].Attribute("value");
    *value = v ? *v : all[option].text;
    return true;
}

}  // namespace

std::string FormUrlEncode(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char ch : bytes) {
        unsigned char b = static_cast<unsigned char>(ch);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '*' || b == '-' ||
            b == '.' || b == '_') {
            out += ch;
        } else if (b == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

PageRequest FormSubmission(const HtmlDocument& page, const std::string& pageUrl, int form, int submitter) {
    PageRequest request;
    const HtmlElement* f = page.Element(form);
    if (!f) return request;
    std::string base = page.baseHref().empty() ? pageUrl : ResolveUrl(pageUrl, page.baseHref());
    if (base.empty()) base = pageUrl;
    // A form without an action submits to the page itself.
    const std::string* action = f->Attribute("action");
    std::string target = ResolveUrl(base, action ? *action : std::string());
    if (target.empty()) return request;
    const bool post = Lower(AttributeOr(*f, "method", "get")) == "post";

    std::string data;
    const auto& all = page.elements();
    for (size_t i = 0; i < all.size(); ++i) {
        const HtmlElement& e = all[i];
        if (e.form != form) continue;
        const std::string* name = e.Attribute("name");
        if (!name || name->empty() || e.Attribute("disabled")) continue;
        if (e.tag == "input") {
            std::string type = InputType(e);
            if (type == "submit" || type == "image" || type == "button" || type == "reset") {
                if (static_cast<int>(i) != submitter) continue;
                if (type == "image") {
                    AddPair(&data, *name + ".x", "0");
                    AddPair(&data, *name + ".y", "0");
                    continue;
                }
                AddPair(&data, *name, e.value);
                continue;
            }
            if (type == "file") continue;
            if ((type == "checkbox" || type == "radio")) {
                if (!e.Attribute("checked")) continue;
                AddPair(&data, *name, e.Attribute("value") ? e.value : std::string("on"));
                continue;
            }
            AddPair(&data, *name, e.value);
        } else if (e.tag == "textarea") {
            AddPair(&data, *name, e.value);
        } else if (e.tag == "select") {
            std::string value;
            if (SelectValue(page, static_cast<int>(i), &value)) AddPair(&data, *name, value);
        } else if (e.tag == "button" && static_cast<int>(i) == submitter) {
            AddPair(&data, *name, e.value);
        }
    }

    if (post) {
        request.method = "POST";
        request.url = target;
        request.body = data;
    } else {
        // GET replaces the action's query with the form data.
        request.url = target.substr(0, target.find('?')) + "?" + data;
    }
    return request;
}

bool FormBrowser::Navigate(const std::string& url) {
    PageUrl parsed;
    if (!PageUrl::Parse(url, &parsed)) return false;
    next_ = PageRequest();
    next_.url = parsed.Text();
    const bool wasPending = pending_;
    pending_ = true;
    if (!wasPending) scheduler_.ScheduleLoad();
    return true;
}

bool FormBrowser::SetInputValue(const std::string& id, const std::string& value) {
    HtmlElement* e = hasDocument_ ? document_.Element(document_.FindById(id)) : nullptr;
    if (!e || (e->tag != "input" && e->tag != "textarea")) return false;
    e->value = value;
    return true;
}

bool FormBrowser::Click(const std::string& id) {
    const int index = FindElement(id);
    const HtmlElement* e = document_.Element(index);
    if (!e || e->Attribute("disabled")) return false;
    PageRequest request;
    if (IsSubmitter(*e)) {
        if (e->form < 0) return false;
        request = FormSubmission(document_, url_, e->form, index);
    } else if (e->tag == "a" && e->Attribute("href")) {
        request.url = ResolveUrl(url_, *e->Attribute("href"));
    } else {
        return false;
    }
    if (request.url.empty()) return false;
    next_ = request;
    const bool wasPending = pending_;
    pending_ = true;
    if (!wasPending) scheduler_.ScheduleLoad();
    return true;
}

bool FormBrowser::FetchFollowing(PageRequest request, PageReply* reply, std::string* finalUrl) {
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        if (!fetcher_.Fetch(request, reply)) return false;
        const int s = reply->status;
        if ((s != 301 && s != 302 && s != 303 && s != 307 && s != 308) || reply->location.empty()) {
            *finalUrl = request.url;
            return true;
        }
        std::string next = ResolveUrl(request.url, reply->location);
        if (next.empty()) return false;
        request.url = next;
        // 303, and 301/302 after a POST, continue as GET, as browsers do; 307 and 308 repeat.
        if (s == 303 || ((s == 301 || s == 302) && request.method == "POST")) {
            request.method = "GET";
            request.body.clear();
        }
    }
    return false;
}

bool FormBrowser::RunPending() {
    if (!pending_) return false;
    pending_ = false;
    PageRequest request = next_;

    document_.Reset();
    image_.clear();
    hasDocument_ = false;
    status_ = 0;
    PageReply reply;
    std::string finalUrl;
    if (!FetchFollowing(request, &reply, &finalUrl)) {
        failed_ = true;
        url_ = request.url;
        document_.Finish();
        return true;
    }
    url_ = finalUrl;
    status_ = reply.status;
    failed_ = reply.status < 200 || reply.status > 299;
    document_.Feed(reply.body);
    document_.Finish();
    hasDocument_ = true;

    if (loadImage_) {
        const HtmlElement* img = document_.Element(document_.FirstImage());
        const std::string* src = img ? img->Attribute("src") : nullptr;
        std::string base = document_.baseHref().empty() ? url_ : ResolveUrl(url_, document_.baseHref());
        std::string imageUrl = src && !base.empty() ? ResolveUrl(base, *src) : std::string();
        PageRequest get;
        get.url = imageUrl;
        PageReply picture;
        std::string ignored;
        if (!imageUrl.empty() && FetchFollowing(get, &picture, &ignored) && picture.status >= 200 &&
            picture.status <= 299 && picture.body.size() <= kMaxImageBytes)
            image_ = std::move(picture.body);
    }
    return true;
}

}  // namespace kv
