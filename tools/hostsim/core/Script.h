// The step language of scripted host runs: one step per line, a command word and its
// arguments; text arguments run to the end of the line. See tools/hostsim/README.md.
#pragma once
#include <string>
#include <vector>

namespace hostsim {

enum class StepKind {
    Type,         // type <editBoxId> <text>
    Commit,       // commit <editBoxId>
    Click,        // click <ribbonControlId>
    PaneClick,    // pane-click <controlId>
    PaneType,     // pane-type <controlId> <text>
    Key,          // key <name>
    Open,         // open <path>
    NewWindow,    // new-window
    Activate,     // activate <windowNumber>
    WaitPane,     // wait-pane <controlId> [timeoutMs]
    WaitProp,     // wait-prop <property> <value> [timeoutMs]
    ExpectPane,   // expect-pane <controlId> <text>
    DialogClick,  // dialog-click <controlId> <dialog title>
    DialogType,   // dialog-type <controlId> <dialog title> <text>
    Sleep,        // sleep <ms>
    Screenshot,   // screenshot <name>
    Echo,         // echo <text>
    Quit,         // quit
};

struct ScriptStep {
    StepKind kind = StepKind::Echo;
    int line = 0;
    std::string id;     // control id, property or path
    std::string text;   // text argument, key name, expected value, dialog title
    std::string input;  // dialog-type: the text to put into the field
    int number = 0;     // control id as a number, window number, milliseconds
    int timeoutMs = 0;
};

struct ScriptParse {
    bool ok = false;
    std::string error;  // "line N: ..." for the first bad line
    std::vector<ScriptStep> steps;
};

constexpr int kDefaultWaitMs = 10000;
constexpr int kMaxWaitMs = 600000;
constexpr std::size_t kMaxScriptBytes = 1 << 20;

ScriptParse ParseScript(const std::string& utf8Text);

const char* StepName(StepKind kind);

// Virtual-key code for a key name ("RETURN", "TAB", "F5", "A", "7"); 0 when unknown.
int KeyCodeFromName(const std::string& name);

}  // namespace hostsim
