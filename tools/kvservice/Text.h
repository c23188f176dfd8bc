// Byte and text helpers of the substitute service: code page 949 <-> UTF-8, query splitting,
// escaping for XML, HTML and the JSON request log.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kvservice {

// UTF-8 -> code page 949. Characters that have no CP949 form become '?', so a reply is never cut short.
std::string Utf8ToCp949(const std::string& utf8);

// CP949 bytes -> UTF-8. Bytes that are not valid CP949 are dropped.
std::string Cp949ToUtf8(const std::string& cp949);

// One "key=value" pair of a query, in order, values as raw bytes (no decoding at all).
using QueryPairs = std::vector<std::pair<std::string, std::string>>;
QueryPairs SplitQuery(const std::string& query);

// First value of `key` in the pairs, or `fallback` when the key is missing.
std::string QueryValue(const QueryPairs& pairs, const std::string& key, const std::string& fallback = "");
bool HasQueryKey(const QueryPairs& pairs, const std::string& key);

// '+' -> space and %XX -> byte, as browsers encode form fields. Malformed escapes stay as they are.
std::string FormDecode(const std::string& value);

// '+' -> space only: the add-in never percent-encodes, so a '%' in a keyword is a literal '%'.
std::string PlusToSpace(const std::string& value);

std::string XmlEscape(const std::string& text);

// A JSON string literal; bytes >= 0x80 and control bytes become \u00XX so any byte sequence
// yields a valid line (latin-1 style: each \u00XX stands for one raw byte).
std::string JsonString(const std::string& bytes);

std::string HexBytes(const std::string& bytes);
// Inverse of HexBytes; false on odd length or a non-hex digit.
bool UnhexBytes(const std::string& hex, std::string& out);

// Lower-cases ASCII letters only (Hangul has no case).
std::string AsciiLower(std::string text);

// Splits at runs of ASCII blanks and commas; no empty parts.
std::vector<std::string> SplitWords(const std::string& text);

// Removes ASCII blanks.
std::string WithoutBlanks(const std::string& text);

// File and picture names end up in paths: plain ASCII names only, no dot first, at most 100 bytes.
bool IsPlainName(const std::string& name);

}  // namespace kvservice
