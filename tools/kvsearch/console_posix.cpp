#include "Console.h"

namespace kv {

// Arguments arrive as the terminal's bytes, taken to be UTF-8.
bool Utf8Arguments(int argc, char** argv, std::vector<std::string>* args) {
    args->assign(argv, argv + argc);
    return true;
}

void SetBinaryStdout() {}

}  // namespace kv
