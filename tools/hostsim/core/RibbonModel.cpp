#include "tools/hostsim/core/RibbonModel.h"

#include <tinyxml2.h>

#include <cstring>
#include <set>

namespace hostsim {

const char* const kCustomUiNamespace2006 = "http://schemas.microsoft.com/office/2006/01/customui";
const char* const kCustomUiNamespace2009 = "http://schemas.microsoft.com/office/2009/07/customui";

namespace {

const std::string kEmpty;

std::string LocalName(const char* name) {
    const char* colon = std::strrchr(name, ':');
    return colon ? std::string(colon + 1) : std::string(name);
}

std::string PrefixOf(const char* name) {
    const char* colon = std::strrchr(name, ':');
    return colon ? std::string(name, colon - name) : std::string();
}

RibbonKind KindOf(const std::string& tag) {
    static const struct {
        const char* tag;
        RibbonKind kind;
    } table[] = {
        {"customUI", RibbonKind::CustomUI},  {"ribbon", RibbonKind::Ribbon},
        {"tabs", RibbonKind::Tabs},          {"tab", RibbonKind::Tab},
        {"group", RibbonKind::Group},        {"box", RibbonKind::Box},
        {"labelControl", RibbonKind::Label}, {"editBox", RibbonKind::EditBox},
        {"button", RibbonKind::Button},      {"dialogBoxLauncher", RibbonKind::DialogBoxLauncher},
        {"checkBox", RibbonKind::CheckBox},  {"separator", RibbonKind::Separator},
    };
    for (const auto& row : table)
        if (tag == row.tag) return row.kind;
    return RibbonKind::Other;
}

// Which children each container may hold; anything else is skipped with a warning, the way a
// host ignores what it cannot show rather than refusing the whole tab.
bool Allowed(RibbonKind parent, RibbonKind child) {
    switch (parent) {
        case RibbonKind::CustomUI: return child == RibbonKind::Ribbon;
        case RibbonKind::Ribbon: return child == RibbonKind::Tabs;
        case RibbonKind::Tabs: return child == RibbonKind::Tab;
        case RibbonKind::Tab: return child == RibbonKind::Group;
        case RibbonKind::Group:
        case RibbonKind::Box:
            return child == RibbonKind::Box || child == RibbonKind::Label || child == RibbonKind::EditBox ||
                   child == RibbonKind::Button || child == RibbonKind::CheckBox || child == RibbonKind::Separator ||
                   (parent == RibbonKind::Group && child == RibbonKind::DialogBoxLauncher);
        case RibbonKind::DialogBoxLauncher: return child == RibbonKind::Button;
        default: return false;
    }
}

bool NeedsId(RibbonKind kind) {
    return kind == RibbonKind::Tab || kind == RibbonKind::Group || kind == RibbonKind::Label ||
           kind == RibbonKind::EditBox || kind == RibbonKind::Button || kind == RibbonKind::CheckBox;
}

struct Builder {
    const RibbonLimits& limits;
    RibbonParse& out;
    std::set<std::string> ids;
    std::size_t nodes = 0;

