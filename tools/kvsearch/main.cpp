// kvsearch: runs one template search against the service with a fake host of the given kind
// and prints the 29 slots and the summary values (text as UTF-8).
//
//   kvsearch --service HOST:PORT --host word|excel|powerpoint [--pid ID] [--code CODE]
//            [--selected NAME] (--file DOCUMENT-NAME | KEYWORD)
//
// A KEYWORD (possibly empty) is typed into the search box; --file searches by the document's
// name (a KEYWORD given as well is the box text that a name without Hangul falls back to).
// Backslash, tab, CR and LF inside texts are printed as \\, \t, \r and \n.
#include <cstdio>
#include <string>
#include <vector>

#include "Console.h"
#include "addin/features/search/TemplateSearch.h"
#include "addin/features/service/UsageLog.h"
#include "platform/CodePage.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"
#include "platform/Shell.h"
#include "tests/support/FakeHost.h"

namespace {

using namespace kv;

int Usage(const char* why) {
    std::fprintf(stderr,
                 "kvsearch: %s\n"
                 "usage: kvsearch --service HOST:PORT --host word|excel|powerpoint [--pid ID] [--code CODE]\n"
                 "                [--selected NAME] (--file DOCUMENT-NAME | KEYWORD)\n",
                 why);
    return 2;
}

struct ListRecorder : ResultList {
    ResultSummary& Summary() override { return summary; }
    void ShowItems(const ItemTable& table) override { items = table; }
    ResultSummary summary;
    ItemTable items;
};

struct FixedBox : SearchBox {
    bool TextEntered() override { return entered; }
    std::string Text() override { return text; }
    bool entered = false;
    std::string text;
};

std::string Printable(const std::string& cp949) {
    std::string out;
    for (char c : Cp949ToUtf8Lossy(cp949)) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: out += c;
        }
    }
    return out;
}

bool ToCp949(const std::string& utf8, const char* what, std::string* out) {
    if (Utf8ToCp949(utf8, out)) return true;
    std::fprintf(stderr, "kvsearch: %s has characters outside code page 949\n", what);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    SetBinaryStdout();
    std::vector<std::string> args;
    if (!Utf8Arguments(argc, argv, &args)) return Usage("the command line does not convert to UTF-8");
    std::string service, host, pid, code = kDefaultDistributionCode, selected, file, keyword;
    bool haveFile = false, haveKeyword = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* into) {
            if (i + 1 >= args.size()) return false;
            *into = args[++i];
            return true;
        };
        bool ok = true;
        if (a == "--service")
            ok = value(&service);
        else if (a == "--host")
            ok = value(&host);
        else if (a == "--pid")
            ok = value(&pid);
        else if (a == "--code")
            ok = value(&code);
        else if (a == "--selected")
            ok = value(&selected);
        else if (a == "--file")
            ok = haveFile = value(&file);
        else if (a.rfind("--", 0) == 0)
            return Usage(("unknown option " + a).c_str());
        else if (haveKeyword)
            return Usage("more than one keyword");
        else {
            keyword = a;
            haveKeyword = true;
        }
        if (!ok) return Usage(("missing value after " + a).c_str());
    }
    FakeHostKind kind;
    if (service.empty()) return Usage("--service is required");
    if (!ParseFakeHostKind(host, &kind)) return Usage("--host must be word, excel or powerpoint");
    if (!haveFile && !haveKeyword) return Usage("a keyword or --file is required");

    Identity identity;
    identity.installId = pid;
    identity.distributionCode = code.substr(0, 15);
    std::string keywordBytes, fileBytes, selectedBytes;
    if (!ToCp949(keyword, "the keyword", &keywordBytes) || !ToCp949(file, "the document name", &fileBytes) ||
        !ToCp949(selected, "the selected name", &selectedBytes)) {
        return 2;
    }

    ServiceConfig config = ServiceConfigFrom(service, "");
    ServiceClient client(SystemNetwork(), SystemCookieSource(), config);
    ServiceLogSender sender(SystemNetwork(), config, &client.cache());
    FakeHostEnvironment hosts;
    std::shared_ptr<FakeApplication> app = MakeFakeApplication(kind);
    ListRecorder list;
    FixedBox box;
    box.entered = haveKeyword;
    box.text = keywordBytes;

    TemplateSearch search(SearchServices{client, hosts, sender, SystemShell(), identity, list, box, nullptr});
    search.SetApplication(app->application);
    search.SetLastOpenedTemplate(selectedBytes);
    if (haveFile) search.SetDocumentName(fileBytes);
    search.Search(haveFile ? TemplateSearch::ByDocumentName : TemplateSearch::ByKeyword);

    for (int slot = 0; slot < kItemCount; ++slot) {
        const TemplateItem& it = list.items[slot];
        std::printf("%d\t%d\t%d\t%d\t%d\t%d\t%d\t%s\t%s\t%s\t%s\t%s\n", slot, it.visible, it.enabled, it.index, it.flag,
                    it.image1, it.image2, Printable(it.fileName).c_str(), Printable(it.title).c_str(),
                    Printable(it.url).c_str(), Printable(it.image).c_str(), Printable(it.link).c_str());
    }
    const ResultSummary& s = list.summary;
    std::printf("selected=%d free=%d member=%d more=%d last=%d\n", s.selected, s.freeCount, s.memberCount,
                s.moreResults, s.lastRequestSucceeded);
    return 0;
}
