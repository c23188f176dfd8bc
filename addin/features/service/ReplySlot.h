// The five reply slots of the task-pane control, one parser each.
#pragma once
#include <string>

namespace kv {

enum class ReplySlot { CertSearch = 0, WeekSearch = 1, FreeSearch = 2, TemplateFile = 3, UpdateFile = 4 };
constexpr int kReplySlotCount = 5;
const char* ReplySlotName(ReplySlot slot);
bool ParseReplySlot(const std::string& name, ReplySlot* slot);  // "cert", "week", "free", "template", "update"
// Slots that hold files (template, new library) rather than texts.
inline bool IsFileSlot(ReplySlot slot) {
    return slot == ReplySlot::TemplateFile || slot == ReplySlot::UpdateFile;
}

}  // namespace kv
