// Page addresses of the built-in form browser: absolute http:// addresses, and references in a
// page (links, form actions, image sources, Location headers) resolved against the page.
#pragma once
#include <string>

namespace kv {

struct PageUrl {
    std::string host;  // lower case, without the port
    int port = 80;
    std::string target;  // path and query, always starting with "/"

    // "http://host[:port]/path?query" (the fragment dropped); false for any other scheme, an
    // empty host, a bad port or control bytes anywhere.
    static bool Parse(const std::string& text, PageUrl* url);
    std::string Text() const;
    // "host" or "host:port" as a browser writes it in the Host line.
    std::string Authority() const;
};

// ref resolved against the absolute address base, as a browser resolves a link; empty when
// the result is not an http:// address.
std::string ResolveUrl(const std::string& base, const std::string& ref);

}  // namespace kv
