#include "tools/kvservice/Service.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/Decimal.h"
#include "tools/kvservice/Text.h"

namespace kvservice {

namespace {

constexpr size_t kMaxServedFile = 64 * 1024 * 1024;

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0 || static_cast<size_t>(size) > kMaxServedFile) return false;
    in.seekg(0);
    out.assign(static_cast<size_t>(size), '\0');
    in.read(&out[0], size);
    return static_cast<bool>(in) || size == 0;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string TypeOf(const std::string& name) {
    static const std::pair<const char*, const char*> types[] = {
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".gif", "image/gif"},
        {".docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {".pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {".xls", "application/vnd.ms-excel"},
        {".rtf", "application/rtf"},
        {".csv", "text/csv"},
    };
    std::string lower = AsciiLower(name);
    for (const auto& t : types)
        if (EndsWith(lower, t.first)) return t.second;
    return "application/octet-stream";
}

ServiceReply NotFound() {
    ServiceReply r;
    r.status = 404;
    r.body = "not found";
    return r;
}

std::string CookieValue(const std::string& header, const std::string& name) {
    size_t pos = 0;
    while (pos < header.size()) {
        size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        std::string part = header.substr(pos, end - pos);
        size_t b = part.find_first_not_of(' ');
        if (b != std::string::npos) {
            part = part.substr(b);
            if (part.compare(0, name.size() + 1, name + "=") == 0) return part.substr(name.size() + 1);
        }
        pos = end + 1;
    }
    return std::string();
}

}  // namespace

Service::Service(const Catalogue& catalogue, ServiceOptions options)
    : catalogue_(catalogue), options_(std::move(options)) {}

std::string Service::BaseFor(const ServiceRequest& request) const {
    if (!options_.base.empty()) return options_.base;
    std::string host = request.host.empty() ? std::string("127.0.0.1") : request.host;
    // The add-in sends the host without a port; browsers add it.
    if (host.find(':') == std::string::npos && options_.port != 80) host += ":" + std::to_string(options_.port);
    return "http://" + host;
}

int Service::LoginLevel(const std::string& cookieHeader) const {
    std::string id = CookieValue(cookieHeader, kLoginCookie);
    if (id.empty()) return -1;
    const Member* member = catalogue_.FindMember(id);
    return member ? member->level : -1;
}

ServiceReply Service::Page(const std::string& title, const std::string& bodyHtml) const {
    ServiceReply r;
    r.contentType = "text/html; charset=euc-kr";
    r.body = Utf8ToCp949("<!DOCTYPE html>\n<html><head><meta charset=\"euc-kr\"><title>" + XmlEscape(title) +
                         "</title></head>\n<body>\n" + bodyHtml + "\n</body></html>\n");
    return r;
}

ServiceReply Service::FileFrom(const std::string& folder, const std::string& name) const {
    if (!IsPlainName(name)) return NotFound();
    ServiceReply r;
    if (!ReadFile(catalogue_.DataDir() + "/" + folder + "/" + name, r.body)) return NotFound();
    r.contentType = TypeOf(name);
    return r;
}

ServiceReply Service::SearchList(const std::string& path, const std::string& query,
                                 const ServiceRequest& request) const {
    QueryPairs pairs = SplitQuery(query);
    std::string ext = QueryValue(pairs, "ext");
    std::string keyword = Cp949ToUtf8(PlusToSpace(QueryValue(pairs, "keyword")));
    bool byName = QueryValue(pairs, "logtype") == "cfilename";

    std::vector<const Template*> entries;
    if (path == "/k_app/search_weekform.asp")
        entries = catalogue_.Picks();
    else if (path == "/k_app/search_bestform.asp")
        entries = catalogue_.Best(ext);
    else if (path == "/k_app/search_freeform.asp")
        entries = catalogue_.Search("free", ext, keyword, byName);
    else
        entries = catalogue_.Search("member", ext, keyword, byName);

    ListContext context;
    context.base = BaseFor(request);
    context.loginLevel = LoginLevel(request.cookie);
    ServiceReply r;
    r.contentType = "text/xml; charset=euc-kr";
    r.body = Utf8ToCp949(RenderList(entries, context));
    return r;
}

ServiceReply Service::Login(const std::string& query, const ServiceRequest& request) const {
    QueryPairs pairs = SplitQuery(request.method == "POST" ? request.body : query);
    if (!HasQueryKey(pairs, "id")) {
        return Page("케스트로바 회원 로그인",
                    "<form id=\"login_form\" method=\"get\" action=\"/k_app/login.asp\">\n"
                    "<p>아이디 <input type=\"text\" id=\"id\" name=\"id\"></p>\n"
                    "<p>비밀번호 <input type=\"password\" id=\"pwd\" name=\"pwd\"></p>\n"
                    "<input type=\"hidden\" id=\"PID\" name=\"PID\" value=\"\">\n"
                    "<input type=\"hidden\" id=\"bms_code\" name=\"bms_code\" value=\"\">\n"
                    "<input type=\"submit\" id=\"login_submit\" value=\"로그인\">\n"
                    "</form>");
    }
    std::string id = FormDecode(QueryValue(pairs, "id"));
    std::string pwd = FormDecode(QueryValue(pairs, "pwd"));
    const Member* member = catalogue_.FindMember(id);
    ServiceReply r;
    r.contentType = "text/html; charset=euc-kr";
    if (!member || member->password != pwd) {
        r.body = "fail";
        return r;
    }
    // The add-in judges the answer page by its body text, which must be exactly "ok".
    r.body = "ok";
    r.headers.emplace_back("Set-Cookie", std::string(kLoginCookie) + "=" + member->id + "; Path=/");
    return r;
}

