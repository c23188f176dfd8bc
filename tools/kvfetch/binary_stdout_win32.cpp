#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "BinaryStdout.h"

namespace kv {

// A downloaded file must reach stdout byte for byte: no LF to CR LF, no stop at 0x1A.
void SetBinaryStdout() {
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace kv
