// Test doubles of the self-update: files in memory with failures on request, the system, the
// pane's download; and a minimal PE32+ DLL that exports DllGetClassObject.
#pragma once
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "addin/features/update/LibraryUpdate.h"
#include "addin/features/update/UpdateFiles.h"

namespace kv::test {

class MemoryFiles : public UpdateFileSystem {
public:
    std::map<std::wstring, std::string> files;
    std::set<std::wstring> folders;
    std::set<std::wstring> failDelete, failRenameFrom, failWrite, failRead;
    bool failTemporary = false;
    int temporaries = 0;

    bool Exists(const std::wstring& path) override { return files.count(path) > 0; }
    bool Delete(const std::wstring& path) override {
        if (failDelete.count(path) || !files.erase(path)) return false;
        return true;
    }
    bool Rename(const std::wstring& from, const std::wstring& to) override {
        if (failRenameFrom.count(from) || !files.count(from) || files.count(to)) return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    bool List(const std::wstring& folder, std::vector<std::wstring>* names) override {
        if (!folders.count(folder)) return false;
        names->clear();
        for (const auto& [path, bytes] : files) {
            if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                path.find(L'\\', folder.size()) == std::wstring::npos) {
                names->push_back(path.substr(folder.size()));
            }
        }
        return true;
    }
    bool Read(const std::wstring& path, size_t limit, std::string* bytes) override {
        auto it = files.find(path);
        if (it == files.end() || failRead.count(path) || it->second.size() > limit) return false;
        *bytes = it->second;
        return true;
    }
    // A failing write leaves half the bytes, as a full disk would.
    bool Write(const std::wstring& path, const std::string& bytes) override {
        if (failWrite.count(path)) {
            files[path] = bytes.substr(0, bytes.size() / 2);
            return false;
        }
        files[path] = bytes;
        return true;
    }
    std::wstring CreateTemporary(const std::wstring& folder) override {
        if (failTemporary) return std::wstring();
        const std::wstring path = folder + L"\\kvu" + std::to_wstring(++temporaries) + L".tmp";
        files[path] = std::string();
        return path;
    }
    // Paths of temporary files still there.
    std::vector<std::wstring> Temporaries() const {
        std::vector<std::wstring> left;
        for (const auto& [path, bytes] : files) {
            if (path.find(L"\\kvu") != std::wstring::npos) left.push_back(path);
        }
        return left;
    }
};

class RecordingSystem : public UpdateSystem {
public:
    bool newer = true;
    std::vector<std::wstring> started;
    bool NewerSystem() override { return newer; }
    void StartUpdater(const std::wstring& path) override { started.push_back(path); }
};

// The pane's download: writes reply into the file it is given (when it has one), as
// set_DownloadDll with the check left out, so the routine's own check is what is tested.
class ScriptedSource : public LibrarySource {
public:
    ScriptedSource(MemoryFiles& files) : files_(files) {}
    bool downloadSucceeds = true;
    std::string reply;
    std::vector<std::string> logged;
    std::vector<std::wstring> downloads;
    void LogUpdate(const char* version) override { logged.push_back(version); }
    int DownloadLibrary(const std::wstring& path) override {
        downloads.push_back(path);
        if (!downloadSucceeds) return 1;
        files_.files[path] = reply;
        return 0;
    }

private:
    MemoryFiles& files_;
};

// File offsets of the minimal DLL below.
constexpr size_t kPeAt = 0x40, kFileHeader = 0x44, kOptional = 0x58, kSectionTable = 0x148, kExportAt = 0x200;
constexpr uint32_t kSectionRva = 0x1000;

inline void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}
inline void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = char(v >> (8 * i));
}

// One section (file 0x200..0x400 at RVA 0x1000) holding the export directory, its three
// arrays and the name "DllGetClassObject"; the exported function's RVA is 0x1100.
inline std::string MinimalDll() {
    std::string b(0x400, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPeAt);
    std::memcpy(&b[kPeAt], "PE\0\0", 4);
    Put16(b, kFileHeader, 0x8664);
    Put16(b, kFileHeader + 2, 1);
    Put16(b, kFileHeader + 16, 0xF0);
    Put16(b, kFileHeader + 18, 0x2022);
    Put16(b, kOptional, 0x20B);
    Put32(b, kOptional + 108, 16);
    Put32(b, kOptional + 112, kSectionRva);
    Put32(b, kOptional + 116, 0x60);
    std::memcpy(&b[kSectionTable], ".edata", 6);
    Put32(b, kSectionTable + 8, 0x200);
    Put32(b, kSectionTable + 12, kSectionRva);
    Put32(b, kSectionTable + 16, 0x200);
    Put32(b, kSectionTable + 20, 0x200);
    Put32(b, kExportAt + 20, 1);
    Put32(b, kExportAt + 24, 1);
    Put32(b, kExportAt + 28, kSectionRva + 0x28);
    Put32(b, kExportAt + 32, kSectionRva + 0x2C);
    Put32(b, kExportAt + 36, kSectionRva + 0x30);
    Put32(b, kExportAt + 0x28, kSectionRva + 0x100);
    Put32(b, kExportAt + 0x2C, kSectionRva + 0x40);
    Put16(b, kExportAt + 0x30, 0);
    std::memcpy(&b[kExportAt + 0x40], "DllGetClassObject", 18);
    return b;
}

inline std::string Narrow(const std::wstring& w) {
    return std::string(w.begin(), w.end());
}

}  // namespace kv::test