ServiceReply Service::Handle(const ServiceRequest& request) const {
    size_t q = request.target.find('?');
    std::string path = request.target.substr(0, q);
    std::string query = q == std::string::npos ? std::string() : request.target.substr(q + 1);
    QueryPairs pairs = SplitQuery(query);

    ServiceReply r;
    if (request.method == "POST" && path != "/k_app/login.asp") {
        r.status = 405;
        r.body = "method not allowed";
    } else if (path == "/k_app/search_weekform.asp" || path == "/k_app/search_certform.asp" ||
               path == "/k_app/search_freeform.asp" || path == "/k_app/search_bestform.asp") {
        r = SearchList(path, query, request);
    } else if (path == "/k_app/banner_list.asp") {
        r.contentType = "text/xml; charset=euc-kr";
        r.body = Utf8ToCp949(RenderBanner(catalogue_.TheBanner(), BaseFor(request)));
    } else if (path == "/k_app/login_status.asp") {
        int level = LoginLevel(request.cookie);
        if (level >= 0) r.body = std::to_string(level);  // not logged in: empty body
    } else if (path == "/k_app/login.asp") {
        r = Login(query, request);
    } else if (path == "/k_app/logout.asp") {
        r = Page("로그아웃", "<p>로그아웃 되었습니다</p>");
        r.headers.emplace_back(
            "Set-Cookie", std::string(kLoginCookie) + "=; Path=/; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT");
    } else if (path == "/k_app/preview_image.asp") {
        std::string image = QueryValue(pairs, "image");
        std::string unused;
        if (!IsPlainName(image) || !ReadFile(catalogue_.DataDir() + "/preview/" + image, unused)) return NotFound();
        r = Page("미리보기", "<img id=\"preview\" src=\"" + XmlEscape(BaseFor(request) + "/k_app/preview/" + image) +
                                 "\" alt=\"미리보기\">");
    } else if (path.compare(0, 15, "/k_app/preview/") == 0) {
        r = FileFrom("preview", path.substr(15));
    } else if (path.compare(0, 13, "/k_app/files/") == 0) {
        r = FileFrom("files", path.substr(13));
        if (r.status == 200 && options_.slowTemplateRate > 0) {
            r.body.resize(options_.slowTemplateSize, '\0');
            r.bytesPerSecond = options_.slowTemplateRate;
        }
    } else if (path == "/k_app/template_view.asp") {
        const Template* t = catalogue_.ById(kv::ReadDecimal(QueryValue(pairs, "idx")));
        if (!t) return NotFound();
        r = Page(t->title, "<h1>" + XmlEscape(t->title) + "</h1>\n<p>" + XmlEscape(t->file) + "</p>\n<img src=\"" +
                               XmlEscape(BaseFor(request) + "/k_app/preview/" + t->image) + "\" alt=\"\">");
    } else if (path == "/k_app/update/kestrovase_version.ini") {
        r.body = options_.version;  // no line end: it would count as part of the version
    } else if (path == "/k_app/update/file_x64/KestrovaSE_new.dll") {
        std::string file =
            options_.newLibrary.empty() ? catalogue_.DataDir() + "/update/KestrovaSE_new.dll" : options_.newLibrary;
        if (!ReadFile(file, r.body)) return NotFound();
        r.contentType = "application/octet-stream";
    } else if (path == "/k_app/DataLog.asp") {
        r.body = "ok";
    } else if (path == "/k_app/PageProcessing.asp") {
        r = Page("케스트로바", "<p>케스트로바 서식 안내 (uflag " + XmlEscape(QueryValue(pairs, "uflag")) + ")</p>");
    } else if (path == "/member/register_change_mypage_pay.asp") {
        r = Page("회원 등급 변경", "<p>정회원 및 기업/프리미엄 회원 안내</p>");
    } else if (path == "/weekupdate/pindex.asp") {
        r = Page("주간 업데이트", "<p>이번 주 새 서식 안내</p>");
    } else if (path == "/") {
        r = Page("케스트로바", "<p>케스트로바 서식 서비스</p>");
    } else {
        return NotFound();
    }

    const bool list = path == "/k_app/search_weekform.asp" || path == "/k_app/search_certform.asp" ||
                      path == "/k_app/search_freeform.asp" || path == "/k_app/search_bestform.asp" ||
                      path == "/k_app/banner_list.asp" || path == "/k_app/login_status.asp";
    if (list) r.byteIntervalMs = options_.dripListMs;

    r.chunked = options_.chunked;
    std::string sw = request.chunkedSwitch.empty() ? QueryValue(pairs, "kvchunked") : request.chunkedSwitch;
    if (sw == "1") r.chunked = true;
    if (sw == "0") r.chunked = false;
    return r;
}

}  // namespace kvservice
