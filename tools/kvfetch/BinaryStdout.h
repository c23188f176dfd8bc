// Standard output that passes bytes through untouched (no newline translation).
#pragma once

namespace kv {

void SetBinaryStdout();

}  // namespace kv
