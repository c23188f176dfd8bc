// KVUpdater.exe under Wine. Each case copies the program into a fresh scratch folder beside
// stand-in library files, starts it by path with an empty command line, and watches it from
// here: the files at the end, that a library file exists at every moment of the run, that the
// library's own name never goes while a file is held (the updater waits then), that none
// of its windows is ever visible, how long it took, and its exit code. A file "held" is opened
// by this process without delete sharing, as an exiting host process holds the library.
//   updater_test PATH\TO\KVUpdater.exe [gtest options]
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/WinHandles.h"
#include "resource.h"

namespace kv {
namespace {

std::wstring g_updater;
DWORD g_startMs = 5000;  // how long a 32-bit program takes to start here (KV_I386_START)

const wchar_t kNew[] = L"KestrovaSE_new.dll";
const wchar_t kLibrary[] = L"KestrovaSE.dll";
const wchar_t kPrevious[] = L"KestrovaSE.dll_old";

// A scratch folder under the prefix's temporary folder, removed with what is in it.
class ScratchFolder {
public:
    ScratchFolder() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        static int serial = 0;
        path_ = std::wstring(temp) + L"kvupdater." + std::to_wstring(::GetCurrentProcessId()) + L"." +
                std::to_wstring(++serial);
        created_ = ::CreateDirectoryW(path_.c_str(), nullptr) != FALSE;
    }
    ~ScratchFolder() {
        for (const wchar_t* name : {kNew, kLibrary, kPrevious, L"KVUpdater.exe"}) ::DeleteFileW(At(name).c_str());
        ::RemoveDirectoryW(path_.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    bool created() const { return created_; }
    std::wstring At(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
    bool created_ = false;
};

bool WriteAll(const std::wstring& path, const std::string& bytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Every file of the folder but the program, by name, with its contents: a file the updater
// should not have made shows up here too.
std::map<std::wstring, std::string> Contents(const ScratchFolder& folder) {
    std::map<std::wstring, std::string> found;
    WIN32_FIND_DATAW entry;
    UniqueFind search(::FindFirstFileW(folder.At(L"*").c_str(), &entry));
    for (bool more = static_cast<bool>(search); more; more = ::FindNextFileW(search.get(), &entry) != FALSE) {
        const std::wstring name = entry.cFileName;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"KVUpdater.exe") continue;
        UniqueFile file(::CreateFileW(folder.At(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        std::string text;
        char buffer[256];
        DWORD got = 0;
        while (file && ::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
            text.append(buffer, got);
        found[name] = text;
    }
    return found;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct WindowSeen {
    std::wstring className, title;
    bool visible = false;
};

struct WindowSearch {
    DWORD pid;
    std::vector<WindowSeen>* seen;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid) return TRUE;
    wchar_t className[128] = {}, title[128] = {};
    ::GetClassNameW(window, className, 127);
    ::GetWindowTextW(window, title, 127);
    search->seen->push_back({className, title, ::IsWindowVisible(window) != FALSE});
    return TRUE;
}

// What is sent to the updater's main window once it waits (1 s after the start).
enum class Probe {
    None,
    SettingChange,  // WM_SETTINGCHANGE, as a broadcast sends it: must be answered while it waits
    Close,          // WM_CLOSE: the window goes, the swap still finishes and the program ends
};

struct UpdaterRun {
    bool started = false;
    bool ended = false;
    DWORD exitCode = 0xFFFFFFFF;
    DWORD elapsedMs = 0;
    DWORD sinceWindowMs = 0;            // from the first sighting of the main window to the end
    bool libraryGap = false;            // a moment with neither the library nor the previous library
    bool libraryLostWhileHeld = false;  // the library's name seen, then gone, during the hold
    std::vector<WindowSeen> windows;
    bool probed = false;  // the main window was found and the message sent
    bool probeAnswered = false;
    DWORD probeMs = 0;  // how long the send took
};

// The updater's main window, found by class and title and owned by its process.
HWND MainWindowOf(DWORD pid) {
    HWND window = ::FindWindowW(L"KVUPDATER", L"KVUpdater");
    DWORD owner = 0;
    if (window) ::GetWindowThreadProcessId(window, &owner);
    return owner == pid ? window : nullptr;
}

void SendProbe(Probe probe, HWND window, UpdaterRun* run) {
    const UINT message = probe == Probe::SettingChange ? WM_SETTINGCHANGE : WM_CLOSE;
    const LPARAM param = probe == Probe::SettingChange ? reinterpret_cast<LPARAM>(L"Environment") : 0;
    DWORD_PTR result = 0;
    const DWORD before = ::GetTickCount();
    run->probeAnswered = ::SendMessageTimeoutW(window, message, 0, param, SMTO_BLOCK, 2000, &result) != 0;
    run->probeMs = ::GetTickCount() - before;
    run->probed = true;
}

// Starts the copied updater, holds `held` (if any) until holdMs after its main window appears
// (the swap starts right after that, however long the program took to start here), and watches
// until it ends or limitMs pass (then it is ended and the run counts as not ended).
UpdaterRun RunUpdater(const ScratchFolder& folder, const wchar_t* held, DWORD holdMs, Probe probe = Probe::None,
                      DWORD limitMs = 150000) {
    UpdaterRun run;
    UniqueFile hold;
    if (held) {
        hold.reset(::CreateFileW(folder.At(held).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!hold) return run;
    }
    const std::wstring program = folder.At(L"KVUpdater.exe");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    const DWORD start = ::GetTickCount();
    if (!::CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return run;
    }
    run.started = true;
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    WindowSearch search{info.dwProcessId, &run.windows};
    bool librarySeen = false;
    bool windowSeen = false;
    DWORD windowAt = 0;
    for (;;) {
        const DWORD wait = ::WaitForSingleObject(process.get(), 25);
        const DWORD now = ::GetTickCount() - start;
        if (wait == WAIT_OBJECT_0) break;
        if (now > limitMs) {
            ::TerminateProcess(process.get(), 99);
            ::WaitForSingleObject(process.get(), 5000);
            run.elapsedMs = now;
            return run;
        }
        if (!windowSeen && MainWindowOf(info.dwProcessId)) {
            windowSeen = true;
            windowAt = now;
        }
        if (hold && windowSeen && now - windowAt >= holdMs) hold.reset();
        if (probe != Probe::None && !run.probed && windowSeen && now - windowAt >= 1000) {
            if (HWND window = MainWindowOf(info.dwProcessId)) SendProbe(probe, window, &run);
        }
        ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
        // The two looks are not one moment: a rename of the previous library back to the
        // library's name between them would pass for a gap, so a gap is seen only when the
        // library's name is still missing after the previous name was found missing.
        const bool library = Exists(folder.At(kLibrary));
        if (!library && !Exists(folder.At(kPrevious)) && !Exists(folder.At(kLibrary))) run.libraryGap = true;
        if (hold) {
            if (library) {
                librarySeen = true;
            } else if (librarySeen) {
                run.libraryLostWhileHeld = true;
            }
        }
    }
    run.elapsedMs = ::GetTickCount() - start;
    if (windowSeen) run.sinceWindowMs = run.elapsedMs - windowAt;
    run.ended = true;
    ::GetExitCodeProcess(process.get(), &run.exitCode);
    return run;
}

bool AnyVisible(const UpdaterRun& run) {
    for (const WindowSeen& w : run.windows) {
        if (w.visible) return true;
    }
    return false;
}

bool SawMainWindow(const UpdaterRun& run) {
    for (const WindowSeen& w : run.windows) {
        if (w.className == L"KVUPDATER" && w.title == L"KVUpdater") return true;
    }
    return false;
}

TEST(Updater, Swaps) {
    using Files = std::map<std::wstring, std::string>;
    struct Case {
        const char* name;
        Files start;
        const wchar_t* held;
        DWORD holdMs;
        Files end;
        DWORD minMs, maxMs;  // how long the swap may take: from the main window on when a file is held
        Probe probe = Probe::None;
    } const cases[] = {
        {"only the library", {{kLibrary, "old"}}, nullptr, 0, {{kLibrary, "old"}}, 0, 5000},
        {"new beside the library",
         {{kLibrary, "old"}, {kNew, "new"}},
         nullptr,
         0,
         {{kLibrary, "new"}, {kPrevious, "old"}},
         0,
         5000},
        {"an old previous library is deleted first",
         {{kLibrary, "old"}, {kNew, "new"}, {kPrevious, "older"}},
         nullptr,
         0,
         {{kLibrary, "new"}, {kPrevious, "old"}},
         0,
         5000},
        // Attempts at 0, 6 and 12 s: the third finds the library free.
        {"library held for 8 s",
         {{kLibrary, "old"}, {kNew, "new"}},
         kLibrary,
         8000,
         {{kLibrary, "new"}, {kPrevious, "old"}},
         11500,
         20000},
        // While it waits, the hidden window answers what a broadcast sends, and the waits
        // keep their length.
        {"held for 8 s, a setting change sent",
         {{kLibrary, "old"}, {kNew, "new"}},
         kLibrary,
         8000,
         {{kLibrary, "new"}, {kPrevious, "old"}},
         11500,
         20000,
         Probe::SettingChange},
        {"held for 8 s, the window closed",
         {{kLibrary, "old"}, {kNew, "new"}},
         kLibrary,
         8000,
         {{kLibrary, "new"}, {kPrevious, "old"}},
         11500,
         20000,
         Probe::Close},
        // The fresh download held (a virus scanner reading it), the library free: the library
        // keeps its name through every wait, and the swap completes once the hold ends.
        {"new library held for 8 s, the library free",
         {{kLibrary, "old"}, {kNew, "new"}},
         kNew,
         8000,
         {{kLibrary, "new"}, {kPrevious, "old"}},
         11500,
         20000},
        // A swap that stopped half-way: the previous library is the only loadable copy and must
        // survive the retries while the new library cannot take the name.
        {"half-way, new library held for 8 s",
         {{kPrevious, "old"}, {kNew, "new"}},
         kNew,
         8000,
         {{kLibrary, "new"}, {kPrevious, "old"}},
         11500,
         20000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder folder;
        ASSERT_TRUE(folder.created());
        ASSERT_TRUE(::CopyFileW(g_updater.c_str(), folder.At(L"KVUpdater.exe").c_str(), TRUE)) << ::GetLastError();
        for (const auto& file : c.start) ASSERT_TRUE(WriteAll(folder.At(file.first), file.second));

        const UpdaterRun run = RunUpdater(folder, c.held, c.holdMs, c.probe);
        ASSERT_TRUE(run.started) << "CreateProcess " << ::GetLastError();
        ASSERT_TRUE(run.ended) << "still running after " << run.elapsedMs << " ms";
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(Contents(folder), c.end);
        if (c.held) {
            EXPECT_GE(run.sinceWindowMs, c.minMs);
            EXPECT_LE(run.sinceWindowMs, c.maxMs);
        } else {
            // The whole run, the program's start-up on this machine included.
            EXPECT_LE(run.elapsedMs, c.maxMs + 2 * g_startMs);
        }
        EXPECT_FALSE(run.libraryGap) << "a moment without a loadable library";
        EXPECT_FALSE(run.libraryLostWhileHeld) << "a wait without a library under the library's name";
        EXPECT_FALSE(AnyVisible(run)) << "a window of the updater was visible";
        // A run that waits is long enough to see its hidden main window.
        if (c.held) {
            EXPECT_TRUE(SawMainWindow(run)) << run.windows.size() << " windows seen";
        }
        if (c.probe != Probe::None) {
            ASSERT_TRUE(run.probed) << "no main window to send to";
            EXPECT_TRUE(run.probeAnswered) << "no answer within 2000 ms (" << run.probeMs << " ms)";
            EXPECT_LT(run.probeMs, 1000u);
        }
        std::printf("%-45s %6lu ms (%6lu ms from its window), exit %lu, %u window sightings, none visible: %s", c.name,
                    static_cast<unsigned long>(run.elapsedMs), static_cast<unsigned long>(run.sinceWindowMs),
                    static_cast<unsigned long>(run.exitCode), static_cast<unsigned>(run.windows.size()),
                    AnyVisible(run) ? "no" : "yes");
        if (run.probed)
            std::printf(", sent message answered: %s in %lu ms", run.probeAnswered ? "yes" : "no",
                        static_cast<unsigned long>(run.probeMs));
        std::printf("\n");
    }
}

// The program's resources, read from the file as data.
class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        module_.reset(::LoadLibraryExW(g_updater.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module_) << ::GetLastError();
    }
    HMODULE module() const { return module_.get(); }
    // The raw bytes of one resource.
    std::string Raw(const wchar_t* type, int id) const {
        HRSRC found = ::FindResourceW(module_.get(), MAKEINTRESOURCEW(id), type);
        HGLOBAL loaded = found ? ::LoadResource(module_.get(), found) : nullptr;
        const void* data = loaded ? ::LockResource(loaded) : nullptr;
        return data ? std::string(static_cast<const char*>(data), ::SizeofResource(module_.get(), found))
                    : std::string();
    }

private:
    UniqueModule module_;
};

TEST_F(Resources, StringsMenuAcceleratorsIconsManifest) {
    wchar_t text[101] = {};
    ASSERT_GT(::LoadStringW(module(), IDS_APP_TITLE, text, 100), 0);
    EXPECT_STREQ(text, L"KVUpdater");
    ASSERT_GT(::LoadStringW(module(), IDC_KVUPDATER, text, 100), 0);
    EXPECT_STREQ(text, L"KVUPDATER");

    UniqueMenu menu(::LoadMenuW(module(), MAKEINTRESOURCEW(IDC_KVUPDATER)));
    ASSERT_TRUE(menu);
    ASSERT_EQ(::GetMenuItemCount(menu.get()), 2);
    struct Item {
        int position;
        const wchar_t* popup;
        const wchar_t* item;
        UINT command;
    } const items[] = {{0, L"\xD30C\xC77C(&F)", L"\xB05D\xB0B4\xAE30(&X)", IDM_EXIT},       // 파일 / 끝내기
                       {1, L"\xB3C4\xC6C0\xB9D0(&H)", L"\xC815\xBCF4(&A)...", IDM_ABOUT}};  // 도움말 / 정보
    for (const Item& i : items) {
        ::GetMenuStringW(menu.get(), i.position, text, 100, MF_BYPOSITION);
        EXPECT_STREQ(text, i.popup);
        HMENU sub = ::GetSubMenu(menu.get(), i.position);
        ASSERT_TRUE(sub);
        ASSERT_EQ(::GetMenuItemCount(sub), 1);
        EXPECT_EQ(::GetMenuItemID(sub, 0), i.command);
        ::GetMenuStringW(sub, 0, text, 100, MF_BYPOSITION);
        EXPECT_STREQ(text, i.item);
    }

    HACCEL table = ::LoadAcceleratorsW(module(), MAKEINTRESOURCEW(IDC_KVUPDATER));
    ASSERT_TRUE(table);
    ACCEL keys[8] = {};
    const int n = ::CopyAcceleratorTableW(table, keys, 8);
    ASSERT_EQ(n, 2);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(keys[i].cmd, IDM_ABOUT);
        EXPECT_EQ(keys[i].fVirt & (FALT | FVIRTKEY), FALT) << "Alt with a character, not a virtual key";
        EXPECT_TRUE(keys[i].key == '?' || keys[i].key == '/') << keys[i].key;
    }
    EXPECT_NE(keys[0].key, keys[1].key);

    for (int id : {IDI_KVUPDATER, IDI_SMALL, IDI_ABOUT}) {
        UniqueIcon icon(
            static_cast<HICON>(::LoadImageW(module(), MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
        EXPECT_TRUE(icon) << "icon " << id;
    }

    const std::string manifest = Raw(RT_MANIFEST, 1);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
}

// The about box's template: the fixed DLGTEMPLATEEX header gives its size; caption, font and
// texts are found as UTF-16 in the template.
TEST_F(Resources, AboutBox) {
    const std::string raw = Raw(RT_DIALOG, IDD_ABOUTBOX);
    ASSERT_GE(raw.size(), 26u);
    WORD signature = 0;
    short size[2] = {};
    memcpy(&signature, raw.data() + 2, 2);
    memcpy(size, raw.data() + 22, 4);
    EXPECT_EQ(signature, 0xFFFF) << "an extended template";
    EXPECT_EQ(size[0], 170);
    EXPECT_EQ(size[1], 62);
    auto holds = [&](const std::wstring& text) {
        const std::string bytes(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
        return raw.find(bytes) != std::string::npos;
    };
    EXPECT_TRUE(holds(L"\xB180\xBCA0\xC778 \xC5C5\xB370\xC774\xD130")) << "caption";  // 놀베인 업데이터
    EXPECT_TRUE(holds(L"\xB180\xBCA0\xC778 \xC5C5\xB370\xC774\xD130 \xBC84\xC804 1.0")) << "version text";
    EXPECT_TRUE(holds(L"MS Shell Dlg")) << "font";
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: updater_test PATH\\TO\\KVUpdater.exe\n");
        return 2;
    }
    std::string path = argv[1];
    // A Linux path from the build reaches the program through Wine's Z: drive.
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    kv::g_updater.assign(path.begin(), path.end());
    if (const char* start = std::getenv("KV_I386_START")) {
        const double seconds = std::atof(start);
        if (seconds > 0) kv::g_startMs = static_cast<DWORD>(seconds * 1000);
    }
    return RUN_ALL_TESTS();
}
