// The self-update's Windows parts under Wine, with real files, where the host path cannot reach
// them: every kind of refused download (CNG signature check, PE check) on both kinds of system
// leaves the library intact and loadable; Wine's per-program version setting makes an older
// system; two processes claim the update in the shared block at once. The start-up check,
// the replacement and the last host's end through a host are host_update_test.py's.
//   update_test KestrovaSE.dll KVUpdater.exe FIXTURES [gtest options]
//   update_test --claim EVENT   (child: claims the update, exit code 1 when it won)
//   update_test --newer-system  (child: exit code 1 on a newer system)
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "addin/base/com/ComRegistration.h"
#include "addin/base/shared/SharedState.h"
#include "addin/features/update/LibraryUpdate.h"
#include "addin/features/update/PeImage.h"
#include "addin/features/update/Signature.h"
#include "addin/features/update/UpdateWin32.h"
#include "platform/WinHandles.h"

namespace kv {
namespace {

// This test program's own file (the null module is the program).
std::wstring ProgramPath() {
    return ModulePath(nullptr);
}

std::wstring g_library, g_updater, g_fixtures;

std::wstring FromArgument(const std::string& path) {
    // A Linux path from the build reaches the program through Wine's Z: drive.
    const std::string full = (!path.empty() && path[0] == '/') ? "Z:" + path : path;
    return std::wstring(full.begin(), full.end());
}

std::string ReadAll(const std::wstring& path) {
    std::string bytes;
    Win32UpdateFileSystem().Read(path, 256u << 20, &bytes);
    return bytes;
}

// A signed file as its trailer signs it (no Authenticode table, no trailer), and its trailer.
std::string Image(const std::string& signedFile) {
    SignedParts parts;
    SplitSignedFile(signedFile, &parts);
    return parts.message;
}
std::string Trailer(const std::string& signedFile) {
    SignedParts parts;
    SplitSignedFile(signedFile, &parts);
    return std::string(parts.signature.begin(), parts.signature.end()) + kSignatureMagic;
}

class Scratch {
public:
    Scratch() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        static int serial = 0;
        path_ = std::wstring(temp) + L"kvupdate." + std::to_wstring(::GetCurrentProcessId()) + L"." +
                std::to_wstring(++serial);
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~Scratch() { Remove(path_); }
    std::wstring At(const std::wstring& name) const { return path_ + L"\\" + name; }
    const std::wstring& path() const { return path_; }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        Win32UpdateFileSystem().List(path_, &names);
        return names;
    }

private:
    static void Remove(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
        if (search) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    Remove(folder + L"\\" + name);
                } else {
                    ::DeleteFileW((folder + L"\\" + name).c_str());
                }
            } while (::FindNextFileW(search.get(), &found));
        }
        ::RemoveDirectoryW(folder.c_str());
    }
    std::wstring path_;
};

// Loadable: a copy under a fresh name loads (a loaded name would give the loaded image back)
// and offers DllGetClassObject.
bool Loadable(const std::wstring& path) {
    static int serial = 0;
    const std::wstring probe = path + L".probe" + std::to_wstring(++serial) + L".dll";
    if (!::CopyFileW(path.c_str(), probe.c_str(), TRUE)) return false;
    bool ok;
    {
        UniqueModule module(::LoadLibraryW(probe.c_str()));
        ok = module && ::GetProcAddress(module.get(), "DllGetClassObject") != nullptr;
    }
    ::DeleteFileW(probe.c_str());
    return ok;
}

// The system of the test: the real process start, the version the test chooses.
class ChosenSystem final : public UpdateSystem {
public:
    explicit ChosenSystem(bool newer) : newer_(newer) {}
    bool NewerSystem() override { return newer_; }
    void StartUpdater(const std::wstring& path) override { Win32UpdateSystem().StartUpdater(path); }

private:
    bool newer_;
};

