// What a click on an entry of the result list does, decided from the entry's section, its
// slot and the login level; the pane carries the decision out (splash, shared clicked name,
// open or preview).
#pragma once
#include <cstdint>
#include <string>

#include "addin/features/search/TemplateItem.h"

namespace kv {

struct EntryClick {
    enum class Action { None, Open, Preview };
    int slot = -1;  // -1: not an entry id
    Action action = Action::None;
    bool splashAround = false;  // the splash is shown before the decision and closed after it
    bool storeClickedName = false;
};

EntryClick DecideEntryClick(int controlId, const ItemTable& items, int32_t loginLevel);

// The preview popup's address for an entry.
std::string PreviewImagePath(const TemplateItem& item);

}  // namespace kv