    bool Build(const tinyxml2::XMLElement* element, RibbonNode& node, int depth) {
        if (depth > limits.maxDepth) {
            out.error = "nesting deeper than " + std::to_string(limits.maxDepth);
            return false;
        }
        if (++nodes > limits.maxNodes) {
            out.error = "more than " + std::to_string(limits.maxNodes) + " elements";
            return false;
        }
        node.tag = LocalName(element->Name());
        node.kind = KindOf(node.tag);
        for (const tinyxml2::XMLAttribute* a = element->FirstAttribute(); a; a = a->Next())
            node.attrs.emplace_back(a->Name(), a->Value() ? a->Value() : "");
        const std::string& id = node.Attr("id");
        if (!id.empty()) {
            if (!ids.insert(id).second) {
                out.error = "duplicate control id \"" + id + "\"";
                return false;
            }
        } else if (NeedsId(node.kind)) {
            out.error = "<" + node.tag + "> without id";
            return false;
        }
        for (const tinyxml2::XMLElement* c = element->FirstChildElement(); c; c = c->NextSiblingElement()) {
            RibbonNode child;
            child.tag = LocalName(c->Name());
            child.kind = KindOf(child.tag);
            if (!Allowed(node.kind, child.kind)) {
                out.warnings.push_back("<" + child.tag + "> inside <" + node.tag + "> is not shown");
                continue;
            }
            if (!Build(c, child, depth + 1)) return false;
            node.children.push_back(std::move(child));
        }
        return true;
    }
};

}  // namespace

const std::string& RibbonNode::Attr(const std::string& name) const {
    for (const auto& a : attrs)
        if (a.first == name) return a.second;
    return kEmpty;
}

bool RibbonNode::Has(const std::string& name) const {
    for (const auto& a : attrs)
        if (a.first == name) return true;
    return false;
}

RibbonParse ParseCustomUI(const std::string& utf8Xml, const RibbonLimits& limits) {
    RibbonParse out;
    if (utf8Xml.empty()) {
        out.error = "empty ribbon definition";
        return out;
    }
    if (utf8Xml.size() > limits.maxBytes) {
        out.error = "ribbon definition larger than " + std::to_string(limits.maxBytes) + " bytes";
        return out;
    }
    // TinyXML recurses per nesting level; refuse absurd nesting before it sees the text.
    int depth = 0, deepest = 0;
    for (std::size_t i = 0; i + 1 < utf8Xml.size(); ++i) {
        if (utf8Xml[i] != '<') continue;
        char next = utf8Xml[i + 1];
        if (next == '/')
            --depth;
        else if (next != '?' && next != '!') {
            ++depth;
            std::size_t close = utf8Xml.find('>', i);
            if (close != std::string::npos && close > 0 && utf8Xml[close - 1] == '/') --depth;
        }
        if (depth > deepest) deepest = depth;
    }
    if (deepest > limits.maxDepth + 1) {
        out.error = "nesting deeper than " + std::to_string(limits.maxDepth);
        return out;
    }
    tinyxml2::XMLDocument doc;
    if (doc.Parse(utf8Xml.data(), utf8Xml.size()) != tinyxml2::XML_SUCCESS) {
        out.error = std::string("XML error: ") + (doc.ErrorStr() ? doc.ErrorStr() : "unknown");
        return out;
    }
    const tinyxml2::XMLElement* root = doc.RootElement();
    if (!root || LocalName(root->Name()) != "customUI") {
        out.error = "root element is not customUI";
        return out;
    }
    std::string prefix = PrefixOf(root->Name());
    std::string nsAttr = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    const char* ns = root->Attribute(nsAttr.c_str());
    if (!ns || (std::strcmp(ns, kCustomUiNamespace2006) != 0 && std::strcmp(ns, kCustomUiNamespace2009) != 0)) {
        out.error = std::string("customUI namespace not accepted: ") + (ns ? ns : "(none)");
        return out;
    }
    Builder builder{limits, out, {}, 0};
    if (!builder.Build(root, out.root, 1)) {
        out.root = RibbonNode();
        return out;
    }
    out.ok = true;
    return out;
}

const RibbonNode* FindRibbonNode(const RibbonNode& root, const std::string& id) {
    if (!id.empty() && root.Id() == id) return &root;
    for (const auto& c : root.children)
        if (const RibbonNode* found = FindRibbonNode(c, id)) return found;
    return nullptr;
}

void CollectRibbonControls(const RibbonNode& root, std::vector<const RibbonNode*>& out) {
    if (!root.Id().empty()) out.push_back(&root);
    for (const auto& c : root.children) CollectRibbonControls(c, out);
}

const char* RibbonKindName(RibbonKind kind) {
    switch (kind) {
        case RibbonKind::CustomUI: return "customUI";
        case RibbonKind::Ribbon: return "ribbon";
        case RibbonKind::Tabs: return "tabs";
        case RibbonKind::Tab: return "tab";
        case RibbonKind::Group: return "group";
        case RibbonKind::Box: return "box";
        case RibbonKind::Label: return "labelControl";
        case RibbonKind::EditBox: return "editBox";
        case RibbonKind::Button: return "button";
        case RibbonKind::DialogBoxLauncher: return "dialogBoxLauncher";
        case RibbonKind::CheckBox: return "checkBox";
        case RibbonKind::Separator: return "separator";
        case RibbonKind::Other: break;
    }
    return "other";
}

}  // namespace hostsim
