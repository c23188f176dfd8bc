#include "addin/features/service/ReplySlot.h"

namespace kv {

namespace {

struct SlotInfo {
    ReplySlot slot;
    const char* name;
};
constexpr SlotInfo kSlots[kReplySlotCount] = {
    {ReplySlot::CertSearch, "cert"},       {ReplySlot::WeekSearch, "week"},   {ReplySlot::FreeSearch, "free"},
    {ReplySlot::TemplateFile, "template"}, {ReplySlot::UpdateFile, "update"},
};

}  // namespace

const char* ReplySlotName(ReplySlot slot) {
    for (const SlotInfo& info : kSlots)
        if (info.slot == slot) return info.name;
    return "?";
}

bool ParseReplySlot(const std::string& name, ReplySlot* slot) {
    for (const SlotInfo& info : kSlots) {
        if (name == info.name) {
            *slot = info.slot;
            return true;
        }
    }
    return false;
}

}  // namespace kv