// set_DownloadDll with the reply already in hand: the library's own save-and-check.
class ReplySource final : public LibrarySource {
public:
    ReplySource(SignatureCheck& check, std::string reply, bool complete = true)
        : check_(check), reply_(std::move(reply)), complete_(complete) {}
    void LogUpdate(const char*) override {}
    int DownloadLibrary(const std::wstring& path) override {
        Win32UpdateFileSystem files;
        return SaveLibraryReply(files, check_, complete_, reply_, path);
    }

private:
    SignatureCheck& check_;
    std::string reply_;
    bool complete_;
};

struct Fixtures {
    std::string library = ReadAll(g_library);
    std::string otherKey = ReadAll(g_fixtures + L"\\KestrovaSE_otherkey.dll");
    std::string signedProgram = ReadAll(g_fixtures + L"\\signed_program.exe");
    std::unique_ptr<SignatureCheck> check = MakeP256Check(kUpdatePublicKey);
};
Fixtures& F() {
    static Fixtures f;
    return f;
}

struct BadCase {
    const char* name;
    std::function<std::string()> bytes;
};
std::vector<BadCase> BadDownloads() {
    const Fixtures& f = F();
    return {
        {"unsigned", [&] { return Image(f.library); }},
        {"signed by another key", [&] { return f.otherKey; }},
        {"one byte changed",
         [&] {
             std::string b = f.library;
             b[b.size() / 2] ^= 0x20;
             return b;
         }},
        {"truncated", [&] { return f.library.substr(0, f.library.size() - 4096); }},
        {"truncated image, trailer kept", [&] { return f.library.substr(0, 200000) + Trailer(f.library); }},
        {"a valid signature over a different file", [&] { return Image(f.library) + Trailer(f.signedProgram); }},
        {"signed, but not a DLL", [&] { return f.signedProgram; }},
        {"an HTML page", [] { return std::string("<html><body>404</body></html>"); }},
    };
}

// The built library carries both signatures: CNG accepts its trailer under the Authenticode
// table, and refuses it with one byte of the image changed.
TEST(Signature, ShippedLibraryPassesTheUpdateCheck) {
    const Fixtures& f = F();
    AuthenticodeParts pe;
    ASSERT_TRUE(FindAuthenticodeParts(reinterpret_cast<const uint8_t*>(f.library.data()), f.library.size(), &pe));
    EXPECT_GT(pe.tableSize, 0u) << "the build signs the library with Authenticode";
    EXPECT_TRUE(HasValidSignature(f.library, *f.check));
    std::string changed = f.library;
    changed[0x400] ^= 1;
    EXPECT_FALSE(HasValidSignature(changed, *f.check));
}

TEST(Replacement, RefusedDownloadsLeaveTheLibraryIntactAndLoadable) {
    const Fixtures& f = F();
    std::vector<BadCase> cases = BadDownloads();
    cases.push_back({"service unreachable", [] { return std::string(); }});
    for (bool newer : {true, false}) {
        for (const BadCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (newer ? " (newer system)" : " (older system)"));
            Scratch scratch;
            Win32UpdateFileSystem files;
            ASSERT_TRUE(files.Write(scratch.At(L"KestrovaSE.dll"), f.library));
            UniqueModule running(::LoadLibraryW(scratch.At(L"KestrovaSE.dll").c_str()));
            ASSERT_TRUE(running);
            ChosenSystem system(newer);
            const std::string reply = c.bytes();
            // CNG accepts the one that is validly signed; the PE check refuses it.
            EXPECT_EQ(HasValidSignature(reply, *f.check), std::string(c.name) == "signed, but not a DLL");
            ReplySource source(*f.check, reply, !reply.empty());
            MemorySharedState state;
            EXPECT_EQ(ReplaceLibrary(state, files, system, *f.check, source, scratch.At(L"KestrovaSE.dll"), ""),
                      ReplacementResult::Refused);
            EXPECT_EQ(state.UpdateState(), newer ? kUpdateReplaced : kUpdateNotStarted);
            EXPECT_TRUE(ReadAll(scratch.At(L"KestrovaSE.dll")) == f.library);
            EXPECT_TRUE(Loadable(scratch.At(L"KestrovaSE.dll")));
            EXPECT_EQ(scratch.Names(), std::vector<std::wstring>{L"KestrovaSE.dll"}) << "nothing else is left";
        }
    }
}

