#include "tools/kvservice/Catalogue.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "platform/Decimal.h"
#include "tools/kvservice/Text.h"

namespace kvservice {

namespace {

std::string Attr(const tinyxml2::XMLElement* e, const char* name, const char* fallback = "") {
    const char* v = e->Attribute(name);
    return v ? std::string(v) : std::string(fallback);
}

std::string ChildText(const tinyxml2::XMLElement* e, const char* name) {
    const tinyxml2::XMLElement* child = e->FirstChildElement(name);
    const char* text = child ? child->GetText() : nullptr;
    return text ? std::string(text) : std::string();
}

bool ParseInt(const std::string& text, int& value) {
    const std::optional<int64_t> v = kv::ParseDecimal(text, -1000000, 1000000);
    if (!v) return false;
    value = static_cast<int>(*v);
    return true;
}

std::string Haystack(const Template& t) {
    return AsciiLower(t.title + " " + t.keywords + " " + t.file);
}

bool MatchesWords(const Template& t, const std::vector<std::string>& words) {
    std::string hay = Haystack(t);
    for (const auto& w : words)
        if (hay.find(w) == std::string::npos) return false;
    return true;
}

bool MatchesDocumentName(const Template& t, const std::string& name) {
    for (const auto& w : SplitWords(AsciiLower(t.keywords + " " + t.title)))
        if (name.find(w) != std::string::npos) return true;
    return WithoutBlanks(Haystack(t)).find(name) != std::string::npos;
}

std::string Expand(const std::string& url, const std::string& base) {
    return (!url.empty() && url[0] == '/') ? base + url : url;
}

}  // namespace

bool Catalogue::Load(const std::string& dataDir, std::string& error) {
    dataDir_ = dataDir;
    templates_.clear();
    members_.clear();
    banner_ = Banner();
    std::string path = dataDir + "/catalogue.xml";
    tinyxml2::XMLDocument doc;
    if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) {
        error = path + ": " + (doc.ErrorStr() ? doc.ErrorStr() : "cannot read");
        return false;
    }
    const tinyxml2::XMLElement* root = doc.RootElement();
    if (!root) {
        error = path + ": no root element";
        return false;
    }
    if (const tinyxml2::XMLElement* b = root->FirstChildElement("banner")) {
        banner_.subject = Attr(b, "subject");
        banner_.url = Attr(b, "url");
    }
    for (auto* m = root->FirstChildElement("member"); m; m = m->NextSiblingElement("member")) {
        Member member;
        member.id = Attr(m, "id");
        member.password = Attr(m, "password");
        if (member.id.empty() || !ParseInt(Attr(m, "level", "0"), member.level)) {
            error = path + ": member needs an id and a numeric level";
            return false;
        }
        members_.push_back(member);
    }
    std::set<int> ids;
    for (auto* e = root->FirstChildElement("template"); e; e = e->NextSiblingElement("template")) {
        Template t;
        std::string where = path + ": template " + Attr(e, "id", "?");
        if (!ParseInt(Attr(e, "id"), t.id) || !ids.insert(t.id).second) {
            error = where + ": id missing, not a number or repeated";
            return false;
        }
        t.list = Attr(e, "list");
        t.program = Attr(e, "program");
        t.file = Attr(e, "file");
        t.source = Attr(e, "source");
        t.image = Attr(e, "image");
        t.title = ChildText(e, "title");
        t.keywords = ChildText(e, "keywords");
        t.pick = Attr(e, "pick");
        t.enable = Attr(e, "enable", "auto");
        if (t.list != "free" && t.list != "member") {
            error = where + ": list must be free or member";
            return false;
        }
        if (t.program != "doc" && t.program != "xls" && t.program != "ppt") {
            error = where + ": program must be doc, xls or ppt";
            return false;
        }
        if (t.file.empty() || !IsPlainName(t.source) || (!t.image.empty() && !IsPlainName(t.image))) {
            error = where + ": needs a file, a plain source name and a plain image name";
            return false;
        }
        if (t.pick != "" && t.pick != "daily" && t.pick != "weekly") {
            error = where + ": pick must be daily or weekly";
            return false;
        }
        int unused = 0;
        if (t.enable != "auto" && t.enable != "omit" && !ParseInt(t.enable, unused)) {
            error = where + ": enable must be auto, omit or a number";
            return false;
        }
        std::string index = Attr(e, "index");
        t.index = t.id;
        if (index == "omit")
            t.emitIndex = false;
        else if (!index.empty() && !ParseInt(index, t.index)) {
            error = where + ": index must be a number or omit";
            return false;
        }
        std::string flag = Attr(e, "flag", "0");
        if (flag == "omit")
            t.emitFlag = false;
        else if (!ParseInt(flag, t.flag)) {
            error = where + ": flag must be a number or omit";
            return false;
        }
        if (!ParseInt(Attr(e, "best", "0"), t.best)) {
            error = where + ": best must be a number";
            return false;
        }
        templates_.push_back(t);
    }
    return true;
}

