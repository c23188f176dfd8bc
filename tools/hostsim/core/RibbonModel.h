// The custom-UI ribbon definition an add-in returns from GetCustomUI, parsed into a tree of
// the controls this host can show. No Windows dependency: parsed and tested natively.
#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace hostsim {

enum class RibbonKind {
    CustomUI,
    Ribbon,
    Tabs,
    Tab,
    Group,
    Box,
    Label,
    EditBox,
    Button,
    DialogBoxLauncher,
    CheckBox,
    Separator,
    Other
};

struct RibbonNode {
    RibbonKind kind = RibbonKind::Other;
    std::string tag;                                         // element name without namespace prefix
    std::vector<std::pair<std::string, std::string>> attrs;  // in document order, UTF-8
    std::vector<RibbonNode> children;

    // Empty when absent.
    const std::string& Attr(const std::string& name) const;
    bool Has(const std::string& name) const;
    std::string Id() const { return Attr("id"); }
};

struct RibbonLimits {
    std::size_t maxBytes = 1 << 20;
    int maxDepth = 24;
    std::size_t maxNodes = 2000;
};

struct RibbonParse {
    bool ok = false;
    std::string error;                  // why the definition was refused
    std::vector<std::string> warnings;  // parts skipped but the rest shown
    RibbonNode root;
};

// The namespaces a host of this generation accepts for customUI.
extern const char* const kCustomUiNamespace2006;
extern const char* const kCustomUiNamespace2009;

RibbonParse ParseCustomUI(const std::string& utf8Xml, const RibbonLimits& limits = {});

// Depth-first search for the control with this id; nullptr when none.
const RibbonNode* FindRibbonNode(const RibbonNode& root, const std::string& id);

// Every control of the tree that carries an id, in document order.
void CollectRibbonControls(const RibbonNode& root, std::vector<const RibbonNode*>& out);

const char* RibbonKindName(RibbonKind kind);

}  // namespace hostsim
