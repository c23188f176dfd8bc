// The owner of a POSIX file descriptor (sockets included). POSIX builds only; Windows code
// uses the owners of WinHandles.h.
#pragma once
#include <unistd.h>

#include "platform/UniqueResource.h"

namespace kv {

namespace handle_close {
inline void Descriptor(int fd) {
    ::close(fd);
}
}  // namespace handle_close

using UniqueFd = UniqueResource<int, decltype(&handle_close::Descriptor), &handle_close::Descriptor, -1>;

}  // namespace kv
