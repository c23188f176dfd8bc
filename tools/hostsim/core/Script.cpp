#include "tools/hostsim/core/Script.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "platform/Decimal.h"

namespace hostsim {
namespace {

struct Command {
    const char* word;
    StepKind kind;
};
const Command kCommands[] = {
    {"type", StepKind::Type},
    {"commit", StepKind::Commit},
    {"click", StepKind::Click},
    {"pane-click", StepKind::PaneClick},
    {"pane-type", StepKind::PaneType},
    {"key", StepKind::Key},
    {"open", StepKind::Open},
    {"new-window", StepKind::NewWindow},
    {"activate", StepKind::Activate},
    {"wait-pane", StepKind::WaitPane},
    {"wait-prop", StepKind::WaitProp},
    {"expect-pane", StepKind::ExpectPane},
    {"dialog-click", StepKind::DialogClick},
    {"dialog-type", StepKind::DialogType},
    {"sleep", StepKind::Sleep},
    {"screenshot", StepKind::Screenshot},
    {"echo", StepKind::Echo},
    {"quit", StepKind::Quit},
};

// Splits off the next blank-separated word; `rest` keeps what follows minus one separator run.
std::string NextWord(std::string& rest) {
    std::size_t i = 0;
    while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
    std::size_t j = i;
    while (j < rest.size() && rest[j] != ' ' && rest[j] != '\t') ++j;
    std::string word = rest.substr(i, j - i);
    while (j < rest.size() && (rest[j] == ' ' || rest[j] == '\t')) ++j;
    rest.erase(0, j);
    return word;
}

// A dialog title as one word, or in double quotes when it has blanks or is empty ("" is a
// dialog without a caption). False for an opening quote that is never closed.
bool NextTitle(std::string& rest, std::string& title) {
    if (rest.empty() || rest[0] != '"') {
        title = NextWord(rest);
        return true;
    }
    const std::size_t close = rest.find('"', 1);
    if (close == std::string::npos) return false;
    title = rest.substr(1, close - 1);
    rest.erase(0, close + 1);
    std::size_t i = 0;
    while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
    rest.erase(0, i);
    return true;
}

bool ParseNumber(const std::string& s, long min, long max, int& out) {
    const std::optional<int64_t> v = kv::ParseDecimal(s, min, max);
    if (!v) return false;
    out = static_cast<int>(*v);
    return true;
}

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
    return s;
}

}  // namespace

