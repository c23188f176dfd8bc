// The command line as UTF-8 and a standard output that passes bytes through untouched.
#pragma once
#include <string>
#include <vector>

namespace kv {

// False when an argument has no UTF-8 form (an unpaired surrogate in the wide command line).
bool Utf8Arguments(int argc, char** argv, std::vector<std::string>* args);
void SetBinaryStdout();

}  // namespace kv
