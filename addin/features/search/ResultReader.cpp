#include "addin/features/search/ResultReader.h"

#include <tinyxml2.h>

namespace kv {
namespace {

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

// The root element, or null for an empty body or one that is not a well-formed document.
const XMLElement* Root(XMLDocument& doc, const std::string& body) {
    if (body.empty()) return nullptr;
    if (doc.Parse(body.data(), body.size()) != tinyxml2::XML_SUCCESS) return nullptr;
    return doc.RootElement();
}

// The text of a child element; empty when the child or its text is missing.
std::string ChildText(const XMLElement* entry, const char* name) {
    const XMLElement* child = entry->FirstChildElement(name);
    if (!child) return std::string();
    const char* text = child->GetText();
    return text ? std::string(text) : std::string();
}

}  // namespace

void SetFileTypeImages(TemplateItem* item) {
    item->image1 = kImageWord1;
    item->image2 = kImageWord2;
    size_t dot = item->fileName.rfind('.');
    if (dot == std::string::npos) return;
    const std::string ext = item->fileName.substr(dot + 1);
    if (ext == "xls") {
        item->image1 = kImageExcel1;
        item->image2 = kImageExcel2;
    } else if (ext == "ppt" || ext == "pot") {
        item->image1 = kImagePowerPoint1;
        item->image2 = kImagePowerPoint2;
    }
}

bool ListReply::Parse(const std::string& body) {
    root_ = Root(doc_, body);
    return root_ != nullptr;
}

void ListReply::Fill(const ReadOptions& options, ItemTable* table, const std::function<void(int slot)>& filled) const {
    if (!root_) return;
    const XMLElement* entry = root_->FirstChildElement("ITEM");
    for (int skipped = 0; entry && skipped < options.skipEntries; ++skipped) entry = entry->NextSiblingElement();

    const bool member = options.kind == ListKind::Member;
    const bool readsPreview = options.kind != ListKind::Free;
    int index = 0;  // a missing attribute keeps the previous entry's value
    for (int n = 0; entry && n < options.maxEntries; ++n, entry = entry->NextSiblingElement()) {
        const int slot = options.firstSlot + n;
        if (slot < 0 || slot >= kItemCount) break;
        TemplateItem& item = (*table)[slot];
        item.Clear();
        entry->QueryIntAttribute("index", &index);
        item.index = index;
        item.visible = 1;
        item.enabled = 1;
        item.flag = 0;
        if (member) {
            int enable = -1;
            int flag = 0;
            entry->QueryIntAttribute("enable", &enable);
            entry->QueryIntAttribute("flag", &flag);
            item.flag = flag;
            item.enabled = options.keywordEmpty ? 1 : enable;
        }
        item.fileName = ChildText(entry, "FILE");
        SetFileTypeImages(&item);
        item.title = ChildText(entry, "FTITLE");
        item.url = ChildText(entry, "URL");
        if (readsPreview) {
            item.image = ChildText(entry, "IMAGE");
            item.link = ChildText(entry, "LINK");
        }
        if (filled) filled(slot);
    }
}

bool ReadBanner(const std::string& body, std::string* text, std::string* address) {
    XMLDocument doc;
    const XMLElement* root = Root(doc, body);
    if (!root) return false;
    text->clear();
    address->clear();
    if (const XMLElement* entry = root->FirstChildElement("ITEM")) {
        *text = ChildText(entry, "SUBJECT");
        *address = ChildText(entry, "URL");
    }
    return true;
}

}  // namespace kv
