#include "addin/features/webview/PageUrl.h"

#include <vector>

namespace kv {

namespace {

bool HasControlBytes(const std::string& text) {
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\n' || s[b] == '\r' || s[b] == '\f')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\n' || s[e - 1] == '\r' || s[e - 1] == '\f'))
        --e;
    return s.substr(b, e - b);
}

// The scheme of ref ("http", "javascript", ...), or empty when ref has none.
std::string SchemeOf(const std::string& ref) {
    for (size_t i = 0; i < ref.size(); ++i) {
        char c = ref[i];
        if (c == ':') return i > 0 ? Lower(ref.substr(0, i)) : std::string();
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) return std::string();
    }
    return std::string();
}

// Removes "." and ".." segments of an absolute path.
std::string RemoveDots(const std::string& path) {
    std::vector<std::string> segments;
    size_t pos = 1;
    for (;;) {
        size_t end = path.find('/', pos);
        std::string seg = path.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        const bool last = end == std::string::npos;
        if (seg == "." || seg == "..") {
            if (seg == ".." && !segments.empty()) segments.pop_back();
            if (last) segments.emplace_back();
        } else {
            segments.push_back(seg);
        }
        if (last) break;
        pos = end + 1;
    }
    std::string result;
    for (const auto& s : segments) result += "/" + s;
    return result.empty() ? std::string("/") : result;
}

}  // namespace

bool PageUrl::Parse(const std::string& text, PageUrl* url) {
    if (HasControlBytes(text)) return false;
    std::string rest = text;
    size_t hash = rest.find('#');
    if (hash != std::string::npos) rest.erase(hash);
    if (Lower(rest.substr(0, 7)) != "http://") return false;
    rest.erase(0, 7);
    size_t end = rest.find_first_of("/?");
    std::string authority = rest.substr(0, end);
    std::string target = end == std::string::npos ? std::string("/") : rest.substr(end);
    if (target[0] == '?') target.insert(0, "/");
    if (authority.find('@') != std::string::npos) return false;
    PageUrl u;
    size_t colon = authority.find(':');
    u.host = Lower(authority.substr(0, colon));
    if (colon != std::string::npos) {
        std::string digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return false;
        long port = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) return false;
        u.port = static_cast<int>(port);
    }
    if (u.host.empty()) return false;
    for (char c : u.host)
        if (c == ' ' || c == '/' || c == '\\') return false;
    for (char& c : target)
        if (c == ' ') c = '+';
    u.target = target;
    *url = u;
    return true;
}

std::string PageUrl::Authority() const {
    return port == 80 ? host : host + ":" + std::to_string(port);
}

std::string PageUrl::Text() const {
    return "http://" + Authority() + target;
}

std::string ResolveUrl(const std::string& base, const std::string& refText) {
    PageUrl b;
    if (!PageUrl::Parse(base, &b)) return std::string();
    std::string ref = Trimmed(refText);
    size_t hash = ref.find('#');
    if (hash != std::string::npos) ref.erase(hash);
    PageUrl out;
    std::string scheme = SchemeOf(ref);
    if (!scheme.empty()) {
        if (scheme != "http") return std::string();
        // "http:path" without "//" is relative to the base in old browsers; treat it as such.
        if (ref.compare(5, 2, "//") != 0)
            ref.erase(0, 5);
        else
            return PageUrl::Parse(ref, &out) ? out.Text() : std::string();
    }
    if (ref.compare(0, 2, "//") == 0) return PageUrl::Parse("http:" + ref, &out) ? out.Text() : std::string();

    std::string basePath = b.target.substr(0, b.target.find('?'));
    std::string baseQuery =
        b.target.find('?') == std::string::npos ? std::string() : b.target.substr(b.target.find('?'));
    std::string path, query;
    size_t q = ref.find('?');
    std::string refPath = ref.substr(0, q);
    std::string refQuery = q == std::string::npos ? std::string() : ref.substr(q);
    if (refPath.empty()) {
        path = basePath;
        query = q == std::string::npos ? baseQuery : refQuery;
    } else if (refPath[0] == '/') {
        path = refPath;
        query = refQuery;
    } else {
        path = basePath.substr(0, basePath.rfind('/') + 1) + refPath;
        query = refQuery;
    }
    b.target = RemoveDots(path) + query;
    return PageUrl::Parse(b.Text(), &out) ? out.Text() : std::string();
}

}  // namespace kv