// Runs a copy of this program under name with "--newer-system"; its exit code, or 99.
DWORD RunVersionProbe(const Scratch& scratch, const std::wstring& name) {
    const std::wstring copy = scratch.At(name);
    if (!::CopyFileW(ProgramPath().c_str(), copy.c_str(), FALSE)) return 99;
    std::wstring command = L"\"" + copy + L"\" --newer-system";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        return 99;
    }
    UniqueKernelHandle process(started.hProcess), thread(started.hThread);
    DWORD code = 99;
    if (::WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.get(), &code);
    return code;
}

TEST(SystemVersion, OlderSystemSettingMakesTheOlderPath) {
    // Wine's per-program version setting stands in for a system of major version 5.
    Scratch scratch;
    UniqueKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\kvupdate_xp.exe", 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const wchar_t xp[] = L"winxp64";
    ASSERT_EQ(::RegSetValueExW(key.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(xp), sizeof xp),
              ERROR_SUCCESS);
    EXPECT_EQ(RunVersionProbe(scratch, L"kvupdate_xp.exe"), 0u) << "winxp64: an older system";
    EXPECT_EQ(RunVersionProbe(scratch, L"kvupdate_now.exe"), 1u) << "the default: a newer system";
}

TEST(SharedStateClaim, TwoProcessesStartingTogetherClaimOnce) {
    SharedState& shared = SystemSharedState();
    shared.AddHostProcess();  // keeps the block alive between the children
    for (int round = 0; round < 3; ++round) {
        shared.SetUpdateState(0);
        const std::wstring eventName = L"Local\\kvupdate.claim." + std::to_wstring(::GetCurrentProcessId());
        UniqueKernelHandle go(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
        ASSERT_TRUE(go);
        std::vector<UniqueKernelHandle> children;
        for (int i = 0; i < 2; ++i) {
            std::wstring command = L"\"" + ProgramPath() + L"\" --claim " + eventName;
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION started{};
            ASSERT_TRUE(::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                         &started));
            UniqueKernelHandle thread(started.hThread);
            children.emplace_back(started.hProcess);
        }
        ::Sleep(500);
        ::SetEvent(go.get());
        int wins = 0;
        for (auto& child : children) {
            ASSERT_EQ(::WaitForSingleObject(child.get(), 30000), WAIT_OBJECT_0);
            DWORD code = 99;
            ::GetExitCodeProcess(child.get(), &code);
            ASSERT_LE(code, 1u);
            wins += static_cast<int>(code);
        }
        EXPECT_EQ(wins, 1) << "round " << round;
        EXPECT_EQ(shared.UpdateState(), kUpdateLeftBeside);
    }
    shared.SetUpdateState(0);
    shared.RemoveHostProcess();
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--newer-system") return kv::Win32UpdateSystem().NewerSystem() ? 1 : 0;
    if (argc == 3 && std::string(argv[1]) == "--claim") {
        const std::string name = argv[2];
        kv::UniqueKernelHandle go(::OpenEventW(SYNCHRONIZE, FALSE, std::wstring(name.begin(), name.end()).c_str()));
        kv::SharedState& shared = kv::SystemSharedState();
        if (!go || ::WaitForSingleObject(go.get(), 20000) != WAIT_OBJECT_0) return 2;
        return shared.CompareExchangeUpdateState(0, kv::kUpdateLeftBeside) ? 1 : 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        fprintf(stderr, "usage: update_test KestrovaSE.dll KVUpdater.exe FIXTURES\n");
        return 2;
    }
    kv::g_library = kv::FromArgument(argv[1]);
    kv::g_updater = kv::FromArgument(argv[2]);
    kv::g_fixtures = kv::FromArgument(argv[3]);
    return RUN_ALL_TESTS();
}
