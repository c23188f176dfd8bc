// Reads the service's XML list replies into the item table, as TinyXML-2 gives them: the root's
// first ITEM child and every following sibling element, whatever its name.
#pragma once
#include <functional>
#include <string>

#include <tinyxml2.h>

#include "addin/features/search/TemplateItem.h"

namespace kv {

enum class ListKind { Weekly, Free, Member };

struct ReadOptions {
    ListKind kind = ListKind::Weekly;
    int firstSlot = 0;
    int maxEntries = 0;
    int skipEntries = 0;        // entries passed over before the first slot is filled
    bool keywordEmpty = false;  // member list: every entry may open directly
};

// One parsed list reply.
class ListReply {
public:
    // False when body yields no root element (empty or not XML): the search must end.
    bool Parse(const std::string& body);
    // Fills up to maxEntries slots from firstSlot on, calling filled(slot) after each one.
    void Fill(const ReadOptions& options, ItemTable* table, const std::function<void(int slot)>& filled) const;

private:
    tinyxml2::XMLDocument doc_;
    const tinyxml2::XMLElement* root_ = nullptr;
};

// The banner reply: root, first ITEM, its SUBJECT and URL. False without a root element.
bool ReadBanner(const std::string& body, std::string* text, std::string* address);

}  // namespace kv
