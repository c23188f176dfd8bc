// Everything one reading of a page produced, as one comparable text (tests and the fuzzer).
#pragma once
#include <string>

#include "addin/features/webview/HtmlDocument.h"

namespace kv {

inline std::string HtmlSummary(const HtmlDocument& d) {
    std::string s = "text=" + d.BodyText() + "|trunc=" + std::to_string(d.truncated()) +
                    "|img=" + std::to_string(d.FirstImage()) + "|base=" + d.baseHref() + "\n";
    for (const auto& e : d.elements()) {
        s += e.tag + " p" + std::to_string(e.parent) + " f" + std::to_string(e.form) + " [" + e.value + "] {" + e.text +
             "}";
        for (const auto& a : e.attributes) s += " " + a.first + "=" + a.second;
        s += "\n";
    }
    return s;
}

}  // namespace kv
