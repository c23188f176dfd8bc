// The command line as UTF-8 and a standard output that passes bytes through untouched.
#pragma once
#include <string>
#include <vector>

namespace kv {

std::vector<std::string> Utf8Arguments(int argc, char** argv);
void SetBinaryStdout();

}  // namespace kv
