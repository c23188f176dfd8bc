#include "addin/features/service/ServiceUrl.h"

#include <climits>
#include <cstdint>

#include "platform/Decimal.h"

namespace kv {

namespace {

// Splits at the first occurrence of mark: what follows goes to *tail, text keeps the head.
void SplitOff(std::string& text, char mark, std::string* tail) {
    size_t at = text.find(mark);
    if (at == std::string::npos) return;
    *tail = text.substr(at + 1);
    text.erase(at);
}

}  // namespace

ServiceUrl ServiceUrl::Parse(const std::string& input) {
    ServiceUrl url;
    std::string text = input;
    SplitOff(text, '#', &url.fragment);
    SplitOff(text, '?', &url.query);
    SplitOff(text, ';', &url.params);

    size_t colon = text.find(':');
    if (colon != std::string::npos) {
        url.scheme = text.substr(0, colon);
        text.erase(0, colon + 1);
    }

    if (text.compare(0, 2, "//") == 0) {
        text.erase(0, 2);
        size_t slash = text.find('/');
        url.host = text.substr(0, slash);
        text.erase(0, slash == std::string::npos ? text.size() : slash);
        size_t portColon = url.host.find(':');
        if (portColon != std::string::npos) {
            url.port = ReadDecimal(url.host.substr(portColon + 1));
            url.host.erase(portColon);
        }
    }

    url.path = text;
    if (!url.host.empty() && url.path.empty()) url.path = "/";
    return url;
}

std::string ServiceUrl::compose(unsigned flags) const {
    std::string text;
    if ((flags & Scheme) && !scheme.empty()) text += scheme + ":";
    if ((flags & Authority) && !host.empty()) {
        text += "//" + host;
        if (port != 80) text += ":" + std::to_string(port);
    }
    if (flags & Path) text += path;
    if ((flags & Params) && !params.empty()) text += ";" + params;
    if ((flags & Query) && !query.empty()) text += "?" + query;
    if ((flags & Fragment) && !fragment.empty()) text += "#" + fragment;

    return RequestLineSafe(text);
}

std::string RequestLineSafe(const std::string& target) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(target.size());
    for (char c : target) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b == ' ') {
            out += '+';
        } else if (b < 0x20 || b == 0x7F) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace kv
