#include "tools/kvservice/Text.h"

#include <cstdio>

#include "platform/CodePage.h"

namespace kvservice {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

// The whole text goes through the shared converter; only a text that holds a bad character is
// taken apart and converted one character at a time.
std::string Utf8ToCp949(const std::string& utf8) {
    std::string out;
    if (kv::Utf8ToCp949(utf8, &out)) return out;
    out.clear();
    size_t i = 0;
    while (i < utf8.size()) {
        size_t n = 1;  // a lead byte and its continuation bytes: one bad character, one '?'
        while (i + n < utf8.size() && (static_cast<unsigned char>(utf8[i + n]) & 0xC0) == 0x80) ++n;
        std::string one;
        out += kv::Utf8ToCp949(utf8.substr(i, n), &one) ? one : std::string("?");
        i += n;
    }
    return out;
}

std::string Cp949ToUtf8(const std::string& cp949) {
    std::string out;
    if (kv::Cp949ToUtf8(cp949, &out)) return out;
    out.clear();
    size_t i = 0;
    while (i < cp949.size()) {
        unsigned char c = static_cast<unsigned char>(cp949[i]);
        size_t n = c >= 0x81 && c <= 0xFE && i + 1 < cp949.size() ? 2 : 1;
        std::string one;
        if (kv::Cp949ToUtf8(cp949.substr(i, n), &one)) {
            out += one;
            i += n;
        } else {
            ++i;  // the bad byte is dropped; the next one may start a good character
        }
    }
    return out;
}

QueryPairs SplitQuery(const std::string& query) {
    QueryPairs pairs;
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        std::string part = query.substr(start, end - start);
        if (!part.empty()) {
            size_t eq = part.find('=');
            if (eq == std::string::npos)
                pairs.emplace_back(part, std::string());
            else
                pairs.emplace_back(part.substr(0, eq), part.substr(eq + 1));
        }
        start = end + 1;
    }
    return pairs;
}

std::string QueryValue(const QueryPairs& pairs, const std::string& key, const std::string& fallback) {
    for (const auto& p : pairs)
        if (p.first == key) return p.second;
    return fallback;
}

bool HasQueryKey(const QueryPairs& pairs, const std::string& key) {
    for (const auto& p : pairs)
        if (p.first == key) return true;
    return false;
}

std::string FormDecode(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 && HexDigit(value[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string PlusToSpace(const std::string& value) {
    std::string out = value;
    for (char& c : out)
        if (c == '+') c = ' ';
    return out;
}

std::string XmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string JsonString(const std::string& bytes) {
    std::string out = "\"";
    for (char ch : bytes) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"') {
            out += "\\\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

std::string HexBytes(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        unsigned char c = static_cast<unsigned char>(ch);
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool UnhexBytes(const std::string& hex, std::string& out) {
    out.clear();
    if (hex.size() % 2 != 0) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string current;
    for (char c : text) {
        if (IsBlank(c) || c == ',') {
            if (!current.empty()) words.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) words.push_back(current);
    return words;
}

std::string WithoutBlanks(const std::string& text) {
    std::string out;
    for (char c : text)
        if (!IsBlank(c)) out += c;
    return out;
}

bool IsPlainName(const std::string& name) {
    if (name.empty() || name.size() > 100 || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
                  c == '-';
        if (!ok) return false;
    }
    return true;
}

}  // namespace kvservice
