#include "addin/features/service/HttpParser.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/Decimal.h"

namespace kv {

namespace {

constexpr size_t kNotFound = static_cast<size_t>(-1);
constexpr uint64_t kMaxChunkSize = 0x7FFFFFFF;

// ASCII only: the narrow text is code page 949, whose lead bytes must never be case-folded.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
char ToLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char ToUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (ToLower(text[i]) != ToLower(prefix[i])) return false;
    }
    return true;
}

// Position of the first CR LF pair in p[from, n), or kNotFound.
size_t FindCrLf(const char* p, size_t from, size_t n) {
    size_t j = from;
    while (j + 1 < n) {
        const void* cr = std::memchr(p + j, '\r', n - 1 - j);
        if (cr == nullptr) return kNotFound;
        const size_t at = static_cast<size_t>(static_cast<const char*>(cr) - p);
        if (p[at + 1] == '\n') return at;
        j = at + 1;
    }
    return kNotFound;
}

// One chunk-size line: bytes that are not hex digits are skipped (the CR LF after the previous
// chunk's data among them), then the digits, then everything up to and including the next LF.
struct SizeLineScan {
    bool complete = false;  // the LF was found
    bool overflow = false;  // the digits do not fit 31 bits
    int32_t size = 0;
    size_t firstDigit = 0;  // where the line starts for keeping it aside
    size_t next = 0;        // position after the LF
};

SizeLineScan ScanSizeLine(const char* p, size_t n) {
    SizeLineScan s;
    size_t i = 0;
    while (i < n && HexValue(p[i]) < 0) ++i;
    s.firstDigit = i;
    uint64_t value = 0;
    for (; i < n; ++i) {
        const int digit = HexValue(p[i]);
        if (digit < 0) break;
        if (!s.overflow) {
            value = value * 16 + static_cast<uint64_t>(digit);
            s.overflow = value > kMaxChunkSize;
        }
    }
    const void* lf = i < n ? std::memchr(p + i, '\n', n - i) : nullptr;
    if (lf == nullptr) return s;
    s.complete = true;
    s.size = s.overflow ? 0 : static_cast<int32_t>(value);
    s.next = static_cast<size_t>(static_cast<const char*>(lf) - p) + 1;
    return s;
}

}  // namespace

void HttpParser::reset() {
    phase_ = Idle;
    chunkPhase_ = SizeLine;
    status_ = 0;
    contentLength_ = 0;
    chunkRemaining_ = 0;
    firstLineKind_ = FirstLineNone;
    host_.clear();
    location_.clear();
    body_.clear();
    lineBuffer_.clear();
    cookies_.clear();
    chunked_ = false;
    malformed_ = false;
    headLength_ = 0;
}

void HttpParser::feed(const char* bytes, size_t count) {
    // An empty block carries nothing; it must not throw away a finished reply either.
    if (bytes == nullptr || count == 0 || malformed_) return;
    if (phase_ == Idle) {
        reset();
        phase_ = Headers;
    }
    if (phase_ == Headers) {
        readHead(bytes, count);
    } else {
        readBody(bytes, count);
    }
}

void HttpParser::readHead(const char* p, size_t n) {
    size_t i = 0;
    // A CR that ended the previous block pairs with an LF that starts this one.
    if (!lineBuffer_.empty() && lineBuffer_.back() == '\r' && p[0] == '\n') {
        std::string line;
        line.swap(lineBuffer_);
        line.pop_back();
        i = 1;
        if (takeHeadLine(line)) {
            readBody(p + i, n - i);
            return;
        }
        if (malformed_) return;
    }
    for (;;) {
        const size_t cr = FindCrLf(p, i, n);
        if (cr == kNotFound) break;
        std::string joined;
        std::string_view line(p + i, cr - i);
        if (!lineBuffer_.empty()) {
            joined.swap(lineBuffer_);
            joined.append(p + i, cr - i);
            line = joined;
        }
        i = cr + 2;
        if (takeHeadLine(line)) {
            readBody(p + i, n - i);
            return;
        }
        if (malformed_) return;
    }
    lineBuffer_.append(p + i, n - i);
    phase_ = Headers;
    // A trailing CR may still turn out to be the line's end, so it does not count as text.
    const size_t text = lineBuffer_.size() - (!lineBuffer_.empty() && lineBuffer_.back() == '\r' ? 1 : 0);
    if (text > kMaxLineLength || headLength_ + lineBuffer_.size() > kMaxHeadLength) {
        fail();
    }
}

bool HttpParser::takeHeadLine(std::string_view line) {
    headLength_ += line.size() + 2;
    if (line.size() > kMaxLineLength || headLength_ > kMaxHeadLength) {
        fail();
        return false;
    }
    if (firstLineKind_ == FirstLineNone) {
        readFirstLine(line);
        return false;
    }
    if (!line.empty()) {
        readHeaderLine(line);
        return false;
    }
    phase_ = Body;
    if (contentLength_ > 0) {
        try {
            body_.reserve(std::min(static_cast<size_t>(contentLength_), kMaxReserve));
        } catch (const std::bad_alloc&) {
            // Only a hint: the body still grows as bytes come.
        }
    }
    return true;
}

