// Settings in the registry: the machine root is HKEY_LOCAL_MACHINE, the user root
// HKEY_CURRENT_USER. Narrow (ANSI) calls, as the stored texts are in the system code page.
#include <vector>

#include "platform/SettingsStore.h"
#include "platform/WinHandles.h"

namespace kv {
namespace {

HKEY RootKey(SettingsRoot root) {
    return root == SettingsRoot::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

UniqueKey OpenForReading(SettingsRoot root, const std::string& key) {
    UniqueKey opened;
    if (RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS) {
        opened.release();  // a failed open leaves no key to close
    }
    return opened;
}

UniqueKey CreateForWriting(SettingsRoot root, const std::string& key) {
    UniqueKey created;
    if (RegCreateKeyExA(RootKey(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        created.put(), nullptr) != ERROR_SUCCESS) {
        created.release();
    }
    return created;
}

class RegistrySettings : public SettingsStore {
public:
    bool ReadString(SettingsRoot root, const std::string& key, const std::string& name, std::string* value,
                    size_t capacity) override {
        if (!value || capacity == 0) return false;
        UniqueKey opened = OpenForReading(root, key);
        if (!opened) return false;
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(opened.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
        // Larger than the buffer even with its terminator counted in: it cannot fit.
        if (type != REG_SZ || size > capacity) return false;
        std::vector<char> data(size + 1, '\0');
        DWORD got = size;
        if (RegQueryValueExA(opened.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
                ERROR_SUCCESS ||
            type != REG_SZ || got > size) {
            return false;
        }
        // The stored bytes may or may not end in a NUL; the text ends at the first one.
        std::string text(data.data());
        if (text.size() + 1 > capacity) return false;
        *value = std::move(text);
        return true;
    }

    bool ReadNumber(SettingsRoot root, const std::string& key, const std::string& name, uint32_t* value) override {
        if (!value) return false;
        UniqueKey opened = OpenForReading(root, key);
        if (!opened) return false;
        DWORD type = 0;
        DWORD number = 0;
        DWORD size = sizeof number;
        if (RegQueryValueExA(opened.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof number) {
            return false;
        }
        *value = number;
        return true;
    }

    bool WriteString(SettingsRoot root, const std::string& key, const std::string& name,
                     const std::string& value) override {
        UniqueKey created = CreateForWriting(root, key);
        if (!created) return false;
        const char* text = value.c_str();
        // Stored with its terminating NUL.
        const DWORD size = static_cast<DWORD>(std::char_traits<char>::length(text) + 1);
        return RegSetValueExA(created.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size) ==
               ERROR_SUCCESS;
    }

    bool WriteNumber(SettingsRoot root, const std::string& key, const std::string& name, uint32_t value) override {
        UniqueKey created = CreateForWriting(root, key);
        if (!created) return false;
        const DWORD number = value;
        return RegSetValueExA(created.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                              sizeof number) == ERROR_SUCCESS;
    }
};

}  // namespace

SettingsStore& SystemSettings() {
    static RegistrySettings store;
    return store;
}

}  // namespace kv
