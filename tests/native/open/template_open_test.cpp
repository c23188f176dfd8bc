#include <gtest/gtest.h>

#include <functional>

#include "addin/base/shared/SharedState.h"
#include "addin/features/open/TemplateName.h"
#include "addin/features/open/TemplateOpen.h"
#include "tests/native/update/UpdateDoubles.h"
#include "tests/support/FakeHost.h"

namespace kv {
namespace {

const std::string kQuote = "\xB0\xDF\xC0\xFB\xBC\xAD";  // 견적서 in code page 949

TEST(TemplateName, NamesBecomePlainFilesAndPathsAreBounded) {
    const std::pair<std::string, std::string> cases[] = {
        {"2013/" + kQuote + ".doc", "2013_" + kQuote + ".doc"},
        {"a\\b/c:d*e?f<g>h|i\"j", "a_b_c_d_e_f_g_h_i_j"},
        {"..\\..\\x.doc", ".._.._x.doc"},
        {"", "template"},
        {".", "_"},
        {"..", "__"},
        {"a.doc . ", "a.doc___"},
        {std::string("x\x01y\x7F\t", 5), "x_y__"},
        {"CON", "_CON"},
        {"con.txt", "_con.txt"},
        {"NUL .doc", "_NUL .doc"},
        {"Aux.tar.gz", "_Aux.tar.gz"},
        {"COM1.xls", "_COM1.xls"},
        {"lpt9", "_lpt9"},
        {"COM0.doc", "COM0.doc"},
        {"COM10.doc", "COM10.doc"},
        {"CONSOLE.doc", "CONSOLE.doc"},
        {"KESTROVA_DOWNLOADS.TXT", "_KESTROVA_DOWNLOADS.TXT"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(CleanTemplateName(in), out) << in;
    EXPECT_EQ(NumberedName(kQuote + ".xls", 2), kQuote + " (2).xls");
    EXPECT_EQ(NumberedName("a.b.doc", 12), "a.b (12).doc");
    EXPECT_EQ(NumberedName(".xls", 3), ".xls (3)");
    std::string folder, path;
    EXPECT_FALSE(TemplatesFolderPath("", &folder));
    ASSERT_TRUE(TemplatesFolderPath("C:\\Docs", &folder));
    EXPECT_EQ(folder, "C:\\Docs\\kestrovas");
    const std::string fits(259 - folder.size() - 1, 'n');  // 259 bytes and the zero fill the buffer
    EXPECT_TRUE(TemplatePath(folder, fits, &path) && path.size() == 259);
    EXPECT_FALSE(TemplatePath(folder, fits + "n", &path));
}

struct MemoryFolders : test::MemoryFiles, TemplateFolders {
    std::set<std::wstring> failReplace;
    bool failCreateFolder = false;
    bool FolderExists(const std::wstring& p) override { return folders.count(p) > 0; }
    std::wstring CreateTemporary(const std::wstring& f) override {  // f ends in a separator
        return folders.count(f.substr(0, f.size() - 1)) ? MemoryFiles::CreateTemporary(f) : std::wstring();
    }
    bool CreateFolder(const std::wstring& p) override {
        return !failCreateFolder && folders.count(p.substr(0, p.rfind(L'\\'))) && folders.insert(p).second;
    }
    bool Replace(const std::wstring& from, const std::wstring& to) override {
        if (failReplace.count(to) || !files.count(from)) return false;
        files[to] = files[from];
        return files.erase(from) == 1;
    }
};

// Narrow names widen byte for byte; the byte 0xFF has no file-system form.
struct BytePlace : TemplatePlace {
    std::string documents = "C:\\Docs";
    bool DocumentsFolder(std::string* folder) override { return !(*folder = documents).empty(); }
    bool FileSystemName(const std::string& narrow, std::wstring* name) override {
        *name = std::wstring(narrow.begin(), narrow.end());
        for (wchar_t& c : *name) c &= 0xFF;
        return narrow.find('\xFF') == std::string::npos;
    }
};

struct ScriptedDownload : TemplateDownload {
    std::map<std::string, std::string> files;
    int fetches = 0;
    bool Fetch(const std::string& url, std::string* body) override {
        ++fetches;
        return files.count(url) && (*body = files[url], true);
    }
};

// Counts the references to the hosts' objects when each scope ends.
struct WatchedApartments : ThreadApartments {
    struct Watch : Scope {
        WatchedApartments* w;
        explicit Watch(WatchedApartments* o) : w(o) { ++w->entered; }
        ~Watch() override { w->referencesAtEnd = w->References(); }
    };
    int entered = 0;
    long referencesAtEnd = 0;
    std::vector<std::weak_ptr<HostObject>> made;
    std::unique_ptr<Scope> EnterMultiThreaded() override { return std::make_unique<Watch>(this); }
    long References() const {
        long n = 0;
        for (const auto& weak : made) n += weak.use_count();
        return n;
    }
};

const std::string kFolder = "C:\\Docs\\kestrovas\\";
std::wstring Wide(const std::string& narrow) {
    std::wstring w;
    BytePlace().FileSystemName(narrow, &w);
    return w;
}
const std::string kBody = std::string("{\\rtf1 \r\n\x1A\0 end", 15);

struct Rig {
    MemoryFolders files;
    BytePlace place;
    ScriptedDownload download;
    FakeHostEnvironment hosts;
    WatchedApartments apartments;
    MemorySharedState shared;
    std::shared_ptr<FakeApplication> pane = MakeFakeApplication(FakeHostKind::Word);
    HostKind paneKind = HostKind::Word;
    std::map<std::string, std::shared_ptr<FakeApplication>> started;                    // created hosts, by ProgID
    std::shared_ptr<FakeApplication> excel = MakeFakeApplication(FakeHostKind::Excel);  // when running
    OpenServices services{download, files, files, place, hosts, apartments, shared};

    Rig() {
        files.folders.insert(L"C:\\Docs");
        download.files["u"] = kBody;
        apartments.made.push_back(excel->application);
        const std::pair<const char*, FakeHostKind> kinds[] = {{"Word.Application", FakeHostKind::Word},
                                                              {"Excel.Application", FakeHostKind::Excel},
                                                              {"PowerPoint.Application", FakeHostKind::PowerPoint}};
        for (auto [id, kind] : kinds) {
            hosts.classes[id] = [this, id = std::string(id), kind = kind]() -> HostObjectPtr {
                started[id] = MakeFakeApplication(kind);
                apartments.made.push_back(started[id]->application);
                return started[id]->application;
            };
        }
    }
    OpenResult Open(const std::string& fileName, int32_t image1) {
        return OpenTemplate(OpenRequest{pane ? pane->application : nullptr, paneKind, "u", fileName, image1}, services);
    }
    std::string File(const std::string& name) {
        auto it = files.files.find(Wide(kFolder + name));
        return it == files.files.end() ? "<none>" : it->second;
    }
};

TEST(OpenTemplate, EachFileTypeOpensInItsApplication) {
    const struct {
        const char* what;
        int32_t image1;
        HostKind pane;
        bool excelRunning;
        std::vector<std::string> hostCalls;
        std::string openedBy;  // ProgID of a created host, "pane" or "running"
    } cases[] = {
        {"doc in a Word pane: Word is always created",
         236,
         HostKind::Word,
         false,
         {"class Word.Application", "create Word.Application"},
         "Word.Application"},
        {"doc in an Excel pane",
         236,
         HostKind::Excel,
         true,
         {"class Word.Application", "create Word.Application"},
         "Word.Application"},
        {"xls in a Word pane, Excel running",
         226,
         HostKind::Word,
         true,
         {"class Excel.Application", "running Excel.Application"},
         "running"},
        {"xls in a Word pane, Excel started",
         226,
         HostKind::Word,
         false,
         {"class Excel.Application", "running Excel.Application", "create Excel.Application"},
         "Excel.Application"},
        {"xls in an Excel pane", 226, HostKind::Excel, true, {"class Excel.Application"}, "pane"},
        {"ppt in a PowerPoint pane", 237, HostKind::PowerPoint, false, {"class PowerPoint.Application"}, "pane"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.paneKind = c.pane;
        if (c.pane == HostKind::Excel) rig.pane = MakeFakeApplication(FakeHostKind::Excel);
        if (c.pane == HostKind::PowerPoint) rig.pane = MakeFakeApplication(FakeHostKind::PowerPoint);
        if (c.excelRunning) rig.hosts.running["Excel.Application"] = rig.excel->application;

        const OpenResult result = rig.Open("2013/" + kQuote + ".doc", c.image1);
        const std::string path = kFolder + "2013_" + kQuote + ".doc";
        EXPECT_EQ(result.outcome, OpenOutcome::Opened);
        EXPECT_EQ(rig.File("2013_" + kQuote + ".doc"), kBody);
        EXPECT_EQ(rig.hosts.calls, c.hostCalls);
        EXPECT_FALSE(rig.shared.NextOpenIsUserDocument());
        // COM for the thread only around a host outside the pane, ended after every object is let go.
        EXPECT_EQ(rig.apartments.entered, c.image1 != 236 && c.openedBy != "pane" ? 1 : 0);
        EXPECT_EQ(rig.apartments.referencesAtEnd, rig.apartments.entered ? rig.apartments.References() : 0);
        auto& by = c.openedBy == "pane" ? rig.pane : c.openedBy == "running" ? rig.excel : rig.started[c.openedBy];
        EXPECT_EQ(by->opened, std::vector<std::string>{path});
        if (rig.started.count(c.openedBy)) EXPECT_EQ(by->application->calls.front(), "put Visible=1");
    }
}

TEST(OpenTemplate, EndsWithoutOpenLeaveNoTraceAndReArmTheNameSearch) {
    const struct {
        const char* what;
        std::function<void(Rig&)> setup;
        std::string fileName;
        int32_t image1;
        OpenOutcome outcome;
        bool fetched, fileStays;
    } cases[] = {
        {"image1 outside the table", [](Rig&) {}, "a.doc", 239, OpenOutcome::UnknownFileType, false, false},
        {"documents folder unknown", [](Rig& r) { r.place.documents.clear(); }, "a.doc", 236, OpenOutcome::NoPath,
         false, false},
        {"path over 259 bytes", [](Rig&) {}, std::string(250, 'x'), 236, OpenOutcome::NoPath, false, false},
        {"name without a file-system form", [](Rig&) {}, "a\xFF.doc", 236, OpenOutcome::NoPath, false, false},
        {"download failed or cut short", [](Rig& r) { r.download.files.clear(); }, "a.doc", 236,
         OpenOutcome::DownloadFailed, true, false},
        {"folder cannot be made", [](Rig& r) { r.files.failCreateFolder = true; }, "a.doc", 236,
         OpenOutcome::NothingWritten, true, false},
        {"disk full", [](Rig& r) { r.files.failWrite.insert(L"C:\\Docs\\kestrovas\\\\kvu1.tmp"); }, "a.doc", 236,
         OpenOutcome::NothingWritten, true, false},
        {"class unknown", [](Rig& r) { r.hosts.classes.erase("Word.Application"); }, "a.doc", 236,
         OpenOutcome::UnknownClass, true, true},
        {"host not created", [](Rig& r) { r.hosts.classes["Word.Application"] = [] { return HostObjectPtr(); }; },
         "a.doc", 236, OpenOutcome::NoHost, true, true},
        {"Open refused", [](Rig& r) { r.pane->collection->methods.clear(); }, "a.xls", 226, OpenOutcome::OpenFailed,
         true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.paneKind = HostKind::Excel;
        rig.pane = MakeFakeApplication(FakeHostKind::Excel);
        c.setup(rig);
        EXPECT_EQ(rig.Open(c.fileName, c.image1).outcome, c.outcome);
        EXPECT_EQ(rig.download.fetches > 0, c.fetched);
        EXPECT_EQ(rig.File(c.fileName), c.fileStays ? kBody : "<none>");
        EXPECT_TRUE(rig.files.Temporaries().empty());
        EXPECT_TRUE(rig.shared.NextOpenIsUserDocument());
        // Until a download is whole the documents folder stays as it was: no templates folder.
        if (c.outcome == OpenOutcome::DownloadFailed) EXPECT_EQ(rig.files.folders.count(L"C:\\Docs\\kestrovas"), 0u);
    }
    Rig rig;  // no application object: nothing at all happens
    rig.pane = nullptr;
    rig.shared.SetNextOpenIsUserDocument(false);
    EXPECT_EQ(rig.Open("a.doc", 236).outcome, OpenOutcome::NoApplication);
    EXPECT_EQ(rig.download.fetches, 0);
    EXPECT_FALSE(rig.shared.NextOpenIsUserDocument());
}

// A second click of an entry already downloaded once ("v1"), after the user did something.
TEST(OpenTemplate, UserChangesAreKeptAndTheDownloadTakesAFreeName) {
    const std::string name = kQuote + ".xls", two = kQuote + " (2).xls", three = kQuote + " (3).xls";
    const std::wstring wide = Wide(kFolder + name), wideTwo = Wide(kFolder + two);
    const struct {
        const char* what;
        std::function<void(Rig&)> between;
        std::string opened;  // empty: nothing opens
        std::vector<std::pair<std::string, std::string>> after;
    } cases[] = {
        {"nothing: replaced and opened again", [](Rig&) {}, name, {{name, "v2"}, {two, "<none>"}}},
        {"edited and saved", [&](Rig& r) { r.files.files[wide] = "edit"; }, two, {{name, "edit"}, {two, "v2"}}},
        {"a file of the user's own",
         [&](Rig& r) { r.files.files.erase(L"C:\\Docs\\kestrovas\\kestrova_downloads.txt"); },
         two,
         {{name, "v1"}, {two, "v2"}}},
        {"edited, with an unchanged (2)",
         [&](Rig& r) {
             r.files.files[wide] = "edit";
             r.Open(name, 226);
         },
         two,
         {{name, "edit"}, {two, "v2"}, {three, "<none>"}}},
        {"edited, and (2) edited too",
         [&](Rig& r) {
             r.files.files[wide] = "edit";
             r.Open(name, 226);
             r.files.files[wideTwo] = "edit 2";
         },
         three,
         {{name, "edit"}, {two, "edit 2"}, {three, "v2"}}},
        {"held open by the host: the copy on disk opens",
         [&](Rig& r) { r.files.failReplace.insert(wide); },
         name,
         {{name, "v1"}}},
        {"edited, and nothing can be written",
         [&](Rig& r) {
             r.files.files[wide] = "edit";
             r.files.failTemporary = true;
         },
         "",
         {{name, "edit"}, {two, "<none>"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.paneKind = HostKind::Excel;
        rig.pane = MakeFakeApplication(FakeHostKind::Excel);
        rig.download.files["u"] = "v1";
        ASSERT_EQ(rig.Open(name, 226).outcome, OpenOutcome::Opened);
        c.between(rig);
        rig.download.files["u"] = "v2";
        rig.pane->opened.clear();
        const OpenResult result = rig.Open(name, 226);
        EXPECT_EQ(result.outcome, c.opened.empty() ? OpenOutcome::NothingWritten : OpenOutcome::Opened);
        EXPECT_EQ(rig.pane->opened,
                  c.opened.empty() ? std::vector<std::string>{} : std::vector<std::string>{kFolder + c.opened});
        for (const auto& [file, content] : c.after) EXPECT_EQ(rig.File(file), content) << file;
        EXPECT_TRUE(rig.files.Temporaries().empty());
    }
}

}  // namespace
}  // namespace kv
