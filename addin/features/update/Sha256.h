// SHA-256 in plain C++ (FIPS 180-4), for the download record's content hashes: the record is
// read by the last host's clean-up, which may run in the library's unload notification under
// the loader lock, where no crypto provider should be opened.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t size);
    std::array<uint8_t, 32> Finish();

private:
    void Block(const uint8_t* block);
    uint32_t state_[8];
    uint8_t buffer_[64];
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};

// Lower-case hex of the hash of bytes.
std::string Sha256Hex(const std::string& bytes);

}  // namespace kv
