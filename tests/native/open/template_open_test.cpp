#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "addin/open/TemplateName.h"
#include "addin/open/TemplateOpen.h"
#include "addin/taskpane/SharedState.h"
#include "addin/update/DownloadRecord.h"
#include "tests/native/update/UpdateDoubles.h"
#include "tests/support/FakeHost.h"

namespace kv {
namespace {

// Code page 949 bytes: 견적서, 이력서.
const std::string kQuote = "\xB0\xDF\xC0\xFB\xBC\xAD";
const std::string kResume = "\xC0\xCC\xB7\xC2\xBC\xAD";

TEST(TemplateName, CleanedNamesArePlainFilesOfTheFolder) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"2013/" + kQuote + ".doc", "2013_" + kQuote + ".doc"},
        {"a\\b/c:d*e?f<g>h|i\"j.doc", "a_b_c_d_e_f_g_h_i_j.doc"},
        {"..\\..\\x.doc", ".._.._x.doc"},
        {"", "template"},
        {".", "_"},
        {"..", "__"},
        {"a.doc.", "a.doc_"},
        {"a.doc . ", "a.doc___"},
        {std::string("x\x01y\x7F\tz", 6), "x_y__z"},
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
        {kQuote + ".xls", kQuote + ".xls"},
    };
    for (const auto& c : cases) EXPECT_EQ(CleanTemplateName(c.in), c.out) << c.in;
}

TEST(TemplateName, NumberedNamesAndBoundedPaths) {
    EXPECT_EQ(NumberedName(kQuote + ".xls", 1), kQuote + ".xls");
    EXPECT_EQ(NumberedName(kQuote + ".xls", 2), kQuote + " (2).xls");
    EXPECT_EQ(NumberedName("a.b.doc", 12), "a.b (12).doc");
    EXPECT_EQ(NumberedName("plain", 3), "plain (3)");
    EXPECT_EQ(NumberedName("_", 2), "_ (2)");

    std::string folder, path;
    EXPECT_FALSE(TemplatesFolderPath("", &folder));
    ASSERT_TRUE(TemplatesFolderPath("C:\\Docs", &folder));
    EXPECT_EQ(folder, "C:\\Docs\\kestrovas");
    // 259 bytes and the zero fill the buffer exactly; one more does not fit.
    const std::string fits(259 - folder.size() - 1, 'n');
    ASSERT_TRUE(TemplatePath(folder, fits, &path));
    EXPECT_EQ(path.size(), 259u);
    EXPECT_FALSE(TemplatePath(folder, fits + "n", &path));
    EXPECT_FALSE(TemplatesFolderPath(std::string(250, 'd'), &folder));
}

// The templates folder in memory, with folders and the replacing rename.
class MemoryTemplateFiles : public TemplateFileSystem, public test::MemoryFiles {
public:
    std::set<std::wstring> failReplace;
    bool failCreateFolder = false;

    bool Exists(const std::wstring& p) override { return MemoryFiles::Exists(p); }
    bool Delete(const std::wstring& p) override { return MemoryFiles::Delete(p); }
    bool Rename(const std::wstring& a, const std::wstring& b) override { return MemoryFiles::Rename(a, b); }
    bool List(const std::wstring& f, std::vector<std::wstring>* n) override { return MemoryFiles::List(f, n); }
    bool Read(const std::wstring& p, size_t l, std::string* b) override { return MemoryFiles::Read(p, l, b); }
    bool Write(const std::wstring& p, const std::string& b) override { return MemoryFiles::Write(p, b); }
    std::wstring CreateTemporary(const std::wstring& f) override {
        if (!folders.count(f.substr(0, f.size() - 1))) return std::wstring();
        return MemoryFiles::CreateTemporary(f);
    }
    bool FolderExists(const std::wstring& p) override { return folders.count(p) > 0; }
    bool CreateFolder(const std::wstring& p) override {
        const size_t cut = p.rfind(L'\\');
        if (failCreateFolder || cut == std::wstring::npos || !folders.count(p.substr(0, cut))) return false;
        folders.insert(p);
        return true;
    }
    bool Replace(const std::wstring& from, const std::wstring& to) override {
        if (failReplace.count(to) || !files.count(from)) return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    }
};

// Narrow names widen byte for byte; a byte 0xFF does not convert.
class BytePlace : public TemplatePlace {
public:
    std::string documents = "C:\\Docs";
    bool DocumentsFolder(std::string* folder) override {
        *folder = documents;
        return !documents.empty();
    }
    bool FileSystemName(const std::string& narrow, std::wstring* name) override {
        name->clear();
        for (unsigned char c : narrow) {
            if (c == 0xFF) return false;
            *name += static_cast<wchar_t>(c);
        }
        return true;
    }
};

