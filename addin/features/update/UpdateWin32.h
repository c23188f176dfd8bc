// The self-update's files and system on Windows, and the library's own path.
#pragma once
#include <windows.h>

#include <string>

#include "addin/features/update/UpdateFiles.h"

namespace kv {

class Win32UpdateFileSystem final : public UpdateFileSystem {
public:
    bool Exists(const std::wstring& path) override;
    bool Delete(const std::wstring& path) override;
    bool Rename(const std::wstring& from, const std::wstring& to) override;
    bool List(const std::wstring& folder, std::vector<std::wstring>* names) override;
    bool Read(const std::wstring& path, size_t limit, std::string* bytes) override;
    bool Write(const std::wstring& path, const std::string& bytes) override;
    std::wstring CreateTemporary(const std::wstring& folder) override;
};

class Win32UpdateSystem final : public UpdateSystem {
public:
    bool NewerSystem() override;
    void StartUpdater(const std::wstring& path) override;
};

}  // namespace kv
