// Fuzzer for HttpParser: the first bytes choose where the reply is cut into blocks; the rest is
// the reply. Whole, split and byte-by-byte feeding must agree, and no field may run away.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/native/parser/ParserRuns.h"

using namespace kv;
using namespace kv::parsertest;

namespace {

[[noreturn]] void Fail(const char* what, const std::string& input, const Snapshot& a, const Snapshot& b) {
    std::fprintf(stderr, "%s\ninput \"%s\"\nwhole: %s\nother: %s\n", what, Printable(input).c_str(),
                 Describe(a).c_str(), Describe(b).c_str());
    std::abort();
}

void CheckBounds(const std::string& input, const Snapshot& s) {
    if (s.body.size() > input.size()) Fail("body longer than the input", input, s, s);
    if (s.chunkRemaining < -1) Fail("chunk remaining below -1", input, s, s);
    if (s.status > 999) Fail("status beyond three digits", input, s, s);
    if (s.phase == Idle && !s.malformed && !s.chunked && s.contentLength > 0 &&
        s.body.size() < static_cast<size_t>(s.contentLength)) {
        Fail("complete before the announced length", input, s, s);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t cutCount = data[0] % 8;
    size_t header = 1 + 2 * cutCount;
    if (size < header) return 0;
    const std::string input(reinterpret_cast<const char*>(data + header), size - header);

    std::vector<size_t> cuts;
    for (size_t i = 0; i < cutCount; ++i) {
        const size_t raw = static_cast<size_t>(data[1 + 2 * i]) | (static_cast<size_t>(data[2 + 2 * i]) << 8);
        cuts.push_back(input.empty() ? 0 : raw % input.size());
    }
    std::sort(cuts.begin(), cuts.end());

    const Snapshot whole = FeedWhole(input);
    CheckBounds(input, whole);
    const Snapshot split = FeedSplit(input, cuts);
    CheckBounds(input, split);
    if (!Agree(whole, split)) Fail("split feeding disagrees", input, whole, split);
    const Snapshot bytes = FeedByteByByte(input);
    CheckBounds(input, bytes);
    if (!Agree(whole, bytes)) Fail("byte-by-byte feeding disagrees", input, whole, bytes);
    return 0;
}
