// A parsed service address: scheme://host:port/path;params?query#fragment.
#pragma once
#include <cstdint>
#include <string>

namespace kv {

struct ServiceUrl {
    enum ComposeFlag : unsigned {
        Scheme = 1,
        Authority = 2,
        Path = 4,
        Params = 8,
        Query = 16,
        Fragment = 32,
        RequestTarget = Path | Params | Query,  // 28
    };

    std::string scheme;
    std::string host;
    std::string path;
    std::string params;
    std::string query;
    std::string fragment;
    int32_t port = 80;

    static ServiceUrl Parse(const std::string& text);
    // Joins the selected components; every space becomes "+" and control bytes are
    // percent-encoded, so the result can always stand in a request line.
    std::string compose(unsigned flags) const;
};

// A request target that stays one request line: every space becomes "+" and control bytes
// (0x00-0x1F, 0x7F) become %XX, so no value can end the line or start a header of its own.
// Every other byte, code page 949 text included, goes out raw as the service expects.
std::string RequestLineSafe(const std::string& target);

}  // namespace kv
