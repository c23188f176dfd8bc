#include "Console.h"

namespace kv {

// Arguments arrive as the terminal's bytes, taken to be UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void SetBinaryStdout() {}

}  // namespace kv