void HttpParser::readFirstLine(std::string_view line) {
    size_t end = 0;
    while (end < line.size() && !IsSpace(line[end])) ++end;
    std::string token(line.substr(0, end));
    for (char& c : token) c = ToUpper(c);

    if (token.find("GET") != std::string::npos) {
        firstLineKind_ = RequestGet;
    } else if (token.find("POST") != std::string::npos) {
        firstLineKind_ = RequestPost;
    } else if (token.find("HTTP") != std::string::npos) {
        firstLineKind_ = Response;
    } else {
        firstLineKind_ = FirstLineOther;
    }
    if (firstLineKind_ != Response) return;

    size_t j = end;
    while (j < line.size() && IsSpace(line[j])) ++j;
    if (j + 3 < line.size() && IsDigit(line[j]) && IsDigit(line[j + 1]) && IsDigit(line[j + 2]) &&
        IsSpace(line[j + 3])) {
        status_ = static_cast<uint32_t>((line[j] - '0') * 100 + (line[j + 1] - '0') * 10 + (line[j + 2] - '0'));
    }
}

void HttpParser::readHeaderLine(std::string_view line) {
    enum class Field { ContentLength, Host, Location, SetCookie, TransferEncoding };
    std::string_view name;
    Field field;
    // The first character picks the one header the line can be.
    switch (ToLower(line[0])) {
        case 'c':
            name = "content-length";
            field = Field::ContentLength;
            break;
        case 'h':
            name = "host";
            field = Field::Host;
            break;
        case 'l':
            name = "location";
            field = Field::Location;
            break;
        case 's':
            name = "set-cookie";
            field = Field::SetCookie;
            break;
        case 't':
            name = "transfer-encoding";
            field = Field::TransferEncoding;
            break;
        default: return;
    }
    // Only the name's length is compared, so "Hostname" counts as Host.
    if (line.size() <= name.size() || !StartsWithNoCase(line, name)) return;

    size_t start = name.size();
    while (start < line.size() && (line[start] == ':' || line[start] == ' ')) ++start;
    size_t end = start;
    while (end < line.size() && line[end] != '\r' && line[end] != '\n') ++end;
    const std::string_view value = line.substr(start, end - start);

    switch (field) {
        case Field::ContentLength: contentLength_ = ReadDecimal(value); break;
        case Field::Host: host_.assign(value); break;
        case Field::Location: location_.assign(value); break;
        case Field::SetCookie: cookies_.emplace_back(value); break;
        case Field::TransferEncoding: chunked_ = StartsWithNoCase(value, "chunked"); break;
    }
}

void HttpParser::readBody(const char* p, size_t n) {
    if (chunked_) {
        readChunked(p, n);
        return;
    }
    body_.append(p, n);
    // A negative length turns into a huge unsigned one: such a reply never completes here.
    const uint64_t wanted = static_cast<uint64_t>(static_cast<int64_t>(contentLength_));
    if (static_cast<uint64_t>(body_.size()) >= wanted) phase_ = Idle;
}

void HttpParser::readChunked(const char* p, size_t n) {
    size_t i = 0;
    while (i < n && phase_ == Body) {
        if (chunkPhase_ == Resume && chunkRemaining_ == -1 && !lineBuffer_.empty()) {
            // Finish the size line whose start came in an earlier block.
            const void* lf = std::memchr(p + i, '\n', n - i);
            if (lf == nullptr) {
                lineBuffer_.append(p + i, n - i);
                if (lineBuffer_.size() > kMaxLineLength) fail();
                return;
            }
            const size_t upto = static_cast<size_t>(static_cast<const char*>(lf) - p) + 1;
            lineBuffer_.append(p + i, upto - i);
            i = upto;
            const SizeLineScan s = ScanSizeLine(lineBuffer_.data(), lineBuffer_.size());
            const bool tooLong = lineBuffer_.size() > kMaxLineLength;
            lineBuffer_.clear();
            if (tooLong || s.overflow) {
                fail();
                return;
            }
            if (s.size == 0) {
                complete();
                return;
            }
            chunkRemaining_ = s.size;
        } else if (chunkPhase_ == SizeLine || chunkRemaining_ == -1) {
            const SizeLineScan s = ScanSizeLine(p + i, n - i);
            if (!s.complete) {
                // Keep the line from its first digit; the non-digits before it mean nothing.
                lineBuffer_.append(p + i + s.firstDigit, n - i - s.firstDigit);
                chunkPhase_ = Resume;
                chunkRemaining_ = -1;
                if (lineBuffer_.size() > kMaxLineLength) fail();
                return;
            }
            if (s.overflow || s.next - s.firstDigit > kMaxLineLength) {
                fail();
                return;
            }
            i += s.next;
            if (s.size == 0) {
                complete();
                return;
            }
            chunkRemaining_ = s.size;
        }
        i += takeChunkData(p + i, n - i);
    }
}

size_t HttpParser::takeChunkData(const char* p, size_t n) {
    const size_t remaining = static_cast<size_t>(chunkRemaining_);
    if (remaining < n) {
        body_.append(p, remaining);
        chunkPhase_ = SizeLine;
        chunkRemaining_ = 0;
        return remaining;
    }
    body_.append(p, n);
    chunkRemaining_ -= static_cast<int32_t>(n);
    chunkPhase_ = Resume;
    return n;
}

void HttpParser::complete() {
    // Trailer lines after the zero-size chunk are never read.
    phase_ = Idle;
    chunkPhase_ = SizeLine;
    chunkRemaining_ = 0;
    lineBuffer_.clear();
}

void HttpParser::fail() {
    // Where exactly the bad line was cut into blocks must not show in the state.
    malformed_ = true;
    chunkPhase_ = SizeLine;
    chunkRemaining_ = 0;
    lineBuffer_.clear();
}

}  // namespace kv
