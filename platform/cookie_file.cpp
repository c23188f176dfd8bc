// Cookies for platforms without a browser cookie store: a plain text file named by the
// environment variable KV_COOKIE_FILE.
//
// Format, one cookie per line:
//     domain<TAB>name=value
// A line applies to a URL whose host equals the domain or ends with "." + domain (letter case
// ignored). Empty lines and lines starting with "#" are skipped, as are lines without a tab or
// with control bytes in them. The cookies that apply are joined with "; " in file order.
// No variable, no file, or no cookie that applies: no cookies (false), as the browser store
// reports an address it holds nothing for.
#include <cstdio>
#include <cstdlib>

#include "platform/CookieSource.h"

namespace kv {

namespace {

// A cookie file is a few lines; anything bigger is not ours to read.
constexpr long kMaxFileBytes = 1 << 20;

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// "http://Host:port/path" -> "host".
std::string HostOf(const std::string& url) {
    std::string rest = url;
    size_t scheme = rest.find("://");
    if (scheme != std::string::npos) rest.erase(0, scheme + 3);
    size_t end = rest.find_first_of("/?#;");
    if (end != std::string::npos) rest.erase(end);
    size_t colon = rest.find(':');
    if (colon != std::string::npos) rest.erase(colon);
    return Lower(rest);
}

bool DomainMatches(const std::string& host, const std::string& domain) {
    if (domain.empty() || host.empty()) return false;
    if (host == domain) return true;
    return host.size() > domain.size() + 1 && host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == '.';
}

bool ReadWholeFile(const char* path, std::string* text) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char chunk[4096];
    size_t n;
    bool ok = true;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        text->append(chunk, n);
        if (text->size() > static_cast<size_t>(kMaxFileBytes)) {
            ok = false;
            break;
        }
    }
    std::fclose(f);
    return ok;
}

class FileCookies : public CookieSource {
public:
    bool GetCookie(const std::string& url, std::string* cookies, size_t capacity) override {
        const char* path = std::getenv("KV_COOKIE_FILE");
        if (!path || !*path) return false;
        std::string text;
        if (!ReadWholeFile(path, &text)) return false;

        const std::string host = HostOf(url);
        std::string joined;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            start = end + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() || line[0] == '#') continue;
            size_t tab = line.find('\t');
            if (tab == std::string::npos) continue;
            bool clean = true;
            for (size_t i = 0; i < line.size(); ++i) {
                unsigned char b = static_cast<unsigned char>(line[i]);
                if (i != tab && (b < 0x20 || b == 0x7F)) clean = false;
            }
            if (!clean) continue;
            std::string cookie = line.substr(tab + 1);
            if (cookie.empty() || !DomainMatches(host, Lower(line.substr(0, tab)))) continue;
            if (!joined.empty()) joined += "; ";
            joined += cookie;
        }
        if (joined.empty() || joined.size() + 1 > capacity) return false;
        *cookies = joined;
        return true;
    }
};

}  // namespace

CookieSource& SystemCookieSource() {
    static FileCookies source;
    return source;
}

}  // namespace kv
