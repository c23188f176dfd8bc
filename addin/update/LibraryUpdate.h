// The self-update's steps as pure routines over the file system, the system, the signature
// check, the pane's download and the process-shared state: the library replacement after a
// version difference, the check a downloaded library must pass, and the last unload with its
// templates-folder clean-up and the updater start.
//
// Never a broken library: a new library is always downloaded to a temporary file in the
// library folder first and used only when the reply was complete, every byte was written and
// the file closed, it is a 64-bit DLL exporting DllGetClassObject and its signature is valid.
// Only then do the renames run, and a failed rename is undone, so the library name always
// holds a loadable library.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

class DownloadRecord;
class SharedState;
class SignatureCheck;
class UpdateFileSystem;
class UpdateSystem;

// The update state of SharedState.
enum UpdateStateValue : int32_t {
    kUpdateNotStarted = 0,
    kUpdateElsewhere = 1,   // another host process found an update already under way
    kUpdateLeftBeside = 2,  // the new library waits beside the old one for the updater
    kUpdateReplaced = 3,    // replaced in place: the updater must not run
};

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
const char* LibraryVerdictName(LibraryVerdict verdict);

// A library file is read whole for its check; anything larger is refused.
constexpr size_t kLibrarySizeLimit = 64u << 20;

LibraryVerdict CheckLibraryFile(UpdateFileSystem& files, SignatureCheck& check, const std::wstring& path);

// set_DownloadDll after its exchange: 0 when path now holds the checked library, 1 otherwise.
// The body goes to a temporary file beside path; it takes path's name only after it passed
// the check, and is deleted on any failure. An incomplete exchange leaves path untouched.
int SaveLibraryReply(UpdateFileSystem& files, SignatureCheck& check, bool exchangeComplete,
                     const std::string& body, const std::wstring& path);

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

struct UnloadResult {
    bool lastProcess = false;
    int templatesDeleted = 0;
    bool updaterStarted = false;
};

// The library leaves a process. At the last one: the templates folder loses the files the
// record shows unchanged (nothing at all without a documents folder), and the updater starts
// when "KestrovaSE_new.dll" waits beside the library and the library was not replaced in
// place, also when there is no templates folder. record may be null: the record file of the
// templates folder is used. Little work and no shell call: this runs under the loader lock.
UnloadResult LibraryUnloaded(SharedState& state, UpdateFileSystem& files, UpdateSystem& system,
                             const std::wstring& modulePath, const std::wstring& documentsFolder,
                             DownloadRecord* record = nullptr);

}  // namespace kv
