#include "tools/kvservice/Text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace kvservice {

namespace {

// Converts with iconv; on a byte that cannot be converted, `onBad` decides what goes out
// (possibly nothing) and one input byte (or the whole bad UTF-8 sequence) is skipped.
std::string Convert(const char* to, const char* from, const std::string& in, const char* replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  std::string out;
  out.reserve(in.size() * 2 + 8);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char buffer[1024];
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, dst - buffer);
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (cut-off sequence): skip the offending byte, and for UTF-8 input its
    // continuation bytes too, so one bad character costs one replacement.
    out += replacement;
    ++src;
    --srcLeft;
    if (std::string(from) == "UTF-8") {
      while (srcLeft > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80) {
        ++src;
        --srcLeft;
      }
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string Utf8ToCp949(const std::string& utf8) { return Convert("CP949", "UTF-8", utf8, "?"); }

std::string Cp949ToUtf8(const std::string& cp949) { return Convert("UTF-8", "CP949", cp949, ""); }

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
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
              c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace kvservice
