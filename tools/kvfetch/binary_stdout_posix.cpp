#include "BinaryStdout.h"

namespace kv {

// POSIX streams never translate bytes.
void SetBinaryStdout() {}

}  // namespace kv
