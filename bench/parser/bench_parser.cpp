// Reply parser throughput: a large Content-Length body and large chunked bodies, fed in 16 KiB
// blocks as the exchange would, beside a plain append of the same blocks into a reserved string.
// Prints the median of several runs in MB/s (10^6 bytes per second of input). Both sides reuse
// their storage between runs, so page faults of fresh memory do not blur the comparison.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "addin/features/service/HttpParser.h"

namespace {

constexpr size_t kBlock = 16 * 1024;
constexpr size_t kBodySize = 64 * 1024 * 1024;
constexpr int kRuns = 7;

std::string RandomBytes(size_t n) {
    std::string s(n, '\0');
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<char>(x);
    }
    return s;
}

std::string LengthReply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string ChunkedReply(const std::string& body, size_t chunk) {
    std::string r = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    r.reserve(body.size() + body.size() / chunk * 12 + 64);
    char size[32];
    for (size_t at = 0; at < body.size(); at += chunk) {
        const size_t n = std::min(chunk, body.size() - at);
        std::snprintf(size, sizeof size, "%zx\r\n", n);
        r += size;
        r.append(body, at, n);
        r += "\r\n";
    }
    r += "0\r\n\r\n";
    return r;
}

template <typename F>
double MedianSeconds(F&& run) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double ParserSeconds(const std::string& reply, const std::string& expected) {
    kv::HttpParser parser;
    const double t = MedianSeconds([&] {
        parser.reset();
        for (size_t at = 0; at < reply.size() && (at == 0 || parser.phase() != kv::Idle); at += kBlock) {
            parser.feed(reply.data() + at, std::min(kBlock, reply.size() - at));
        }
    });
    if (parser.phase() != kv::Idle || parser.malformed() || parser.body() != expected) {
        std::fprintf(stderr, "parser result is wrong: phase %d, body %zu bytes\n", parser.phase(),
                     parser.body().size());
        std::exit(1);
    }
    return t;
}

double CopySeconds(const std::string& reply) {
    std::string sink;
    const double t = MedianSeconds([&] {
        sink.clear();  // keeps its storage, as the parser's reset keeps the body's
        sink.reserve(reply.size());
        for (size_t at = 0; at < reply.size(); at += kBlock) {
            sink.append(reply.data() + at, std::min(kBlock, reply.size() - at));
        }
    });
    if (sink != reply) std::exit(1);
    return t;
}

void Report(const char* name, const std::string& reply, const std::string& body) {
    const double mb = static_cast<double>(reply.size()) / 1e6;
    const double parser = ParserSeconds(reply, body);
    const double copy = CopySeconds(reply);
    std::printf("%-28s %8.1f MB  parser %8.0f MB/s  copy %8.0f MB/s  parser/copy %.2f\n", name, mb, mb / parser,
                mb / copy, copy / parser);
}

}  // namespace

int main() {
    const std::string body = RandomBytes(kBodySize);
    std::printf("16 KiB blocks, median of %d runs\n", kRuns);
    Report("content-length 64 MiB", LengthReply(body), body);
    Report("chunked 64 MiB, 4000 B", ChunkedReply(body, 4000), body);
    Report("chunked 64 MiB, 64 KiB", ChunkedReply(body, 64 * 1024), body);
    Report("chunked 16 MiB, 100 B", ChunkedReply(body.substr(0, 16 * 1024 * 1024), 100),
           body.substr(0, 16 * 1024 * 1024));
    return 0;
}
