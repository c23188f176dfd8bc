// The self-update's steps as pure routines over the file system, the system, the signature
// check, the pane's download and the process-shared state: the library replacement after a
// version difference, the check a downloaded library must pass, and the last host's leaving
// with its templates-folder clean-up and the updater start.
//
// Never a broken library: a new library is always downloaded to a temporary file in the
// library folder first and used only when the reply was complete, every byte was written and
// the file closed, it is a 64-bit DLL exporting DllGetClassObject and its signature is valid.
// Only then do the renames run, and a failed rename is undone, so the library name always
// holds a loadable library.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "addin/base/shared/SharedState.h"

namespace kv {

class DownloadRecord;
class SharedState;
class SignatureCheck;
class UpdateFileSystem;
class UpdateSystem;

struct LibraryPaths {
    std::wstring folder;           // the module path cut at its last '\' or '/'
    std::wstring library;          // folder + "\KestrovaSE.dll"
    std::wstring newLibrary;       // folder + "\KestrovaSE_new.dll"
    std::wstring previousLibrary;  // folder + "\KestrovaSE.dll_old"
    std::wstring updater;          // folder + "\KVUpdater.exe"
};

// False when the path has neither '\' nor '/'.
bool LibraryPathsFor(const std::wstring& modulePath, LibraryPaths* paths);

// The templates folder of a documents folder: documents + "\kestrovas\". Empty when the
// documents folder is unknown: the Part's rule would then name "\kestrovas\" at the root of
// the current drive, which is nobody's templates folder.
std::wstring TemplatesFolderFor(const std::wstring& documentsFolder);

enum class LibraryVerdict { Accepted, Unreadable, NotLibrary, BadSignature };

// A library file is read whole for its check; anything larger is refused.
constexpr size_t kLibrarySizeLimit = 64u << 20;

LibraryVerdict CheckLibraryFile(UpdateFileSystem& files, SignatureCheck& check, const std::wstring& path);

// set_DownloadDll after its exchange: 0 when path now holds the checked library, 1 otherwise.
// The body goes to a temporary file beside path; it takes path's name only after it passed
// the check, and is deleted on any failure. An incomplete exchange leaves path untouched.
int SaveLibraryReply(UpdateFileSystem& files, SignatureCheck& check, bool exchangeComplete, const std::string& body,
                     const std::wstring& path);

// The pane's side of the replacement.
class LibrarySource {
public:
    virtual ~LibrarySource() = default;
    // The usage-log event "update" with the announced version.
    virtual void LogUpdate(const char* newestVersion) = 0;
    // set_DownloadDll: 0 when the new library was written to path, 1 when not.
    virtual int DownloadLibrary(const std::wstring& path) = 0;
};

enum class ReplacementResult {
    NoLibraryFolder,   // the module path has no folder: nothing done, state unchanged
    ClaimedElsewhere,  // another host claimed the update first: state set to 1
    NoTemporaryFile,   // no temporary file could be made in the library folder
    Refused,           // download failed or the file failed the check: deleted
    RenameFailed,      // a rename failed: undone, the library in place
    Replaced,          // newer system: the new library has the library name
    LeftBeside,        // older system: "KestrovaSE_new.dll" waits for the updater
};
const char* ReplacementResultName(ReplacementResult result);

// The library replacement, run once the start-up check found a version difference. The
// update is claimed with a compare-exchange of the state from 0 to 2, so of two hosts that
// start together only one downloads.
ReplacementResult ReplaceLibrary(SharedState& state, UpdateFileSystem& files, UpdateSystem& system,
                                 SignatureCheck& check, LibrarySource& source, const std::wstring& modulePath,
                                 const char* newestVersion);

// This process's place in the host-process count of SharedState. The process is counted when
// the library is loaded and taken off once, at the first of: its add-in object disconnecting
// or beginning its shut-down, the library's unload. An add-in connected again while the
// library stays loaded (switched off and on in a running host) counts the process again.
class HostProcessPlace {
public:
    explicit HostProcessPlace(SharedState& state) : state_(state) {}
    HostProcessPlace(const HostProcessPlace&) = delete;
    HostProcessPlace& operator=(const HostProcessPlace&) = delete;

    SharedState& state() { return state_; }
    // Counts the process unless it is counted already.
    void Enter();
    // Takes the process off the count; true when this call did and no process is left.
    bool Leave();

private:
    SharedState& state_;
    std::atomic<bool> counted_{false};
};

// Where the last host's clean-up runs.
enum class CleanUpPlace {
    // The add-in object of the last host process disconnects or begins its shut-down: no
    // loader lock is held, everything may run.
    AddinShutdown,
    // The library's unload notification of a process that was still counted then (no add-in
    // object of it ended: the control alone in some program, or a registration run). The
    // loader lock is held: file calls only, never a process start. A new library that waits
    // stays on disk, and the next last host starts the updater for it.
    LoaderLock,
};

struct UnloadResult {
    bool lastProcess = false;
    int templatesDeleted = 0;
    bool updaterStarted = false;
};

// The process leaves the count (HostProcessPlace::Leave). At the last one: the templates
// folder loses the files the record shows unchanged (nothing at all without a documents
// folder), and, where the place allows it, the updater starts when "KestrovaSE_new.dll" waits
// beside the library and the library was not replaced in place, also when there is no
// templates folder. record may be null: the record file of the templates folder is used.
UnloadResult HostProcessLeaves(HostProcessPlace& place, UpdateFileSystem& files, UpdateSystem& system,
                               const std::wstring& modulePath, const std::wstring& documentsFolder, CleanUpPlace where,
                               DownloadRecord* record = nullptr);

}  // namespace kv
