// Pure parts of kvservice: text conversion, request-head splitting, the catalogue's checks and
// matching, and the answers of the service without any socket.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tools/kvservice/Catalogue.h"
#include "tools/kvservice/RawFront.h"
#include "tools/kvservice/Service.h"
#include "tools/kvservice/Text.h"

using namespace kvservice;

namespace {

// "견적서" in code page 949.
const std::string kQuoteCp949 = "\xb0\xdf\xc0\xfb\xbc\xad";
const std::string kQuoteUtf8 = "\xea\xb2\xac\xec\xa0\x81\xec\x84\x9c";

// A data folder in a temporary directory, removed at the end.
class DataFolder {
public:
    DataFolder() {
        char pattern[] = "/tmp/kvservice-unit-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    ~DataFolder() { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    const std::string& Dir() const { return dir_; }
    void Write(const std::string& name, const std::string& text) const {
        std::system(("mkdir -p \"$(dirname '" + dir_ + "/" + name + "')\"").c_str());
        std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    }

private:
    std::string dir_;
};

std::string CatalogueXml(const std::string& templates) {
    return "<catalogue><banner subject=\"b\" url=\"/weekupdate/pindex.asp\"/>"
           "<member id=\"gold\" password=\"pw\" level=\"2\"/><member id=\"basic\" password=\"pw\" level=\"0\"/>" +
           templates + "</catalogue>";
}

std::string TemplateXml(int id, const std::string& list, const std::string& program, const std::string& title,
                        const std::string& extra = "") {
    return "<template id=\"" + std::to_string(id) + "\" list=\"" + list + "\" program=\"" + program + "\" file=\"f" +
           std::to_string(id) + ".docx\" source=\"t" + std::to_string(id) + ".docx\" image=\"p" + std::to_string(id) +
           ".png\" " + extra + "><title>" + title + "</title><keywords>kw" + std::to_string(id) +
           "</keywords></template>";
}

std::vector<int> Ids(const std::vector<const Template*>& entries) {
    std::vector<int> ids;
    for (const Template* t : entries) ids.push_back(t->id);
    return ids;
}

}  // namespace

TEST(Text, Cp949RoundTripAndBadBytes) {
    EXPECT_EQ(Cp949ToUtf8(kQuoteCp949), kQuoteUtf8);
    EXPECT_EQ(Utf8ToCp949(kQuoteUtf8), kQuoteCp949);
    // A lone lead byte, a cut-off pair and bytes that are no CP949 are dropped, the rest kept.
    EXPECT_EQ(Cp949ToUtf8("a\xff"
                          "b" +
                          kQuoteCp949 + "\xb0"),
              "ab" + kQuoteUtf8);
    // A character without a CP949 form becomes one '?', also in the middle of the text.
    EXPECT_EQ(Utf8ToCp949("x\xf0\x9f\x98\x80y"), "x?y");
    EXPECT_EQ(Utf8ToCp949("x\xc3"), "x?");
    // Longer than iconv's working buffer.
    std::string many;
    for (int i = 0; i < 2000; ++i) many += kQuoteUtf8;
    EXPECT_EQ(Cp949ToUtf8(Utf8ToCp949(many)), many);
}

TEST(Text, QueriesAndDecoding) {
    QueryPairs q = SplitQuery("ext=doc&&keyword=a+b%41&flag&keyword=second&=x");
    EXPECT_EQ(QueryValue(q, "ext"), "doc");
    EXPECT_EQ(QueryValue(q, "keyword"), "a+b%41");  // first one, raw
    EXPECT_TRUE(HasQueryKey(q, "flag"));
    EXPECT_EQ(QueryValue(q, "missing", "dflt"), "dflt");
    EXPECT_EQ(PlusToSpace("a+b%41"), "a b%41");
    EXPECT_EQ(FormDecode("a+b%41%7e%"), "a bA~%");
    EXPECT_EQ(FormDecode("%4"), "%4");
    EXPECT_EQ(FormDecode("%zz"), "%zz");
}

TEST(Text, JsonAndHexKeepEveryByte) {
    std::string bytes("a\"\\\n\x01\x7f\xb0 ", 8);
    EXPECT_EQ(JsonString(bytes), "\"a\\\"\\\\\\u000a\\u0001\\u007f\\u00b0 \"");
    std::string back;
    ASSERT_TRUE(UnhexBytes(HexBytes(bytes), back));
    EXPECT_EQ(back, bytes);
    EXPECT_FALSE(UnhexBytes("abc", back));
    EXPECT_FALSE(UnhexBytes("zz", back));
}

TEST(RequestHead, SplitsAtFirstAndLastSpace) {
    RequestHead head;
    ASSERT_TRUE(ParseRequestHead("GET /a?k=x y?z HTTP/1.1\r\nHost: h\r\nCookie: \r\nOdd line\r\nX:  v  ", head));
    EXPECT_EQ(head.method, "GET");
    EXPECT_EQ(head.target, "/a?k=x y?z");
    EXPECT_EQ(head.version, "HTTP/1.1");
    ASSERT_EQ(head.headers.size(), 4u);
    EXPECT_EQ(head.headers[1], std::make_pair(std::string("Cookie"), std::string()));
    EXPECT_EQ(head.headers[2], std::make_pair(std::string("Odd line"), std::string()));
    EXPECT_EQ(head.headers[3].second, "v");
    EXPECT_FALSE(ParseRequestHead("GARBAGE", head));
    EXPECT_FALSE(ParseRequestHead("GET /only-two", head));
    EXPECT_FALSE(ParseRequestHead("", head));
}

TEST(RequestHead, SafeTargetEncodesWhatTheLibraryRefuses) {
    EXPECT_EQ(SafeTarget("/k_app/x.asp?a=1&b=c+d"), "/k_app/x.asp?a=1&b=c+d");
    EXPECT_EQ(SafeTarget("/p?k=a b?c#d%"), "/p?k=a%20b%3Fc%23d%25");
    EXPECT_EQ(SafeTarget("/p?k=" + kQuoteCp949.substr(0, 2)), "/p?k=%B0%DF");
}

TEST(Catalogue, RefusesBrokenEntries) {
    const std::pair<const char*, std::string> broken[] = {
        {"repeated id", TemplateXml(1, "free", "doc", "a") + TemplateXml(1, "free", "doc", "b")},
        {"bad list", TemplateXml(1, "paid", "doc", "a")},
        {"bad program", TemplateXml(1, "free", "hwp", "a")},
        {"bad flag", TemplateXml(1, "free", "doc", "a", "flag=\"x\"")},
        {"bad enable", TemplateXml(1, "free", "doc", "a", "enable=\"maybe\"")},
        {"bad pick", TemplateXml(1, "free", "doc", "a", "pick=\"monthly\"")},
        {"path in source",
         "<template id=\"1\" list=\"free\" program=\"doc\" file=\"f\" source=\"../x\"><title>t</title></template>"},
    };
    for (const auto& b : broken) {
        DataFolder data;
        data.Write("catalogue.xml", CatalogueXml(b.second));
        Catalogue catalogue;
        std::string error;
        EXPECT_FALSE(catalogue.Load(data.Dir(), error)) << b.first;
        EXPECT_FALSE(error.empty()) << b.first;
    }
    DataFolder empty;
    Catalogue catalogue;
    std::string error;
    EXPECT_FALSE(catalogue.Load(empty.Dir(), error));
    empty.Write("catalogue.xml", "<not closed");
    EXPECT_FALSE(catalogue.Load(empty.Dir(), error));
}

class LoadedCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        data_.Write("catalogue.xml",
                    CatalogueXml(TemplateXml(1, "free", "doc", kQuoteUtf8 + " basic", "best=\"2\" pick=\"weekly\"") +
                                 TemplateXml(2, "free", "xls", "Sheet " + kQuoteUtf8, "best=\"1\"") +
                                 TemplateXml(3, "free", "doc", "Minutes", "best=\"3\"") +
                                 TemplateXml(4, "free", "doc", "Notes", "best=\"4\" pick=\"daily\"") +
                                 TemplateXml(5, "member", "doc", "Plan &amp; budget", "flag=\"1\" best=\"1\"") +
                                 TemplateXml(6, "member", "doc", "Premium plan", "flag=\"2\" index=\"omit\"") +
                                 TemplateXml(7, "member", "doc", "Letter", "flag=\"omit\" enable=\"omit\"")));
        data_.Write("files/t1.docx", "FILE-ONE");
        data_.Write("preview/p1.png", "PNG");
        std::string error;
        ASSERT_TRUE(catalogue_.Load(data_.Dir(), error)) << error;
    }
    DataFolder data_;
    Catalogue catalogue_;
};

