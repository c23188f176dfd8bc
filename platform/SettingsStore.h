// Key/value settings with the registry's shape: a root (machine or user), a key path and
// named values that are strings or 32-bit numbers. The registry on Windows
// (settings_registry.cpp); an in-memory store for native tests and tools (settings_memory.cpp).
#pragma once
#include <cstdint>
#include <map>
#include <string>

namespace kv {

enum class SettingsRoot { Machine, User };

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Reads a string value into at most capacity bytes (NUL included). False when the key or
    // value is missing, is not a string, or does not fit.
    virtual bool ReadString(SettingsRoot root, const std::string& key, const std::string& name, std::string* value,
                            size_t capacity) = 0;
    virtual bool ReadNumber(SettingsRoot root, const std::string& key, const std::string& name, uint32_t* value) = 0;
    // Create the key when missing.
    virtual bool WriteString(SettingsRoot root, const std::string& key, const std::string& name,
                             const std::string& value) = 0;
    virtual bool WriteNumber(SettingsRoot root, const std::string& key, const std::string& name, uint32_t value) = 0;
};

// The registry (Windows) or a process-wide memory store (elsewhere).
SettingsStore& SystemSettings();

// A store held in memory; what the native tests and tools use.
class MemorySettings : public SettingsStore {
public:
    bool ReadString(SettingsRoot root, const std::string& key, const std::string& name, std::string* value,
                    size_t capacity) override;
    bool ReadNumber(SettingsRoot root, const std::string& key, const std::string& name, uint32_t* value) override;
    bool WriteString(SettingsRoot root, const std::string& key, const std::string& name,
                     const std::string& value) override;
    bool WriteNumber(SettingsRoot root, const std::string& key, const std::string& name, uint32_t value) override;

private:
    struct Value {
        bool isNumber = false;
        std::string text;
        uint32_t number = 0;
    };
    static std::string Path(SettingsRoot root, const std::string& key, const std::string& name);
    std::map<std::string, Value> values_;
};

}  // namespace kv
