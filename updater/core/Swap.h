// The updater's file swap: put "KestrovaSE_new.dll" in the place of "KestrovaSE.dll" in the
// program's folder, keeping the replaced file as "KestrovaSE.dll_old", retrying while an
// exiting host process still holds the library. Pure: the files and the waits come through
// SwapSystem, so the steps and the timing are tested without touching a disk or a clock.
#pragma once
#include <string>

namespace kv {

// The three library paths of one program folder.
struct SwapPaths {
    std::wstring newLibrary;       // folder + "\KestrovaSE_new.dll"
    std::wstring library;          // folder + "\KestrovaSE.dll"
    std::wstring previousLibrary;  // folder + "\KestrovaSE.dll_old"
};

// The folder is the program's full path cut at its last '\' or '/', whichever comes later;
// a path with neither is used unchanged.
SwapPaths SwapPathsFor(const std::wstring& programPath);

// What the swap needs of the system. Failures are answers, never exceptions.
class SwapSystem {
public:
    virtual ~SwapSystem() = default;
    virtual bool Exists(const std::wstring& path) = 0;
    virtual bool Delete(const std::wstring& path) = 0;
    // Never replaces an existing target.
    virtual bool Rename(const std::wstring& from, const std::wstring& to) = 0;
    // Whether the file could be renamed now: it exists and no other program holds it open
    // without delete sharing. Only a look: the answer may be stale by the rename.
    virtual bool Movable(const std::wstring& path) = 0;
    virtual void Sleep(int milliseconds) = 0;
};

constexpr int kSwapWaitMs = 6000;
// The counter before it is incremented is compared with this: 202 attempts, 201 waits.
constexpr int kSwapLastRetryCount = 200;

struct SwapOutcome {
    enum class Result { NoNewLibrary, Swapped, GaveUp };
    Result result = Result::NoNewLibrary;
    int attempts = 0;
    int waits = 0;
    // How often the previous library got the library name back after a failed attempt.
    int restores = 0;
};

// Each attempt: when the new library can be moved at all, delete the previous library, but
// only while the library exists (once the library was moved aside, the previous library is
// the only loadable copy); move the library aside; give the new library the library name,
// which ends the swap. A failed attempt gives the previous library the library name back
// before it waits kSwapWaitMs and tries again, up to the limit: whenever the updater waits,
// or gives up, or is ended during a wait, a loadable library has the library's name.
SwapOutcome RunSwap(SwapSystem& system, const SwapPaths& paths);

}  // namespace kv
