// The updater's swap over an in-memory folder with a fake clock: which files end where, in
// which order the steps run, how many attempts and waits it takes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "updater/core/Swap.h"

namespace kv {
namespace {

const SwapPaths kPaths = SwapPathsFor(L"C:\\Office\\Addin\\KVUpdater.exe");

// Files by path with their contents; a held file can be neither deleted nor renamed until the
// clock reaches its release time (as a file opened without delete sharing by another process).
// A refused file looks movable, but its rename fails until its time: another program opened it
// between the look and the rename.
class FakeFolder : public SwapSystem {
public:
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, long long> heldUntil;
    std::map<std::wstring, long long> refusedUntil;
    long long now = 0;
    std::vector<int> sleeps;
    std::vector<std::wstring> log;
    // Whether the library's name held a file at the start of each wait.
    std::vector<bool> libraryAtWaits;

    bool Exists(const std::wstring& path) override { return files.count(path) != 0; }
    bool Delete(const std::wstring& path) override {
        log.push_back(L"delete " + Name(path));
        if (!files.count(path) || Held(path)) return false;
        files.erase(path);
        return true;
    }
    bool Rename(const std::wstring& from, const std::wstring& to) override {
        log.push_back(L"rename " + Name(from) + L" " + Name(to));
        if (!files.count(from) || files.count(to) || Held(from) || Before(refusedUntil, from)) return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    bool Movable(const std::wstring& path) override { return files.count(path) && !Held(path); }
    void Sleep(int ms) override {
        log.push_back(L"wait");
        libraryAtWaits.push_back(files.count(kPaths.library) != 0);
        sleeps.push_back(ms);
        now += ms;
    }

private:
    bool Held(const std::wstring& path) const { return Before(heldUntil, path); }
    bool Before(const std::map<std::wstring, long long>& until, const std::wstring& path) const {
        auto it = until.find(path);
        return it != until.end() && now < it->second;
    }
    static std::wstring Name(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }
};

constexpr long long kForever = 1LL << 60;
using Result = SwapOutcome::Result;

TEST(UpdaterSwap, PathsFromTheProgramPath) {
    struct Case {
        std::wstring program, folder;
    } const cases[] = {
        {L"C:\\Office\\Addin\\KVUpdater.exe", L"C:\\Office\\Addin"},
        {L"C:\\a/b\\KVUpdater.exe", L"C:\\a/b"},
        {L"C:\\a\\b/KVUpdater.exe", L"C:\\a\\b"},
        {L"\\\\server\\share\\KVUpdater.exe", L"\\\\server\\share"},
        {L"KVUpdater.exe", L"KVUpdater.exe"},
        {L"C:\\", L"C:"},
    };
    for (const Case& c : cases) {
        const SwapPaths p = SwapPathsFor(c.program);
        EXPECT_EQ(p.newLibrary, c.folder + L"\\KestrovaSE_new.dll");
        EXPECT_EQ(p.library, c.folder + L"\\KestrovaSE.dll");
        EXPECT_EQ(p.previousLibrary, c.folder + L"\\KestrovaSE.dll_old");
    }
}

// Start and end state of the folder (the library's, the new and the previous library's content),
// how long each file is held or its rename refused, and the expected run. Whenever the swap
// waits, a library has the library's name.
TEST(UpdaterSwap, Cases) {
    struct Case {
        const char* name;
        std::map<std::wstring, std::string> start;
        std::map<std::wstring, long long> held;
        std::map<std::wstring, std::string> end;
        Result result;
        int attempts;
        int restores;
        std::map<std::wstring, long long> refused = {};
    } const cases[] = {
        {"only the library", {{kPaths.library, "old"}}, {}, {{kPaths.library, "old"}}, Result::NoNewLibrary, 0, 0},
        {"only a previous library",
         {{kPaths.previousLibrary, "older"}},
         {},
         {{kPaths.previousLibrary, "older"}},
         Result::NoNewLibrary,
         0,
         0},
        {"new beside the library",
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         {},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}},
         Result::Swapped,
         1,
         0},
        {"an old previous library is replaced",
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}, {kPaths.previousLibrary, "older"}},
         {},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}},
         Result::Swapped,
         1,
         0},
        {"new library alone", {{kPaths.newLibrary, "new"}}, {}, {{kPaths.library, "new"}}, Result::Swapped, 1, 0},
        {"library held for 30 s",
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         {{kPaths.library, 30000}},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}},
         Result::Swapped,
         6,
         0},
        {"library held 1 ms past the fifth wait",
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         {{kPaths.library, 30001}},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}},
         Result::Swapped,
         7,
         0},
        // A swap that stopped half-way: the previous library is the only loadable copy and stays
        // until the new library has the name.
        {"half-way: library already moved aside",
         {{kPaths.previousLibrary, "old"}, {kPaths.newLibrary, "new"}},
         {},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}},
         Result::Swapped,
         1,
         0},
        {"library held for good",
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         {{kPaths.library, kForever}},
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         Result::GaveUp,
         202,
         0},
        // A held new library is seen before anything moves: the library stays in place.
        {"new library held for good",
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         {{kPaths.newLibrary, kForever}},
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         Result::GaveUp,
         202,
         0},
        // Half-way and the new library held: the previous library gets its name back before the
        // first wait.
        {"new library held for 60 s after a half-way stop",
         {{kPaths.previousLibrary, "old"}, {kPaths.newLibrary, "new"}},
         {{kPaths.newLibrary, 60000}},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}},
         Result::Swapped,
         11,
         1},
        // The library moves aside, the new library's rename fails: the previous library takes
        // the name back before each wait and after the last attempt.
        {"new library's rename refused for 12 s",
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         {},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}},
         Result::Swapped,
         3,
         2,
         {{kPaths.newLibrary, 12000}}},
        {"new library's rename refused for good",
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         {},
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         Result::GaveUp,
         202,
         202,
         {{kPaths.newLibrary, kForever}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFolder folder;
        folder.files = c.start;
        folder.heldUntil = c.held;
        folder.refusedUntil = c.refused;
        const SwapOutcome outcome = RunSwap(folder, kPaths);
        EXPECT_EQ(folder.files, c.end);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.attempts, c.attempts);
        EXPECT_EQ(outcome.restores, c.restores);
        EXPECT_EQ(folder.libraryAtWaits, std::vector<bool>(folder.libraryAtWaits.size(), true))
            << "a wait without a library under the library's name";
        // One wait of 6000 ms after every attempt but the last, and never a real sleep.
        const int waits = c.attempts > 0 ? c.attempts - 1 : 0;
        EXPECT_EQ(outcome.waits, waits);
        EXPECT_EQ(folder.sleeps, std::vector<int>(static_cast<size_t>(waits), kSwapWaitMs));
        EXPECT_EQ(folder.now, 6000LL * waits);
    }
}

