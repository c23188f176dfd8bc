// Outside Windows there is one host process per test: the block is the process's own.
#include "addin/base/shared/SharedState.h"

namespace kv {

SharedState& SystemSharedState() {
    static MemorySharedState state;
    return state;
}

}  // namespace kv
