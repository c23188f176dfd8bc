// The sample catalogue of the substitute service: templates, members and the banner, read
// from <data>/catalogue.xml (UTF-8), and the XML lists rendered from it.
#pragma once

#include <string>
#include <vector>

namespace kvservice {

struct Template {
    int id = 0;             // unique; names the template page (LINK)
    std::string list;       // "free" or "member"
    std::string program;    // "doc", "xls" or "ppt": the ext= filter
    std::string file;       // FILE: the name the add-in saves it under (UTF-8)
    std::string source;     // file under <data>/files/ served at /k_app/files/<source>
    std::string title;      // FTITLE (UTF-8)
    std::string keywords;   // search words, blank or comma separated (UTF-8)
    std::string image;      // IMAGE: preview picture under <data>/preview/
    bool emitIndex = true;  // false: the index attribute is left out (index="omit")
    int index = 0;
    bool emitFlag = true;         // false: the flag attribute is left out (flag="omit")
    int flag = 0;                 // template class: 0 any member, 1 full member, 2 premium
    std::string enable = "auto";  // "auto", "omit" or a fixed integer
    int best = 0;                 // rank in the best list; 0 = not in it
    std::string pick;             // "", "daily" or "weekly"
};

struct Member {
    std::string id;
    std::string password;
    int level = 0;
};

struct Banner {
    std::string subject;
    std::string url;  // a leading "/" means: on this service
};

class Catalogue {
public:
    // Reads <dataDir>/catalogue.xml. On failure `error` says why.
    bool Load(const std::string& dataDir, std::string& error);

    const std::string& DataDir() const { return dataDir_; }
    const std::vector<Template>& Templates() const { return templates_; }
    const Banner& TheBanner() const { return banner_; }

    // Daily picks then weekly picks, in file order.
    std::vector<const Template*> Picks() const;

    // Entries of `list` ("free" or "member") for `program` (empty or unknown: every program)
    // that match `keyword` (UTF-8). A plain search needs every word of the keyword in the
    // title, keywords or file name; a search by document name (`byDocumentName`) matches
    // entries one of whose words occurs in the name, or whose title contains the name.
    // An empty keyword matches everything.
    std::vector<const Template*> Search(const std::string& list, const std::string& program, const std::string& keyword,
                                        bool byDocumentName) const;

    // The best list: up to three free entries, then the member entries, by rank.
    std::vector<const Template*> Best(const std::string& program) const;

    const Template* ById(int id) const;
    const Member* FindMember(const std::string& id) const;

private:
    std::string dataDir_;
    std::vector<Template> templates_;
    std::vector<Member> members_;
    Banner banner_;
};

// What a rendered list depends on besides the entries.
struct ListContext {
    std::string base;     // "http://host[:port]" of this service, for URL and LINK
    int loginLevel = -1;  // of the requesting member; negative = not logged in
};

// The `enable` value of an entry for this login level, or false when it is left out.
bool EnableValue(const Template& entry, int loginLevel, int& value);

// An XML list reply (UTF-8 text; the caller converts it to CP949).
std::string RenderList(const std::vector<const Template*>& entries, const ListContext& context);
std::string RenderBanner(const Banner& banner, const std::string& base);

}  // namespace kvservice
