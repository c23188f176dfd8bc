#include "updater/core/Swap.h"

namespace kv {

SwapPaths SwapPathsFor(const std::wstring& programPath) {
    const size_t cut = programPath.find_last_of(L"\\/");
    const std::wstring folder = cut == std::wstring::npos ? programPath : programPath.substr(0, cut);
    return SwapPaths{folder + L"\\KestrovaSE_new.dll", folder + L"\\KestrovaSE.dll", folder + L"\\KestrovaSE.dll_old"};
}

SwapOutcome RunSwap(SwapSystem& system, const SwapPaths& paths) {
    SwapOutcome outcome;
    if (!system.Exists(paths.newLibrary)) return outcome;
    for (int counter = 0;; ++counter) {
        ++outcome.attempts;
        if (system.Exists(paths.library)) {
            system.Delete(paths.previousLibrary);  // a failure shows in the rename below
            system.Rename(paths.library, paths.previousLibrary);
        }
        if (system.Rename(paths.newLibrary, paths.library)) {
            outcome.result = SwapOutcome::Result::Swapped;
            return outcome;
        }
        if (counter > kSwapLastRetryCount) break;
        ++outcome.waits;
        system.Sleep(kSwapWaitMs);
    }
    outcome.result = SwapOutcome::Result::GaveUp;
    if (!system.Exists(paths.library) && system.Rename(paths.previousLibrary, paths.library)) {
        outcome.restoredPrevious = true;
    }
    return outcome;
}

}  // namespace kv
