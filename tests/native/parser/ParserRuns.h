// Feeding one reply to HttpParser in different block splits and comparing what came out.
// Shared by the unit tests and the fuzzer.
#pragma once
#include <cstddef>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "addin/features/service/HttpParser.h"

namespace kv::parsertest {

// Every observable field of a parser after a run.
struct Snapshot {
    int32_t phase = 0;
    uint32_t chunkPhase = 0;
    uint32_t status = 0;
    int32_t contentLength = 0;
    int32_t chunkRemaining = 0;
    uint32_t firstLineKind = 0;
    std::string host;
    std::string location;
    std::string body;
    std::vector<std::string> cookies;
    bool chunked = false;
    bool malformed = false;
};

inline Snapshot Take(const HttpParser& p) {
    Snapshot s;
    s.phase = p.phase();
    s.chunkPhase = p.chunkPhase();
    s.status = p.status();
    s.contentLength = p.contentLength();
    s.chunkRemaining = p.chunkRemaining();
    s.firstLineKind = p.firstLineKind();
    s.host = p.host();
    s.location = p.location();
    s.body = p.body();
    s.cookies = p.cookies();
    s.chunked = p.chunked();
    s.malformed = p.malformed();
    return s;
}

// Feeds input cut at the given ascending positions, the way the exchange does: it stops
// after the block that completes the reply or makes it malformed.
inline Snapshot FeedSplit(const std::string& input, const std::vector<size_t>& cuts) {
    HttpParser p;
    size_t from = 0;
    auto give = [&](size_t to) {
        if (to <= from) return true;
        p.feed(input.data() + from, to - from);
        from = to;
        return p.phase() != Idle && !p.malformed();
    };
    for (size_t cut : cuts) {
        if (!give(cut)) return Take(p);
    }
    give(input.size());
    return Take(p);
}

inline Snapshot FeedWhole(const std::string& input) {
    return FeedSplit(input, {});
}

inline Snapshot FeedByteByByte(const std::string& input) {
    std::vector<size_t> cuts;
    for (size_t i = 1; i < input.size(); ++i) cuts.push_back(i);
    return FeedSplit(input, cuts);
}

inline std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c >= 0x7f) {
            char b[8];
            snprintf(b, sizeof b, "\\x%02x", c);
            out += b;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

inline std::string Describe(const Snapshot& s) {
    std::ostringstream o;
    o << "phase=" << s.phase << " chunkPhase=" << s.chunkPhase << " status=" << s.status
      << " contentLength=" << s.contentLength << " chunkRemaining=" << s.chunkRemaining << " kind=" << s.firstLineKind
      << " chunked=" << s.chunked << " malformed=" << s.malformed << " host=\"" << Printable(s.host) << "\" location=\""
      << Printable(s.location) << "\" cookies=[";
    for (const auto& c : s.cookies) o << "\"" << Printable(c) << "\" ";
    o << "] body(" << s.body.size() << ")=\"" << Printable(s.body.substr(0, 200)) << "\"";
    return o.str();
}

// Split runs must agree with the whole run on everything. The one allowed difference: a plain
// (not chunked) body of a finished reply may stop at the block that reached its length, so one
// body is then a prefix of the other.
inline bool Agree(const Snapshot& whole, const Snapshot& split) {
    if (whole.phase != split.phase || whole.chunkPhase != split.chunkPhase || whole.status != split.status ||
        whole.contentLength != split.contentLength || whole.chunkRemaining != split.chunkRemaining ||
        whole.firstLineKind != split.firstLineKind || whole.host != split.host || whole.location != split.location ||
        whole.cookies != split.cookies || whole.chunked != split.chunked || whole.malformed != split.malformed) {
        return false;
    }
    if (whole.body == split.body) return true;
    if (whole.chunked || whole.phase != Idle || whole.malformed) return false;
    const std::string& shorter = whole.body.size() < split.body.size() ? whole.body : split.body;
    const std::string& longer = whole.body.size() < split.body.size() ? split.body : whole.body;
    return longer.compare(0, shorter.size(), shorter) == 0;
}

}  // namespace kv::parsertest
