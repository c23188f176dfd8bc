#include "platform/SettingsStore.h"

#include <cctype>

namespace kv {

// Registry names ignore letter case; so does this store.
std::string MemorySettings::Path(SettingsRoot root, const std::string& key, const std::string& name) {
    std::string path = root == SettingsRoot::Machine ? "HKLM\\" : "HKCU\\";
    path += key;
    path += '\\';
    path += '\x01';  // keeps a value name from running into the key path
    path += name;
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return path;
}

bool MemorySettings::ReadString(SettingsRoot root, const std::string& key, const std::string& name, std::string* value,
                                size_t capacity) {
    auto it = values_.find(Path(root, key, name));
    if (it == values_.end() || it->second.isNumber) return false;
    if (it->second.text.size() + 1 > capacity) return false;
    *value = it->second.text;
    return true;
}

bool MemorySettings::ReadNumber(SettingsRoot root, const std::string& key, const std::string& name, uint32_t* value) {
    auto it = values_.find(Path(root, key, name));
    if (it == values_.end() || !it->second.isNumber) return false;
    *value = it->second.number;
    return true;
}

bool MemorySettings::WriteString(SettingsRoot root, const std::string& key, const std::string& name,
                                 const std::string& value) {
    Value& v = values_[Path(root, key, name)];
    v.isNumber = false;
    v.text = value;
    return true;
}

bool MemorySettings::WriteNumber(SettingsRoot root, const std::string& key, const std::string& name, uint32_t value) {
    Value& v = values_[Path(root, key, name)];
    v.isNumber = true;
    v.number = value;
    return true;
}

}  // namespace kv
