// Incremental HTTP reply parser: a state machine over bytes with no I/O. Blocks of any size
// go in as they arrive; phase Idle after a feed means the reply is complete.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

enum ReplyPhase : int32_t { Idle = 0, Headers = 1, Body = 2 };
enum ChunkPhase : uint32_t { SizeLine = 0, Resume = 1 };
enum FirstLineKind : uint32_t { FirstLineNone = 0, RequestGet = 1, RequestPost = 2, Response = 3, FirstLineOther = 4 };

class HttpParser {
public:
    HttpParser() = default;
    virtual ~HttpParser() = default;

    void reset();
    void feed(const char* bytes, size_t count);

    ReplyPhase phase() const { return phase_; }
    ChunkPhase chunkPhase() const { return chunkPhase_; }
    uint32_t status() const { return status_; }
    int32_t contentLength() const { return contentLength_; }
    int32_t chunkRemaining() const { return chunkRemaining_; }
    FirstLineKind firstLineKind() const { return firstLineKind_; }
    const std::string& host() const { return host_; }
    const std::string& location() const { return location_; }
    const std::string& body() const { return body_; }
    const std::vector<std::string>& cookies() const { return cookies_; }
    bool chunked() const { return chunked_; }
    // Set when a chunk size did not fit 31 bits: the reply can never be read correctly.
    // Also set when a head line, the whole head or a chunk-size line passes its bound below.
    // A malformed parser takes no more bytes until reset().
    bool malformed() const { return malformed_; }

    // Bounds against hostile peers; real replies stay far below them.
    static constexpr size_t kMaxLineLength = 64 * 1024;
    static constexpr size_t kMaxHeadLength = 1024 * 1024;
    // Content-Length is only a hint for the up-front reservation; more grows on demand.
    static constexpr size_t kMaxReserve = 64 * 1024 * 1024;

private:
    void readHead(const char* p, size_t n);
    // Returns true when the line was the empty line that ends the head.
    bool takeHeadLine(std::string_view line);
    void readFirstLine(std::string_view line);
    void readHeaderLine(std::string_view line);
    void readBody(const char* p, size_t n);
    void readChunked(const char* p, size_t n);
    // Takes chunk data at p; returns how many bytes were used, or n when the block is done.
    size_t takeChunkData(const char* p, size_t n);
    void complete();
    void fail();

    ReplyPhase phase_ = Idle;
    ChunkPhase chunkPhase_ = SizeLine;
    uint32_t status_ = 0;
    int32_t contentLength_ = 0;
    int32_t chunkRemaining_ = 0;
    FirstLineKind firstLineKind_ = FirstLineNone;
    std::string host_;
    std::string location_;
    std::string body_;
    std::string lineBuffer_;
    std::vector<std::string> cookies_;
    bool chunked_ = false;
    bool malformed_ = false;
    size_t headLength_ = 0;  // bytes of complete head lines, CR LF included
};

}  // namespace kv
