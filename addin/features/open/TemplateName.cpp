#include "addin/features/open/TemplateName.h"

#include <cctype>

namespace kv {
namespace {

// The record of downloads lives in the templates folder under this name (addin/update).
constexpr char kRecordName[] = "kestrova_downloads.txt";

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && !b[i];
}

// CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9: the part before the first dot, blanks at its end
// ignored, as the system reads it.
bool IsDeviceName(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
        if (EqualsNoCase(base, device)) return true;
    }
    if (base.size() == 4 && base[3] >= '1' && base[3] <= '9') {
        const std::string stem = base.substr(0, 3);
        return EqualsNoCase(stem, "COM") || EqualsNoCase(stem, "LPT");
    }
    return false;
}

bool IsReplaced(unsigned char c) {
    switch (c) {
        case '\\':
        case '/':
        case ':':
        case '*':
        case '?':
        case '<':
        case '>':
        case '|':
        case '"': return true;
        default: return c < 0x20 || c == 0x7F;
    }
}

}  // namespace

std::string CleanTemplateName(const std::string& fileName) {
    // None of the replaced bytes is a trail byte of code page 949 (0x41-0x5A, 0x61-0x7A,
    // 0x81-0xFE), so the replacement never splits a character.
    std::string name = fileName;
    for (char& c : name) {
        if (IsReplaced(static_cast<unsigned char>(c))) c = '_';
    }
    // "." and ".." end here too: "_" and "__".
    for (size_t i = name.size(); i > 0 && (name[i - 1] == '.' || name[i - 1] == ' '); --i) name[i - 1] = '_';
    if (name.empty()) return kFallbackTemplateName;
    if (IsDeviceName(name) || EqualsNoCase(name, kRecordName)) name.insert(0, "_");
    return name;
}

std::string NumberedName(const std::string& name, int n) {
    if (n <= 1) return name;
    const std::string number = " (" + std::to_string(n) + ")";
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name + number;
    return name.substr(0, dot) + number + name.substr(dot);
}

bool TemplatesFolderPath(const std::string& documents, std::string* folder) {
    if (documents.empty()) return false;
    std::string path = documents + "\\" + kTemplatesFolderName;
    // Room for "\" and at least one byte of a name, and the terminating zero.
    if (path.size() + 3 > kPathBuffer) return false;
    *folder = std::move(path);
    return true;
}

bool TemplatePath(const std::string& folder, const std::string& name, std::string* path) {
    if (folder.empty() || name.empty() || folder.size() + 1 + name.size() + 1 > kPathBuffer) return false;
    *path = folder + "\\" + name;
    return true;
}

}  // namespace kv
