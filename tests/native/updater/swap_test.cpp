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
class FakeFolder : public SwapSystem {
public:
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, long long> heldUntil;
    long long now = 0;
    std::vector<int> sleeps;
    std::vector<std::wstring> log;

    bool Exists(const std::wstring& path) override { return files.count(path) != 0; }
    bool Delete(const std::wstring& path) override {
        log.push_back(L"delete " + Name(path));
        if (!files.count(path) || Held(path)) return false;
        files.erase(path);
        return true;
    }
    bool Rename(const std::wstring& from, const std::wstring& to) override {
        log.push_back(L"rename " + Name(from) + L" " + Name(to));
        if (!files.count(from) || files.count(to) || Held(from)) return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    void Sleep(int ms) override {
        sleeps.push_back(ms);
        now += ms;
    }

private:
    bool Held(const std::wstring& path) const {
        auto it = heldUntil.find(path);
        return it != heldUntil.end() && now < it->second;
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

// Start and end state of the folder (n: new, l: library, p: previous library; the letter is
// the file's content), how long each file is held, and the expected run.
TEST(UpdaterSwap, Cases) {
    struct Case {
        const char* name;
        std::map<std::wstring, std::string> start;
        std::map<std::wstring, long long> held;
        std::map<std::wstring, std::string> end;
        Result result;
        int attempts;
        bool restored;
    } const cases[] = {
        {"only the library", {{kPaths.library, "old"}}, {}, {{kPaths.library, "old"}}, Result::NoNewLibrary, 0, false},
        {"only a previous library", {{kPaths.previousLibrary, "older"}}, {},
         {{kPaths.previousLibrary, "older"}}, Result::NoNewLibrary, 0, false},
        {"new beside the library", {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}}, {},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}}, Result::Swapped, 1, false},
        {"an old previous library is replaced",
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}, {kPaths.previousLibrary, "older"}}, {},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}}, Result::Swapped, 1, false},
        {"new library alone", {{kPaths.newLibrary, "new"}}, {}, {{kPaths.library, "new"}}, Result::Swapped, 1, false},
        {"library held for 30 s", {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         {{kPaths.library, 30000}}, {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}}, Result::Swapped, 6,
         false},
        {"library held 1 ms past the fifth wait", {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         {{kPaths.library, 30001}}, {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}}, Result::Swapped, 7,
         false},
        // A swap that stopped half-way: the previous library is the only loadable copy and stays
        // until the new library has the name.
        {"half-way: library already moved aside", {{kPaths.previousLibrary, "old"}, {kPaths.newLibrary, "new"}}, {},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}}, Result::Swapped, 1, false},
        {"library held for good", {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}}, {{kPaths.library, kForever}},
         {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}}, Result::GaveUp, 202, false},
        // The library moves aside on the first attempt, the new library never takes its name:
        // at the end the previous library gets the library name back.
        {"new library held for good", {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}},
         {{kPaths.newLibrary, kForever}}, {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}}, Result::GaveUp, 202,
         true},
        {"new library held for 60 s after a half-way stop",
         {{kPaths.previousLibrary, "old"}, {kPaths.newLibrary, "new"}}, {{kPaths.newLibrary, 60000}},
         {{kPaths.library, "new"}, {kPaths.previousLibrary, "old"}}, Result::Swapped, 11, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFolder folder;
        folder.files = c.start;
        folder.heldUntil = c.held;
        const SwapOutcome outcome = RunSwap(folder, kPaths);
        EXPECT_EQ(folder.files, c.end);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.attempts, c.attempts);
        EXPECT_EQ(outcome.restoredPrevious, c.restored);
        // One wait of 6000 ms after every attempt but the last, and never a real sleep.
        const int waits = c.attempts > 0 ? c.attempts - 1 : 0;
        EXPECT_EQ(outcome.waits, waits);
        EXPECT_EQ(folder.sleeps, std::vector<int>(static_cast<size_t>(waits), kSwapWaitMs));
        EXPECT_EQ(folder.now, 6000LL * waits);
    }
}

TEST(UpdaterSwap, StepOrder) {
    FakeFolder folder;
    folder.files = {{kPaths.library, "old"}, {kPaths.newLibrary, "new"}, {kPaths.previousLibrary, "older"}};
    folder.heldUntil = {{kPaths.library, 6000}};
    RunSwap(folder, kPaths);
    const std::vector<std::wstring> expected = {
        L"delete KestrovaSE.dll_old",
        L"rename KestrovaSE.dll KestrovaSE.dll_old",
        L"rename KestrovaSE_new.dll KestrovaSE.dll",
        // Second attempt, after one wait: the library is free now.
        L"delete KestrovaSE.dll_old",
        L"rename KestrovaSE.dll KestrovaSE.dll_old",
        L"rename KestrovaSE_new.dll KestrovaSE.dll",
    };
    EXPECT_EQ(folder.log, expected);
}

}  // namespace
}  // namespace kv