TEST_F(LoadedCatalogue, SearchesListsByProgramAndWords) {
    EXPECT_EQ(Ids(catalogue_.Search("free", "doc", "", false)), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(Ids(catalogue_.Search("free", "", kQuoteUtf8, false)), (std::vector<int>{1, 2}));
    EXPECT_EQ(Ids(catalogue_.Search("free", "xls", "SHEET  " + kQuoteUtf8, false)), (std::vector<int>{2}));
    EXPECT_EQ(Ids(catalogue_.Search("free", "xls", "sheet minutes", false)), (std::vector<int>{}));
    EXPECT_EQ(Ids(catalogue_.Search("member", "doc", "plan", false)), (std::vector<int>{5, 6}));
    // By document name: a title word inside the name, or the name inside the entry.
    EXPECT_EQ(Ids(catalogue_.Search("member", "doc", "finalletter2", true)), (std::vector<int>{7}));
    EXPECT_EQ(Ids(catalogue_.Search("member", "doc", "budget", true)), (std::vector<int>{5}));
    EXPECT_EQ(Ids(catalogue_.Picks()), (std::vector<int>{4, 1}));
}

TEST_F(LoadedCatalogue, BestListHasThreeFreeThenMembers) {
    EXPECT_EQ(Ids(catalogue_.Best("")), (std::vector<int>{2, 1, 3, 5}));
    EXPECT_EQ(Ids(catalogue_.Best("doc")), (std::vector<int>{1, 3, 4, 5}));
}

TEST_F(LoadedCatalogue, EnableFollowsLoginLevelAndClass) {
    const Template& plan = *catalogue_.ById(5);     // class 1
    const Template& premium = *catalogue_.ById(6);  // class 2
    const Template& letter = *catalogue_.ById(7);   // enable left out
    int value = 99;
    for (int level : {-1, 0, 1, 2, 3}) {
        ASSERT_TRUE(EnableValue(plan, level, value));
        EXPECT_EQ(value, level >= 1 ? 1 : 0) << level;
        ASSERT_TRUE(EnableValue(premium, level, value));
        EXPECT_EQ(value, level >= 2 ? 1 : 0) << level;
    }
    EXPECT_FALSE(EnableValue(letter, 3, value));
    ListContext context{"http://h:1", -1};
    std::string xml = RenderList({&plan, &premium, &letter}, context);
    EXPECT_NE(xml.find("<ITEM index=\"5\" enable=\"0\" flag=\"1\"><FILE>f5.docx</FILE><FTITLE>Plan &amp; budget"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<ITEM enable=\"0\" flag=\"2\">"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<ITEM index=\"7\"><FILE>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<URL>http://h:1/k_app/files/t5.docx</URL>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<LINK>http://h:1/k_app/template_view.asp?idx=6</LINK>"), std::string::npos) << xml;
}

TEST_F(LoadedCatalogue, ServiceAnswersWithoutSockets) {
    ServiceOptions options;
    options.port = 8080;
    Service service(catalogue_, options);
    ServiceRequest request;
    request.method = "GET";
    request.host = "svc";

    request.target = "/k_app/search_freeform.asp?ext=doc&keyword=" + kQuoteCp949;
    ServiceReply reply = service.Handle(request);
    EXPECT_EQ(reply.status, 200);
    EXPECT_NE(reply.body.find("<FTITLE>" + kQuoteCp949 + " basic</FTITLE>"), std::string::npos);
    EXPECT_NE(reply.body.find("http://svc:8080/k_app/files/t1.docx"), std::string::npos);

    request.target = "/k_app/files/t1.docx";
    EXPECT_EQ(service.Handle(request).body, "FILE-ONE");
    for (const char* target : {"/k_app/files/../catalogue.xml", "/k_app/files/", "/k_app/files/.hidden",
                               "/k_app/preview_image.asp?image=..%2Fcatalogue.xml", "/k_app/preview_image.asp",
                               "/k_app/files/t1.docx/", "/k_app/template_view.asp?idx=x"}) {
        request.target = target;
        EXPECT_EQ(service.Handle(request).status, 404) << target;
    }

    request.target = "/k_app/login_status.asp";
    for (const auto& c : std::vector<std::pair<std::string, std::string>>{{"", ""},
                                                                          {"KVMEMBER=gold", "2"},
                                                                          {"x=1;  KVMEMBER=basic; y=2", "0"},
                                                                          {"KVMEMBER=nobody", ""},
                                                                          {"XKVMEMBER=gold", ""},
                                                                          {"KVMEMBER", ""}}) {
        request.cookie = c.first;
        EXPECT_EQ(service.Handle(request).body, c.second) << c.first;
    }

    request.cookie.clear();
    request.method = "POST";
    request.target = "/k_app/search_weekform.asp";
    EXPECT_EQ(service.Handle(request).status, 405);
    request.target = "/k_app/login.asp";
    request.body = "id=gold&pwd=p%77";
    reply = service.Handle(request);
    EXPECT_EQ(reply.body, "ok");
    ASSERT_EQ(reply.headers.size(), 1u);
    EXPECT_EQ(reply.headers[0].second, "KVMEMBER=gold; Path=/");
    request.body = "id=gold&pwd=PW";
    EXPECT_EQ(service.Handle(request).body, "fail");
}

TEST_F(LoadedCatalogue, ChunkedSwitches) {
    ServiceOptions options;
    options.chunked = true;
    Service service(catalogue_, options);
    ServiceRequest request;
    request.method = "GET";
    request.target = "/k_app/banner_list.asp";
    EXPECT_TRUE(service.Handle(request).chunked);
    request.target = "/k_app/banner_list.asp?kvchunked=0";
    EXPECT_FALSE(service.Handle(request).chunked);
    request.chunkedSwitch = "1";  // the header wins over the query
    EXPECT_TRUE(service.Handle(request).chunked);
}

// A slow service: templates padded or cut to a size and paced; list replies dripped.
TEST_F(LoadedCatalogue, SlowTemplatesAndDrippingLists) {
    ServiceOptions options;
    options.slowTemplateSize = 5000000;
    options.slowTemplateRate = 50000;
    options.dripListMs = 900;
    Service service(catalogue_, options);
    const struct {
        const char* target;
        size_t size;  // 0: not checked
        size_t rate;
        int intervalMs;
    } cases[] = {
        {"/k_app/files/t1.docx", 5000000, 50000, 0},
        {"/k_app/search_weekform.asp", 0, 0, 900},
        {"/k_app/search_freeform.asp?ext=doc&keyword=", 0, 0, 900},
        {"/k_app/banner_list.asp", 0, 0, 900},
        {"/k_app/login_status.asp", 0, 0, 900},
        {"/k_app/update/kestrovase_version.ini", 0, 0, 0},  // neither a list nor a template
        {"/k_app/files/missing.doc", 0, 0, 0},              // not found stays quick
    };
    for (const auto& c : cases) {
        ServiceRequest request;
        request.method = "GET";
        request.target = c.target;
        const ServiceReply reply = service.Handle(request);
        if (c.size) {
            ASSERT_EQ(reply.body.size(), c.size) << c.target;
            EXPECT_EQ(reply.body.compare(0, 8, "FILE-ONE"), 0) << "the file's own bytes come first";
        }
        EXPECT_EQ(reply.bytesPerSecond, c.rate) << c.target;
        EXPECT_EQ(reply.byteIntervalMs, c.intervalMs) << c.target;
    }
}