TEST(UpdaterSwap, StepOrder) {
    struct Case {
        const char* name;
        std::map<std::wstring, long long> held, refused;
        std::vector<std::wstring> steps;
    } const cases[] = {
        {"library held for one wait",
         {{kPaths.library, 6000}},
         {},
         {
             L"delete KestrovaSE.dll_old",
             L"rename KestrovaSE.dll KestrovaSE.dll_old",
             L"rename KestrovaSE_new.dll KestrovaSE.dll",
             L"wait",
             // The library is free now.
             L"delete KestrovaSE.dll_old",
             L"rename KestrovaSE.dll KestrovaSE.dll_old",
             L"rename KestrovaSE_new.dll KestrovaSE.dll",
         }},
        {"new library's rename refused for one wait",
         {},
         {{kPaths.newLibrary, 6000}},
         {
             L"delete KestrovaSE.dll_old",
             L"rename KestrovaSE.dll KestrovaSE.dll_old",
             L"rename KestrovaSE_new.dll KestrovaSE.dll",
             L"rename KestrovaSE.dll_old KestrovaSE.dll",  // back under its name before the wait
             L"wait",
             L"delete KestrovaSE.dll_old",
             L"rename KestrovaSE.dll KestrovaSE.dll_old",
             L"rename KestrovaSE_new.dll KestrovaSE.dll",
         }},
        {"new library held for one wait: nothing moves",
         {{kPaths.newLibrary, 6000}},
         {},
         {
             L"wait",
             L"delete KestrovaSE.dll_old",
             L"rename KestrovaSE.dll KestrovaSE.dll_old",
             L"rename KestrovaSE_new.dll KestrovaSE.dll",
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFolder folder;
        folder.files = {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}, {kPaths.previousLibrary, "older"}};
        folder.heldUntil = c.held;
        folder.refusedUntil = c.refused;
        RunSwap(folder, kPaths);
        EXPECT_EQ(folder.log, c.steps);
    }
}

}  // namespace
}  // namespace kv