std::wstring Wide(const std::string& narrow) {
    std::wstring w;
    BytePlace().FileSystemName(narrow, &w);
    return w;
}

class ScriptedDownload : public TemplateDownload {
public:
    std::map<std::string, std::string> files;
    std::vector<std::string> fetched;
    bool Fetch(const std::string& url, std::string* body) override {
        fetched.push_back(url);
        auto it = files.find(url);
        if (it == files.end()) return false;
        *body = it->second;
        return true;
    }
};

// Each scope checks on its end that no application object it saw made is still held.
class WatchedApartments : public ThreadApartments {
public:
    struct Watch : Scope {
        WatchedApartments* owner;
        explicit Watch(WatchedApartments* o) : owner(o) { ++owner->entered; }
        ~Watch() override { owner->referencesAtEnd = owner->References(); }
    };
    int entered = 0;
    long referencesAtEnd = 0;
    std::vector<std::weak_ptr<HostObject>> made;  // every application object the test hands out
    std::unique_ptr<Scope> EnterMultiThreaded() override { return std::make_unique<Watch>(this); }
    long References() const {
        long n = 0;
        for (const auto& weak : made) n += weak.use_count();
        return n;
    }
};

const std::string kFolder = "C:\\Docs\\kestrovas";
const std::string kBody = std::string("{\\rtf1 \r\n\x1A\0 end", 15);

struct Rig {
    MemoryTemplateFiles files;
    BytePlace place;
    ScriptedDownload download;
    FakeHostEnvironment hosts;
    WatchedApartments apartments;
    MemorySharedState shared;
    std::shared_ptr<FakeApplication> pane = MakeFakeApplication(FakeHostKind::Word);
    std::map<std::string, std::shared_ptr<FakeApplication>> started;  // by ProgID, once created
    OpenServices services{download, files, place, hosts, apartments, shared};

    Rig() {
        files.folders.insert(L"C:\\Docs");
        download.files["http://svc/f/a.doc"] = kBody;
        const std::pair<const char*, FakeHostKind> kinds[] = {{"Word.Application", FakeHostKind::Word},
                                                              {"Excel.Application", FakeHostKind::Excel},
                                                              {"PowerPoint.Application", FakeHostKind::PowerPoint}};
        for (const auto& [progId, kind] : kinds) {
            const std::string id = progId;
            const FakeHostKind k = kind;
            hosts.classes[id] = [this, id, k]() -> HostObjectPtr {
                auto app = MakeFakeApplication(k);
                started[id] = app;
                apartments.made.push_back(app->application);
                return app->application;
            };
        }
    }
    OpenResult Open(const std::string& fileName, int32_t image1, HostKind kind = HostKind::Word,
                    const std::string& url = "http://svc/f/a.doc") {
        OpenRequest r;
        r.application = pane ? pane->application : nullptr;
        r.paneKind = kind;
        r.url = url;
        r.fileName = fileName;
        r.image1 = image1;
        // Released after the call, as the pane's own objects are not.
        started.clear();
        return OpenTemplate(r, services);
    }
    std::string File(const std::string& name) {
        auto it = files.files.find(Wide(kFolder + "\\" + name));
        return it == files.files.end() ? "<none>" : it->second;
    }
    std::vector<std::string> Opened(const std::string& progId) {
        return started.count(progId) ? started[progId]->opened : std::vector<std::string>();
    }
};

