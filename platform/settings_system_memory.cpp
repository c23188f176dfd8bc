// Off Windows there is no registry: the process keeps its settings in memory.
#include "platform/SettingsStore.h"

namespace kv {

SettingsStore& SystemSettings() {
    static MemorySettings store;
    return store;
}

}  // namespace kv
