#include "addin/widgets/pane/EntryClick.h"

#include "addin/widgets/pane/ListLayout.h"

namespace kv {

EntryClick DecideEntryClick(int controlId, const ItemTable& items, int32_t loginLevel) {
    EntryClick click;
    click.slot = SlotOfControl(controlId);
    if (click.slot < 0) return click;
    const TemplateItem& item = items[click.slot];
    const bool mayOpen = item.enabled == 1 && loginLevel >= 0;
    if (click.slot < kWeeklyFirst) {
        click.action = EntryClick::Action::Open;
    } else if (click.slot < kFreeFirst) {
        click.action = mayOpen ? EntryClick::Action::Open : EntryClick::Action::Preview;
    } else if (click.slot < kMemberFirst) {
        // A free entry opens only when it is the k-th entry of its reply.
        const int k = click.slot - kFreeFirst + 1;
        click.splashAround = true;
        click.storeClickedName = true;
        click.action = item.index == k ? EntryClick::Action::Open : EntryClick::Action::None;
    } else {
        click.storeClickedName = true;
        click.action = mayOpen ? EntryClick::Action::Open : EntryClick::Action::Preview;
    }
    return click;
}

std::string PreviewImagePath(const TemplateItem& item) {
    return "/k_app/preview_image.asp?image=" + item.image;
}

}  // namespace kv
