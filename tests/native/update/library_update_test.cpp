// The replacement, the download check, the last host's leaving and the download record over
// files in memory: every path of the update with its end state (files, update state,
// temporaries).
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "UpdateDoubles.h"
#include "addin/base/shared/SharedState.h"
#include "addin/features/update/DownloadRecord.h"
#include "addin/features/update/LibraryUpdate.h"
#include "addin/features/update/Signature.h"
#include "tools/kvsign/Signer.h"

namespace kv {
namespace {

using test::MemoryFiles;
using test::Narrow;

const std::wstring kFolder = L"C:\\lib";
const std::wstring kModule = kFolder + L"\\KestrovaSE.dll";
const std::wstring kLibrary = kModule;
const std::wstring kNew = kFolder + L"\\KestrovaSE_new.dll";
const std::wstring kPrevious = kFolder + L"\\KestrovaSE.dll_old";
const std::wstring kFirstTemporary = kFolder + L"\\kvu1.tmp";
const std::string kOld = "the running library";

struct Keys {
    std::unique_ptr<SigningKey> key = SigningKey::Generate();
    std::unique_ptr<SigningKey> other = SigningKey::Generate();
    std::unique_ptr<SignatureCheck> check = MakeP256Check(key->PublicKey());
    std::string good = SignFile(*key, test::MinimalDll());
};
Keys& K() {
    static Keys keys;
    return keys;
}

std::string Show(const MemoryFiles& files) {
    std::string s;
    for (const auto& [path, bytes] : files.files) {
        s += Narrow(path) + "=" +
             (bytes == kOld       ? "old"
              : bytes == K().good ? "new"
                                  : std::to_string(bytes.size())) +
             " ";
    }
    return s;
}

TEST(ReplaceLibrary, EveryPathEndsInItsState) {
    struct Case {
        const char* name;
        bool newer;
        std::function<void(MemoryFiles&, test::ScriptedSource&, SharedState&)> setup;
        ReplacementResult result;
        int32_t state;
        const char* library;   // "old" or "new"
        const char* previous;  // "old", "older", "" (none)
        const char* waiting;   // "_new": "new", "stale", "" (none)
    };
    const std::string& good = K().good;
    const Case cases[] = {
        {"newer: replaced in place", true, [](auto&, auto&, auto&) {}, ReplacementResult::Replaced, 3, "new", "old",
         ""},
        {"newer: an earlier previous library goes", true,
         [](MemoryFiles& f, auto&, auto&) { f.files[kPrevious] = "older"; }, ReplacementResult::Replaced, 3, "new",
         "old", ""},
        {"newer: service unreachable", true, [](auto&, test::ScriptedSource& s, auto&) { s.downloadSucceeds = false; },
         ReplacementResult::Refused, 3, "old", "", ""},
        {"newer: truncated download", true,
         [&](auto&, test::ScriptedSource& s, auto&) { s.reply = good.substr(0, good.size() / 2); },
         ReplacementResult::Refused, 3, "old", "", ""},
        {"newer: signed body that is no DLL", true,
         [](auto&, test::ScriptedSource& s, auto&) { s.reply = SignFile(*K().key, "<html>404</html>"); },
         ReplacementResult::Refused, 3, "old", "", ""},
        {"newer: unsigned library", true, [](auto&, test::ScriptedSource& s, auto&) { s.reply = test::MinimalDll(); },
         ReplacementResult::Refused, 3, "old", "", ""},
        {"newer: signed by another key", true,
         [](auto&, test::ScriptedSource& s, auto&) { s.reply = SignFile(*K().other, test::MinimalDll()); },
         ReplacementResult::Refused, 3, "old", "", ""},
        {"newer: the previous library is held, the library cannot move aside", true,
         [](MemoryFiles& f, auto&, auto&) {
             f.files[kPrevious] = "older";
             f.failDelete.insert(kPrevious);
         },
         ReplacementResult::RenameFailed, 3, "old", "older", ""},
        {"newer: the new file cannot take the name, the library gets it back", true,
         [](MemoryFiles& f, auto&, auto&) { f.failRenameFrom.insert(kFirstTemporary); },
         ReplacementResult::RenameFailed, 3, "old", "", ""},
        {"newer: no temporary file", true, [](MemoryFiles& f, auto&, auto&) { f.failTemporary = true; },
         ReplacementResult::NoTemporaryFile, 3, "old", "", ""},
        {"older: left beside", false, [](auto&, auto&, auto&) {}, ReplacementResult::LeftBeside, 2, "old", "", "new"},
        {"older: a stale _new gives way", false, [](MemoryFiles& f, auto&, auto&) { f.files[kNew] = "stale"; },
         ReplacementResult::LeftBeside, 2, "old", "", "new"},
        {"older: service unreachable", false, [](auto&, test::ScriptedSource& s, auto&) { s.downloadSucceeds = false; },
         ReplacementResult::Refused, 0, "old", "", ""},
        {"older: unsigned library", false, [](auto&, test::ScriptedSource& s, auto&) { s.reply = test::MinimalDll(); },
         ReplacementResult::Refused, 0, "old", "", ""},
        {"older: the new file cannot take its name", false,
         [](MemoryFiles& f, auto&, auto&) { f.failRenameFrom.insert(kFirstTemporary); },
         ReplacementResult::RenameFailed, 0, "old", "", ""},
        {"older: no temporary file", false, [](MemoryFiles& f, auto&, auto&) { f.failTemporary = true; },
         ReplacementResult::NoTemporaryFile, 0, "old", "", ""},
        {"another host claimed it", true, [](auto&, auto&, SharedState& s) { s.SetUpdateState(2); },
         ReplacementResult::ClaimedElsewhere, 1, "old", "", ""},
        {"no library folder: state stays 0", true, [](auto&, auto&, auto&) {}, ReplacementResult::NoLibraryFolder, 0,
         "old", "", ""},
    };
    for (const Case& c : cases) {
        MemoryFiles files;
        files.files[kLibrary] = kOld;
        test::RecordingSystem system;
        system.newer = c.newer;
        test::ScriptedSource source(files);
        source.reply = good;
        MemorySharedState state;
        c.setup(files, source, state);

        const bool noFolder = c.result == ReplacementResult::NoLibraryFolder;
        const ReplacementResult got = ReplaceLibrary(state, files, system, *K().check, source,
                                                     noFolder ? L"KestrovaSE.dll" : kModule, "0.9.97.1");
        SCOPED_TRACE(std::string(c.name) + ": " + ReplacementResultName(got) + "; " + Show(files));
        EXPECT_EQ(got, c.result);
        EXPECT_EQ(state.UpdateState(), c.state);
        EXPECT_EQ(source.logged, std::vector<std::string>{"0.9.97.1"});
        ASSERT_TRUE(files.Exists(kLibrary)) << "the library name always holds a library";
        EXPECT_EQ(files.files[kLibrary], std::string(c.library) == "new" ? good : kOld);
        const std::string previous =
            files.Exists(kPrevious) ? (files.files[kPrevious] == kOld ? "old" : files.files[kPrevious]) : "";
        EXPECT_EQ(previous, c.previous);
        const std::string waiting = files.Exists(kNew) ? (files.files[kNew] == good ? "new" : files.files[kNew]) : "";
        EXPECT_EQ(waiting, c.waiting);
        EXPECT_TRUE(files.Temporaries().empty()) << "temporary files are always deleted";
        EXPECT_TRUE(system.started.empty());
        // Downloads only ever go to a temporary file in the library folder, never to a library name.
        for (const std::wstring& d : source.downloads) EXPECT_EQ(d.rfind(kFolder + L"\\kvu", 0), 0u) << Narrow(d);
        const bool downloads = c.result != ReplacementResult::NoLibraryFolder &&
                               c.result != ReplacementResult::ClaimedElsewhere &&
                               c.result != ReplacementResult::NoTemporaryFile;
        EXPECT_EQ(source.downloads.size(), downloads ? 1u : 0u);
    }
}

TEST(ReplaceLibrary, TwoHostsStartingTogetherDownloadOnce) {
    // Both saw state 0 at their start-up check; the claim lets one through.
    MemoryFiles files;
    files.files[kLibrary] = kOld;
    test::RecordingSystem system;
    system.newer = false;
    test::ScriptedSource first(files), second(files);
    first.reply = second.reply = K().good;
    MemorySharedState state;
    EXPECT_EQ(ReplaceLibrary(state, files, system, *K().check, first, kModule, "v2"), ReplacementResult::LeftBeside);
    EXPECT_EQ(ReplaceLibrary(state, files, system, *K().check, second, kModule, "v2"),
              ReplacementResult::ClaimedElsewhere);
    EXPECT_EQ(first.downloads.size() + second.downloads.size(), 1u);

    // The claim itself, raced by two threads many times over: exactly one wins each round.
    for (int round = 0; round < 200; ++round) {
        MemorySharedState shared;
        int wins[2] = {0, 0};
        std::thread a([&] { wins[0] = shared.CompareExchangeUpdateState(0, 2); });
        std::thread b([&] { wins[1] = shared.CompareExchangeUpdateState(0, 2); });
        a.join();
        b.join();
        ASSERT_EQ(wins[0] + wins[1], 1) << round;
    }
}

TEST(SaveLibraryReply, OnlyACheckedCompleteFileTakesThePath) {
    const std::wstring target = kFolder + L"\\target.dll";
    struct Case {
        const char* name;
        bool complete;
        std::string body;
        std::function<void(MemoryFiles&)> setup;
        int result;
        std::string left;  // what target holds afterwards ("-" none)
    };
    const std::string& good = K().good;
    const Case cases[] = {
        {"complete and signed", true, good, [](MemoryFiles&) {}, 0, good},
        {"replaces an older file", true, good, [&](MemoryFiles& f) { f.files[target] = "before"; }, 0, good},
        {"incomplete exchange leaves the file untouched", false, good,
         [&](MemoryFiles& f) { f.files[target] = "before"; }, 1, "before"},
        {"empty body", true, "", [](MemoryFiles&) {}, 1, "-"},
        {"short write", true, good, [](MemoryFiles& f) { f.failWrite.insert(kFirstTemporary); }, 1, "-"},
        {"written file unreadable", true, good, [](MemoryFiles& f) { f.failRead.insert(kFirstTemporary); }, 1, "-"},
        {"unsigned", true, test::MinimalDll(), [&](MemoryFiles& f) { f.files[target] = "before"; }, 1, "before"},
        {"no temporary file", true, good, [](MemoryFiles& f) { f.failTemporary = true; }, 1, "-"},
        {"the checked file cannot take the name", true, good,
         [](MemoryFiles& f) { f.failRenameFrom.insert(kFirstTemporary); }, 1, "-"},
    };
    for (const Case& c : cases) {
        MemoryFiles files;
        c.setup(files);
        EXPECT_EQ(SaveLibraryReply(files, *K().check, c.complete, c.body, target), c.result) << c.name;
        EXPECT_EQ(files.Exists(target) ? files.files[target] : "-", c.left) << c.name;
        EXPECT_TRUE(files.Temporaries().empty()) << c.name << ": " << Show(files);
    }
}

const std::wstring kDocuments = L"C:\\Users\\u\\Documents";
const std::wstring kTemplates = kDocuments + L"\\kestrovas\\";

TEST(HostProcessLeaves, CleanUpAndUpdaterStart) {
    constexpr CleanUpPlace kAddin = CleanUpPlace::AddinShutdown;
    struct Case {
        const char* name;
        int32_t processes;  // counted before this one leaves, this one included
        int32_t state;
        bool newWaits;
        bool templatesFolder;
        std::wstring documents;
        std::wstring module;
        int deleted;
        bool updater;
        CleanUpPlace where = kAddin;
    };
    const Case cases[] = {
        {"other processes still hold it", 2, 2, true, true, kDocuments, kModule, 0, false},
        {"older system, new library waits", 1, 2, true, true, kDocuments, kModule, 1, true},
        {"replaced in place", 1, 3, false, true, kDocuments, kModule, 1, false},
        {"replaced in place, a _new left from before", 1, 3, true, true, kDocuments, kModule, 1, false},
        {"no update", 1, 0, false, true, kDocuments, kModule, 1, false},
        {"another host's update", 1, 1, true, true, kDocuments, kModule, 1, true},
        {"no templates folder: the waiting library is still installed", 1, 2, true, false, kDocuments, kModule, 0,
         true},
        {"documents folder unknown: nothing deleted", 1, 2, true, true, L"", kModule, 0, true},
        {"module path without folder", 1, 2, true, true, kDocuments, L"KestrovaSE.dll", 1, false},
        // The unload notification of a process no add-in object of which left: the files only,
        // never a process start under the loader lock.
        {"under the loader lock, new library waits", 1, 2, true, true, kDocuments, kModule, 1, false,
         CleanUpPlace::LoaderLock},
        {"under the loader lock, others still hold it", 2, 2, true, true, kDocuments, kModule, 0, false,
         CleanUpPlace::LoaderLock},
    };
    for (const Case& c : cases) {
        MemoryFiles files;
        files.files[kLibrary] = kOld;
        if (c.newWaits) files.files[kNew] = K().good;
        if (c.templatesFolder) {
            files.folders.insert(kTemplates);
            files.folders.insert(L"\\kestrovas\\");  // what the Part's rule would name without a documents folder
            files.files[L"\\kestrovas\\\xc11c\xc2dd.hwp"] = "someone's file at the drive root";
            FileDownloadRecord record(files, kTemplates);
            files.files[kTemplates + L"unchanged.hwp"] = "as downloaded";
            files.files[kTemplates + L"edited.xlsx"] = "as downloaded";
            ASSERT_TRUE(record.Remember(L"unchanged.hwp", "as downloaded"));
            ASSERT_TRUE(record.Remember(L"edited.xlsx", "as downloaded"));
            files.files[kTemplates + L"edited.xlsx"] = "as downloaded, then edited";
            files.files[kTemplates + L"mine.docx"] = "never downloaded";
        }
        test::RecordingSystem system;
        MemorySharedState state;
        HostProcessPlace place(state);
        place.Enter();
        for (int i = 1; i < c.processes; ++i) state.AddHostProcess();
        state.SetUpdateState(c.state);

        const UnloadResult got = HostProcessLeaves(place, files, system, c.module, c.documents, c.where);
        SCOPED_TRACE(std::string(c.name) + ": " + Show(files));
        EXPECT_EQ(got.lastProcess, c.processes == 1);
        EXPECT_EQ(state.HostProcessCount(), c.processes - 1);
        EXPECT_EQ(got.templatesDeleted, c.deleted);
        EXPECT_EQ(files.Exists(kTemplates + L"unchanged.hwp"), c.templatesFolder && c.deleted == 0);
        if (c.templatesFolder) {
            EXPECT_TRUE(files.Exists(kTemplates + L"edited.xlsx"));
            EXPECT_TRUE(files.Exists(kTemplates + L"mine.docx"));
            EXPECT_TRUE(files.Exists(L"\\kestrovas\\\xc11c\xc2dd.hwp"));
        }
        EXPECT_EQ(got.updaterStarted, c.updater);
        EXPECT_EQ(system.started,
                  c.updater ? std::vector<std::wstring>{kFolder + L"\\KVUpdater.exe"} : std::vector<std::wstring>{});
        if (c.deleted > 0) {
            // The record keeps the line of the file that stayed, and only that one.
            FileDownloadRecord after(files, kTemplates);
            EXPECT_FALSE(after.IsUnchanged(L"unchanged.hwp"));
            files.files[kTemplates + L"unchanged.hwp"] = "as downloaded";
            EXPECT_FALSE(after.IsUnchanged(L"unchanged.hwp")) << "forgotten";
            files.files[kTemplates + L"edited.xlsx"] = "as downloaded";
            EXPECT_TRUE(after.IsUnchanged(L"edited.xlsx")) << "still known";
        }
    }
}

// Two host processes, A and B, over one shared block: the loads, the add-in objects' leaving
// and connecting, and the unloads, in the order given. The updater starts once, at the leaving
// of the last add-in object; an unload after its add-in left is bookkeeping only, and an
// unload under the loader lock never starts it.
TEST(HostProcessLeaves, TwoHostsInAnyOrder) {
    struct Step {
        char process;  // 'A' or 'B'
        enum Kind { Load, Connect, Leave, Unload } kind;
    };
    using S = Step;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int updaterAtStep;  // -1: never
        int32_t countAfter;
    } const cases[] = {
        {"B's add-in ends last",
         {{'A', S::Load}, {'B', S::Load}, {'A', S::Leave}, {'A', S::Unload}, {'B', S::Leave}, {'B', S::Unload}},
         4,
         0},
        {"A's add-in ends last, B unloaded first",
         {{'A', S::Load}, {'B', S::Load}, {'B', S::Leave}, {'B', S::Unload}, {'A', S::Leave}, {'A', S::Unload}},
         4,
         0},
        {"both add-ins end before either unloads",
         {{'A', S::Load}, {'B', S::Load}, {'A', S::Leave}, {'B', S::Leave}, {'B', S::Unload}, {'A', S::Unload}},
         3,
         0},
        {"leaving twice (shut-down, then disconnection) counts once",
         {{'A', S::Load}, {'B', S::Load}, {'A', S::Leave}, {'A', S::Leave}, {'B', S::Leave}, {'B', S::Leave}},
         4,
         0},
        // A's add-in switched off and on again while A runs: A counts again, so B is not last.
        {"an add-in connected again counts its process again",
         {{'A', S::Load}, {'B', S::Load}, {'A', S::Leave}, {'A', S::Connect}, {'B', S::Leave}, {'A', S::Leave}},
         5,
         0},
        {"a connection of a process still counted adds nothing",
         {{'A', S::Load}, {'A', S::Connect}, {'B', S::Load}, {'B', S::Leave}, {'A', S::Leave}},
         4,
         0},
        // B holds the library without an add-in object ending (the control alone): its unload is
        // the last, under the loader lock, and starts nothing.
        {"the last process had no add-in that ended",
         {{'A', S::Load}, {'B', S::Load}, {'A', S::Leave}, {'A', S::Unload}, {'B', S::Unload}},
         -1,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFiles files;
        files.files[kLibrary] = kOld;
        files.files[kNew] = K().good;
        test::RecordingSystem system;
        MemorySharedState state;
        state.SetUpdateState(kUpdateLeftBeside);
        HostProcessPlace a(state), b(state);
        int updaterAt = -1;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            HostProcessPlace& place = c.steps[i].process == 'A' ? a : b;
            const size_t before = system.started.size();
            switch (c.steps[i].kind) {
                case S::Load: place.Enter(); break;
                case S::Connect: place.Enter(); break;
                case S::Leave:
                    HostProcessLeaves(place, files, system, kModule, kDocuments, CleanUpPlace::AddinShutdown);
                    break;
                case S::Unload:
                    HostProcessLeaves(place, files, system, kModule, kDocuments, CleanUpPlace::LoaderLock);
                    break;
            }
            if (system.started.size() != before) {
                EXPECT_EQ(updaterAt, -1) << "started again at step " << i;
                updaterAt = static_cast<int>(i);
            }
        }
        EXPECT_EQ(updaterAt, c.updaterAtStep);
        EXPECT_LE(system.started.size(), 1u);
        EXPECT_EQ(state.HostProcessCount(), c.countAfter);
    }
}

TEST(DownloadRecord, KnowsExactlyWhatWasDownloaded) {
    MemoryFiles files;
    files.folders.insert(kTemplates);
    const std::wstring korean = L"\xc774\xb825\xc11c \xc591\xc2dd.hwp";  // a name with Hangul and a space
    {
        FileDownloadRecord record(files, kTemplates);
        files.files[kTemplates + korean] = "content";
        files.files[kTemplates + L"again.doc"] = "first";
        ASSERT_TRUE(record.Remember(korean, "content"));
        ASSERT_TRUE(record.Remember(L"again.doc", "first"));
        files.files[kTemplates + L"again.doc"] = "second";
        ASSERT_TRUE(record.Remember(L"again.doc", "second"));  // a later download of the name
        EXPECT_TRUE(files.Temporaries().empty());
    }
    const std::string text = files.files[kTemplates + kDownloadRecordName];
    EXPECT_NE(text.find(" 7 \xec\x9d\xb4\xeb\xa0\xa5\xec\x84\x9c \xec\x96\x91\xec\x8b\x9d.hwp\n"), std::string::npos)
        << text;

    struct Case {
        const char* name;
        std::wstring file;
        std::string content;  // "-" absent
        bool unchanged;
    };
    const Case cases[] = {
        {"as downloaded", korean, "content", true},
        {"same size, other bytes", korean, "CONTENT", false},
        {"longer", korean, "content!", false},
        {"emptied", korean, "", false},
        {"gone", korean, "-", false},
        {"the later download counts", L"again.doc", "second", true},
        {"the earlier content no longer does", L"again.doc", "first", false},
        {"never downloaded", L"other.doc", "content", false},
        {"the record's own file", kDownloadRecordName, text, false},
    };
    for (const Case& c : cases) {
        MemoryFiles copy = files;
        if (c.content == "-") {
            copy.files.erase(kTemplates + c.file);
        } else {
            copy.files[kTemplates + c.file] = c.content;
        }
        FileDownloadRecord record(copy, kTemplates);
        EXPECT_EQ(record.IsUnchanged(c.file), c.unchanged) << c.name;
    }

    // Damaged lines are skipped, the good ones still count; a cut-off last line is ignored.
    MemoryFiles damaged = files;
    damaged.files[kTemplates + kDownloadRecordName] =
        "zz" + text.substr(2) + "not a line\n" + std::string(64, 'a') + " 12x name\n" + text + text.substr(0, 70);
    FileDownloadRecord record(damaged, kTemplates);
    EXPECT_TRUE(record.IsUnchanged(korean));
    EXPECT_TRUE(record.IsUnchanged(L"again.doc"));

    // Forgetting everything removes the record file.
    record.Forget(korean);
    record.Forget(L"again.doc");
    EXPECT_TRUE(record.Save());
    EXPECT_FALSE(damaged.Exists(kTemplates + kDownloadRecordName));
}

}  // namespace
}  // namespace kv
