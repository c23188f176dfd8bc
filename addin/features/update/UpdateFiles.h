// What the self-update needs of the file system and of the system around it. Failures are
// answers, never exceptions. Paths are full paths; names are what a folder listing gives.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace kv {

class UpdateFileSystem {
public:
    virtual ~UpdateFileSystem() = default;
    virtual bool Exists(const std::wstring& path) = 0;
    virtual bool Delete(const std::wstring& path) = 0;
    // Never replaces an existing target.
    virtual bool Rename(const std::wstring& from, const std::wstring& to) = 0;
    // The names of the regular files in folder; false when the folder cannot be listed.
    virtual bool List(const std::wstring& folder, std::vector<std::wstring>* names) = 0;
    // The whole file; false when it cannot be read or is larger than limit bytes.
    virtual bool Read(const std::wstring& path, size_t limit, std::string* bytes) = 0;
    // Creates or truncates path and writes bytes; true only when every byte was written and
    // the file was closed without error. On false the file may exist, partly written.
    virtual bool Write(const std::wstring& path, const std::string& bytes) = 0;
    // A new, empty file of a name nobody uses in folder; empty when none can be made.
    virtual std::wstring CreateTemporary(const std::wstring& folder) = 0;
};

// The parts of the system outside the files.
class UpdateSystem {
public:
    virtual ~UpdateSystem() = default;
    // The systems on which a library in use may be given another name (major version over 5).
    virtual bool NewerSystem() = 0;
    // Starts the updater program at path with an empty command line, never waiting for it.
    virtual void StartUpdater(const std::wstring& path) = 0;
};

}  // namespace kv
