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

    // Replaces the line of the same host and name; "Max-Age" of 0 or less removes it. The file
    // is written to a temporary name and renamed over the old one, never left half-written.
    bool SetCookie(const std::string& url, const std::string& setCookie) override {
        const char* path = std::getenv("KV_COOKIE_FILE");
        if (!path || !*path) return false;
        const std::string host = HostOf(url);
        std::string pair = setCookie.substr(0, setCookie.find(';'));
        while (!pair.empty() && pair.back() == ' ') pair.pop_back();
        size_t eq = pair.find('=');
        if (host.empty() || eq == std::string::npos || eq == 0 || pair.size() > 4096) return false;
        for (char ch : pair + host) {
            unsigned char b = static_cast<unsigned char>(ch);
            if (b < 0x20 || b == 0x7F || ch == '\t') return false;
        }
        const std::string name = pair.substr(0, eq + 1);
        bool remove = false;
        std::string attributes = Lower(setCookie);
        size_t age = attributes.find("max-age=");
        if (age != std::string::npos) {
            size_t at = age + 8;
            remove = at < attributes.size() && (attributes[at] == '0' || attributes[at] == '-');
        }

        std::string text;
        if (!ReadWholeFile(path, &text)) text.clear();
        std::string out;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            start = end + 1;
            std::string bare = line;
            if (!bare.empty() && bare.back() == '\r') bare.pop_back();
            size_t tab = bare.find('\t');
            if (tab != std::string::npos && Lower(bare.substr(0, tab)) == host &&
                bare.compare(tab + 1, name.size(), name) == 0)
                continue;
            out += line + "\n";
        }
        if (!remove) out += host + "\t" + pair + "\n";

        const std::string temp = std::string(path) + ".tmp";
        FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f) return false;
        bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
        ok = std::fclose(f) == 0 && ok;
        if (!ok || std::rename(temp.c_str(), path) != 0) {
            std::remove(temp.c_str());
            return false;
        }
        return true;
    }
};

}  // namespace

CookieSource& SystemCookieSource() {
    static FileCookies source;
    return source;
}

}  // namespace kv
