#include "updater/core/Swap.h"

namespace kv {

SwapPaths SwapPathsFor(const std::wstring& programPath) {
    const size_t cut = programPath.find_last_of(L"\\/");
    const std::wstring folder = cut == std::wstring::npos ? programPath : programPath.substr(0, cut);
    return SwapPaths{folder + L"\\KestrovaSE_new.dll", folder + L"\\KestrovaSE.dll", folder + L"\\KestrovaSE.dll_old"};
}

namespace {

// One attempt; true when the new library has the library name. A new library that another
// program holds (a virus scanner reading the fresh download, typically) would fail the last
// step, so the library is not even moved aside then.
bool TrySwap(SwapSystem& system, const SwapPaths& paths) {
    if (!system.Movable(paths.newLibrary)) return false;
    if (system.Exists(paths.library)) {
        system.Delete(paths.previousLibrary);  // a failure shows in the rename below
        system.Rename(paths.library, paths.previousLibrary);
    }
    return system.Rename(paths.newLibrary, paths.library);
}

}  // namespace

SwapOutcome RunSwap(SwapSystem& system, const SwapPaths& paths) {
    SwapOutcome outcome;
    if (!system.Exists(paths.newLibrary)) return outcome;
    for (int counter = 0;; ++counter) {
        ++outcome.attempts;
        if (TrySwap(system, paths)) {
            outcome.result = SwapOutcome::Result::Swapped;
            return outcome;
        }
        // Hosts that start during the wait, and a log-off that ends this program in it, find
        // a library under its name.
        if (!system.Exists(paths.library) && system.Rename(paths.previousLibrary, paths.library)) {
            ++outcome.restores;
        }
        if (counter > kSwapLastRetryCount) break;
        ++outcome.waits;
        system.Sleep(kSwapWaitMs);
    }
    outcome.result = SwapOutcome::Result::GaveUp;
    return outcome;
}

}  // namespace kv