std::vector<const Template*> Catalogue::Picks() const {
    std::vector<const Template*> out;
    for (const char* kind : {"daily", "weekly"})
        for (const auto& t : templates_)
            if (t.pick == kind) out.push_back(&t);
    return out;
}

std::vector<const Template*> Catalogue::Search(const std::string& list, const std::string& program,
                                               const std::string& keyword, bool byDocumentName) const {
    bool anyProgram = program != "doc" && program != "xls" && program != "ppt";
    std::vector<std::string> words = SplitWords(AsciiLower(keyword));
    std::string name = WithoutBlanks(AsciiLower(keyword));
    std::vector<const Template*> out;
    for (const auto& t : templates_) {
        if (t.list != list || (!anyProgram && t.program != program)) continue;
        bool match = byDocumentName ? (name.empty() || MatchesDocumentName(t, name)) : MatchesWords(t, words);
        if (match) out.push_back(&t);
    }
    return out;
}

std::vector<const Template*> Catalogue::Best(const std::string& program) const {
    bool anyProgram = program != "doc" && program != "xls" && program != "ppt";
    auto ranked = [&](const std::string& list) {
        std::vector<const Template*> v;
        for (const auto& t : templates_)
            if (t.best > 0 && t.list == list && (anyProgram || t.program == program)) v.push_back(&t);
        std::stable_sort(v.begin(), v.end(), [](const Template* a, const Template* b) { return a->best < b->best; });
        return v;
    };
    std::vector<const Template*> out = ranked("free");
    // The add-in reads the first three entries of the best list as the free results and the
    // rest as member results, so exactly three free ones lead.
    if (out.size() > 3) out.resize(3);
    for (const Template* t : ranked("member")) out.push_back(t);
    return out;
}

const Template* Catalogue::ById(int id) const {
    for (const auto& t : templates_)
        if (t.id == id) return &t;
    return nullptr;
}

const Member* Catalogue::FindMember(const std::string& id) const {
    for (const auto& m : members_)
        if (m.id == id) return &m;
    return nullptr;
}

bool EnableValue(const Template& entry, int loginLevel, int& value) {
    if (entry.enable == "omit") return false;
    if (entry.enable != "auto") {
        value = kv::ReadDecimal(entry.enable);
        return true;
    }
    if (entry.list == "free") {
        value = 1;
    } else {
        int required = entry.emitFlag ? entry.flag : 0;
        value = (loginLevel >= 0 && loginLevel >= required) ? 1 : 0;
    }
    return true;
}

std::string RenderList(const std::vector<const Template*>& entries, const ListContext& context) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n<LIST count=\"" + std::to_string(entries.size()) + "\">\n";
    for (const Template* t : entries) {
        xml += "<ITEM";
        if (t->emitIndex) xml += " index=\"" + std::to_string(t->index) + "\"";
        int enable = 0;
        if (EnableValue(*t, context.loginLevel, enable)) xml += " enable=\"" + std::to_string(enable) + "\"";
        if (t->emitFlag) xml += " flag=\"" + std::to_string(t->flag) + "\"";
        xml += ">";
        xml += "<FILE>" + XmlEscape(t->file) + "</FILE>";
        xml += "<FTITLE>" + XmlEscape(t->title) + "</FTITLE>";
        xml += "<URL>" + XmlEscape(context.base + "/k_app/files/" + t->source) + "</URL>";
        xml += "<IMAGE>" + XmlEscape(t->image) + "</IMAGE>";
        xml += "<LINK>" + XmlEscape(context.base + "/k_app/template_view.asp?idx=" + std::to_string(t->id)) + "</LINK>";
        xml += "</ITEM>\n";
    }
    xml += "</LIST>\n";
    return xml;
}

std::string RenderBanner(const Banner& banner, const std::string& base) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n<BANNER>\n";
    if (!banner.subject.empty()) {
        xml += "<ITEM><SUBJECT>" + XmlEscape(banner.subject) + "</SUBJECT><URL>" + XmlEscape(Expand(banner.url, base)) +
               "</URL></ITEM>\n";
    }
    xml += "</BANNER>\n";
    return xml;
}

}  // namespace kvservice