ScriptParse ParseScript(const std::string& text) {
    ScriptParse out;
    if (text.size() > kMaxScriptBytes) {
        out.error = "script larger than " + std::to_string(kMaxScriptBytes) + " bytes";
        return out;
    }
    std::size_t pos = 0;
    int lineNo = 0;
    // A UTF-8 byte-order mark is allowed at the start.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    while (pos <= text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = TrimRight(text.substr(pos, eol - pos));
        pos = eol + 1;
        ++lineNo;
        std::string rest = line;
        std::string word = NextWord(rest);
        if (word.empty() || word[0] == '#') {
            if (eol == text.size()) break;
            continue;
        }
        auto fail = [&](const std::string& why) {
            out.error = "line " + std::to_string(lineNo) + ": " + why;
            out.steps.clear();
            return out;
        };
        const Command* cmd = nullptr;
        for (const auto& c : kCommands)
            if (word == c.word) cmd = &c;
        if (!cmd) return fail("unknown step \"" + word + "\"");
        ScriptStep step;
        step.kind = cmd->kind;
        step.line = lineNo;
        switch (step.kind) {
            case StepKind::Type:
                step.id = NextWord(rest);
                step.text = rest;
                if (step.id.empty()) return fail("type needs an edit box id");
                break;
            case StepKind::Commit:
            case StepKind::Click:
                step.id = NextWord(rest);
                if (step.id.empty()) return fail(word + " needs a control id");
                if (!rest.empty()) return fail("unexpected text after the control id");
                break;
            case StepKind::DialogClick: {
                std::string idText = NextWord(rest);
                if (!ParseNumber(idText, 0, 65535, step.number))
                    return fail("dialog-click needs a numeric control id (0-65535)");
                step.id = idText;
                step.text = rest;
                step.timeoutMs = kDefaultWaitMs;
                if (step.text.empty()) return fail("dialog-click needs the dialog's title");
                // The whole title in quotes: "" is a dialog without a caption.
                if (step.text.size() >= 2 && step.text.front() == '"' && step.text.back() == '"')
                    step.text = step.text.substr(1, step.text.size() - 2);
                break;
            }
            case StepKind::DialogType: {
                std::string idText = NextWord(rest);
                if (!ParseNumber(idText, 0, 65535, step.number))
                    return fail("dialog-type needs a numeric control id (0-65535)");
                step.id = idText;
                if (rest.empty()) return fail("dialog-type needs the dialog's title and a text");
                if (!NextTitle(rest, step.text)) return fail("dialog-type: the title's closing quote is missing");
                step.input = rest;
                step.timeoutMs = kDefaultWaitMs;
                break;
            }
            case StepKind::PaneClick:
            case StepKind::PaneType:
            case StepKind::ExpectPane:
            case StepKind::WaitPane: {
                std::string idText = NextWord(rest);
                if (!ParseNumber(idText, 0, 65535, step.number))
                    return fail(word + " needs a numeric control id (0-65535)");
                step.id = idText;
                if (step.kind == StepKind::PaneType || step.kind == StepKind::ExpectPane) {
                    step.text = rest;
                } else if (step.kind == StepKind::WaitPane) {
                    step.timeoutMs = kDefaultWaitMs;
                    std::string t = NextWord(rest);
                    if (!t.empty() && !ParseNumber(t, 1, kMaxWaitMs, step.timeoutMs))
                        return fail("bad timeout \"" + t + "\"");
                    if (!rest.empty()) return fail("unexpected text after the timeout");
                } else if (!rest.empty()) {
                    return fail("unexpected text after the control id");
                }
                break;
            }
            case StepKind::WaitProp: {
                step.id = NextWord(rest);
                step.text = NextWord(rest);
                if (step.id.empty() || step.text.empty()) return fail("wait-prop needs a property and a value");
                step.timeoutMs = kDefaultWaitMs;
                std::string t = NextWord(rest);
                if (!t.empty() && !ParseNumber(t, 1, kMaxWaitMs, step.timeoutMs))
                    return fail("bad timeout \"" + t + "\"");
                if (!rest.empty()) return fail("unexpected text after the timeout");
                break;
            }
            case StepKind::Key:
                step.text = NextWord(rest);
                if (KeyCodeFromName(step.text) == 0) return fail("unknown key \"" + step.text + "\"");
                if (!rest.empty()) return fail("one key per step");
                break;
            case StepKind::Open:
            case StepKind::Screenshot:
                step.id = rest;
                if (step.id.empty()) return fail(word + " needs a path");
                break;
            case StepKind::Activate:
                if (!ParseNumber(NextWord(rest), 1, 1000, step.number))
                    return fail("activate needs a window number from 1");
                break;
            case StepKind::Sleep:
                if (!ParseNumber(NextWord(rest), 0, kMaxWaitMs, step.number))
                    return fail("sleep needs milliseconds (0-600000)");
                break;
            case StepKind::Echo: step.text = rest; break;
            case StepKind::NewWindow:
            case StepKind::Quit:
                if (!rest.empty()) return fail(word + " takes no arguments");
                break;
        }
        out.steps.push_back(std::move(step));
        if (eol == text.size()) break;
    }
    out.ok = true;
    return out;
}

const char* StepName(StepKind kind) {
    for (const auto& c : kCommands)
        if (c.kind == kind) return c.word;
    return "?";
}

int KeyCodeFromName(const std::string& rawName) {
    std::string name;
    for (char ch : rawName) name += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    static const struct {
        const char* name;
        int vk;
    } named[] = {
        {"RETURN", 0x0D}, {"ENTER", 0x0D},     {"TAB", 0x09},    {"ESCAPE", 0x1B}, {"ESC", 0x1B},  {"SPACE", 0x20},
        {"BACK", 0x08},   {"BACKSPACE", 0x08}, {"DELETE", 0x2E}, {"LEFT", 0x25},   {"UP", 0x26},   {"RIGHT", 0x27},
        {"DOWN", 0x28},   {"HOME", 0x24},      {"END", 0x23},    {"PRIOR", 0x21},  {"NEXT", 0x22},
    };
    for (const auto& k : named)
        if (name == k.name) return k.vk;
    if (name.size() == 1 &&
        (std::isupper(static_cast<unsigned char>(name[0])) || std::isdigit(static_cast<unsigned char>(name[0]))))
        return name[0];
    if (name.size() >= 2 && name[0] == 'F') {
        int n = 0;
        if (ParseNumber(name.substr(1), 1, 24, n)) return 0x70 + n - 1;
    }
    return 0;
}

}  // namespace hostsim