// Where each kind of entry opens, from each kind of pane.
TEST(OpenTemplate, EachFileTypeOpensInItsApplication) {
    const struct {
        const char* what;
        int32_t image1;
        HostKind pane;
        bool excelRunning;
        std::vector<std::string> hostCalls;
        const char* openedBy;  // ProgID of a started host, or "pane" / "running"
        int apartments;
    } cases[] = {
        {"doc in a Word pane: Word is always created", 236, HostKind::Word, false,
         {"class Word.Application", "create Word.Application"}, "Word.Application", 0},
        {"doc in an Excel pane", 236, HostKind::Excel, true,
         {"class Word.Application", "create Word.Application"}, "Word.Application", 0},
        {"xls in a Word pane, Excel running", 226, HostKind::Word, true,
         {"class Excel.Application", "running Excel.Application"}, "running", 1},
        {"xls in a Word pane, Excel started", 226, HostKind::Word, false,
         {"class Excel.Application", "running Excel.Application", "create Excel.Application"}, "Excel.Application", 1},
        {"xls in an Excel pane: the pane's own Excel", 226, HostKind::Excel, true,
         {"class Excel.Application"}, "pane", 0},
        {"ppt in a Word pane", 237, HostKind::Word, false,
         {"class PowerPoint.Application", "running PowerPoint.Application", "create PowerPoint.Application"},
         "PowerPoint.Application", 1},
        {"ppt in a PowerPoint pane", 237, HostKind::PowerPoint, false, {"class PowerPoint.Application"}, "pane", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        if (c.pane == HostKind::Excel) rig.pane = MakeFakeApplication(FakeHostKind::Excel);
        if (c.pane == HostKind::PowerPoint) rig.pane = MakeFakeApplication(FakeHostKind::PowerPoint);
        auto excel = MakeFakeApplication(FakeHostKind::Excel);
        if (c.excelRunning) rig.hosts.running["Excel.Application"] = excel->application;
        rig.apartments.made.push_back(excel->application);

        OpenRequest r{rig.pane->application, c.pane, "http://svc/f/a.doc", kResume + ".doc", c.image1};
        const OpenResult result = OpenTemplate(r, rig.services);

        const std::string path = kFolder + "\\" + kResume + ".doc";
        EXPECT_EQ(result.outcome, OpenOutcome::Opened);
        EXPECT_EQ(result.path, path);
        EXPECT_EQ(rig.File(kResume + ".doc"), kBody);
        EXPECT_EQ(rig.hosts.calls, c.hostCalls);
        EXPECT_EQ(rig.apartments.entered, c.apartments);
        // COM for the thread ends only after the routine let go of every host object.
        if (c.apartments) EXPECT_EQ(rig.apartments.referencesAtEnd, rig.apartments.References());
        EXPECT_FALSE(rig.shared.NextOpenIsUserDocument());
        const std::string by = c.openedBy;
        const std::vector<std::string> opened = by == "pane" ? rig.pane->opened
                                                : by == "running" ? excel->opened
                                                                  : rig.started[by]->opened;
        EXPECT_EQ(opened, std::vector<std::string>{path});
        if (by != "pane" && by != "running") {
            EXPECT_EQ(rig.started[by]->application->calls.front(), "put Visible=1");
        }
    }
}

// Every way the routine can end without an Open: what was fetched, written and asked.
TEST(OpenTemplate, EndsWithoutOpenLeaveNoTraceAndReArmTheNameSearch) {
    const struct {
        const char* what;
        std::function<void(Rig&)> setup;
        std::string fileName;
        int32_t image1;
        OpenOutcome outcome;
        bool fetched;
        bool fileStays;  // the download is at the plain name afterwards
    } cases[] = {
        {"image1 outside the table", [](Rig&) {}, "a.doc", 239, OpenOutcome::UnknownFileType, false, false},
        {"documents folder unknown", [](Rig& r) { r.place.documents.clear(); }, "a.doc", 236, OpenOutcome::NoPath,
         false, false},
        {"path longer than 259 bytes", [](Rig&) {}, std::string(250, 'x') + ".doc", 236, OpenOutcome::NoPath, false,
         false},
        {"name without a file-system form", [](Rig&) {}, "a\xFF.doc", 236, OpenOutcome::NoPath, false, false},
        {"download failed or cut short", [](Rig& r) { r.download.files.clear(); }, "a.doc", 236,
         OpenOutcome::DownloadFailed, true, false},
        {"folder cannot be made", [](Rig& r) { r.files.failCreateFolder = true; }, "a.doc", 236,
         OpenOutcome::NothingWritten, true, false},
        {"disk full while writing",
         [](Rig& r) { r.files.failWrite.insert(Wide(kFolder + "\\\\kvu1.tmp")); }, "a.doc", 236,
         OpenOutcome::NothingWritten, true, false},
        {"no temporary file", [](Rig& r) { r.files.failTemporary = true; }, "a.doc", 236,
         OpenOutcome::NothingWritten, true, false},
        {"class unknown: the file stays", [](Rig& r) { r.hosts.classes.erase("Word.Application"); }, "a.doc", 236,
         OpenOutcome::UnknownClass, true, true},
        {"host cannot be created",
         [](Rig& r) { r.hosts.classes["Word.Application"] = [] { return HostObjectPtr(); }; }, "a.doc", 236,
         OpenOutcome::NoHost, true, true},
        {"Open refused",
         [](Rig& r) {
             r.hosts.classes["Word.Application"] = [&r] {
                 auto app = MakeFakeApplication(FakeHostKind::Word);
                 app->collection->methods.clear();
                 r.started["Word.Application"] = app;
                 return app->application;
             };
         },
         "a.doc", 236, OpenOutcome::OpenFailed, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        c.setup(rig);
        const OpenResult result = rig.Open(c.fileName, c.image1);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(!rig.download.fetched.empty(), c.fetched);
        EXPECT_EQ(rig.File(CleanTemplateName(c.fileName)), c.fileStays ? kBody : "<none>");
        EXPECT_TRUE(rig.files.Temporaries().empty());
        EXPECT_TRUE(rig.Opened("Word.Application").empty());
        EXPECT_TRUE(rig.shared.NextOpenIsUserDocument());
    }
    // No application object: nothing at all happens.
    Rig rig;
    rig.pane = nullptr;
    rig.shared.SetNextOpenIsUserDocument(false);
    EXPECT_EQ(rig.Open("a.doc", 236).outcome, OpenOutcome::NoApplication);
    EXPECT_TRUE(rig.download.fetched.empty());
    EXPECT_FALSE(rig.shared.NextOpenIsUserDocument());
}

// Repeated clicks against what the folder holds: the user's files are never replaced.
TEST(OpenTemplate, UserChangesAreKeptAndTheDownloadTakesAFreeName) {
    const std::string name = kQuote + ".xls";
    const std::string second = kQuote + " (2).xls";
    const std::string third = kQuote + " (3).xls";
    const struct {
        const char* what;
        std::function<void(Rig&)> between;  // after a first download of the entry
        std::string opened;                 // name asked to open at the second click
        std::map<std::string, std::string> after;
        bool wrote;
    } cases[] = {
        {"unchanged: replaced and opened again", [](Rig&) {}, name, {{name, "v2"}}, true},
        {"edited and saved: the new copy gets (2)",
         [&](Rig& r) { r.files.files[Wide(kFolder + "\\" + name)] = "edited"; }, second,
         {{name, "edited"}, {second, "v2"}}, true},
        {"a file of the user's own, never recorded",
         [&](Rig& r) {
             r.files.files.erase(Wide(kFolder + "\\kestrova_downloads.txt"));
         },
         second, {{name, "v1"}, {second, "v2"}}, true},
        {"edited, with an unchanged (2) from before: (2) is reused",
         [&](Rig& r) {
             r.files.files[Wide(kFolder + "\\" + name)] = "edited";
             r.Open(name, 226, HostKind::Excel);
         },
         second, {{name, "edited"}, {second, "v2"}, {third, "<none>"}}, true},
        {"edited, and (2) edited too", 
         [&](Rig& r) {
             r.files.files[Wide(kFolder + "\\" + name)] = "edited";
             r.Open(name, 226, HostKind::Excel);
             r.files.files[Wide(kFolder + "\\" + second)] = "edited 2";
         },
         third, {{name, "edited"}, {second, "edited 2"}, {third, "v2"}}, true},
        {"unchanged but held open by the host: the copy on disk opens",
         [&](Rig& r) { r.files.failReplace.insert(Wide(kFolder + "\\" + name)); }, name, {{name, "v1"}}, false},
        {"edited and nothing can be written: nothing opens",
         [&](Rig& r) {
             r.files.files[Wide(kFolder + "\\" + name)] = "edited";
             r.files.failTemporary = true;
         },
         "", {{name, "edited"}, {second, "<none>"}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.pane = MakeFakeApplication(FakeHostKind::Excel);
        rig.download.files["http://svc/f/a.doc"] = "v1";
        ASSERT_EQ(rig.Open(name, 226, HostKind::Excel).outcome, OpenOutcome::Opened);
        c.between(rig);
        rig.download.files["http://svc/f/a.doc"] = "v2";
        rig.pane->opened.clear();
        const OpenResult result = rig.Open(name, 226, HostKind::Excel);

        EXPECT_EQ(result.wrote, c.wrote);
        if (c.opened.empty()) {
            EXPECT_EQ(result.outcome, OpenOutcome::NothingWritten);
            EXPECT_TRUE(rig.pane->opened.empty());
        } else {
            EXPECT_EQ(result.outcome, OpenOutcome::Opened);
            EXPECT_EQ(rig.pane->opened, std::vector<std::string>{kFolder + "\\" + c.opened});
        }
        for (const auto& [file, content] : c.after) EXPECT_EQ(rig.File(file), content) << file;
        EXPECT_TRUE(rig.files.Temporaries().empty());
    }
}

// The record that the clean-up reads says which files are still as downloaded.
TEST(OpenTemplate, EveryWrittenFileIsRecorded) {
    Rig rig;
    ASSERT_EQ(rig.Open("2013/" + kQuote + ".doc", 236).outcome, OpenOutcome::Opened);
    ASSERT_EQ(rig.Open("CON.doc", 236).outcome, OpenOutcome::Opened);
    FileDownloadRecord record(static_cast<TemplateFileSystem&>(rig.files), Wide(kFolder + "\\"));
    EXPECT_TRUE(record.IsUnchanged(Wide("2013_" + kQuote + ".doc")));
    EXPECT_TRUE(record.IsUnchanged(Wide("_CON.doc")));
    rig.files.files[Wide(kFolder + "\\_CON.doc")] += "!";
    EXPECT_FALSE(record.IsUnchanged(Wide("_CON.doc")));
}

}  // namespace
}  // namespace kv
