#include "addin/features/update/LibraryUpdate.h"

#include <optional>

#include "addin/base/shared/SharedState.h"
#include "addin/features/update/DownloadRecord.h"
#include "addin/features/update/PeImage.h"
#include "addin/features/update/Signature.h"
#include "addin/features/update/UpdateFiles.h"

namespace kv {
namespace {

std::wstring FolderOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

}  // namespace

bool LibraryPathsFor(const std::wstring& modulePath, LibraryPaths* paths) {
    const size_t cut = modulePath.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return false;
    paths->folder = modulePath.substr(0, cut);
    paths->library = paths->folder + L"\\KestrovaSE.dll";
    paths->newLibrary = paths->folder + L"\\KestrovaSE_new.dll";
    paths->previousLibrary = paths->folder + L"\\KestrovaSE.dll_old";
    paths->updater = paths->folder + L"\\KVUpdater.exe";
    return true;
}

std::wstring TemplatesFolderFor(const std::wstring& documentsFolder) {
    return documentsFolder.empty() ? std::wstring() : documentsFolder + L"\\kestrovas\\";
}

const char* ReplacementResultName(ReplacementResult result) {
    switch (result) {
        case ReplacementResult::NoLibraryFolder: return "no library folder";
        case ReplacementResult::ClaimedElsewhere: return "claimed elsewhere";
        case ReplacementResult::NoTemporaryFile: return "no temporary file";
        case ReplacementResult::Refused: return "refused";
        case ReplacementResult::RenameFailed: return "rename failed";
        case ReplacementResult::Replaced: return "replaced";
        case ReplacementResult::LeftBeside: return "left beside";
    }
    return "?";
}

LibraryVerdict CheckLibraryFile(UpdateFileSystem& files, SignatureCheck& check, const std::wstring& path) {
    std::string bytes;
    if (!files.Read(path, kLibrarySizeLimit, &bytes)) return LibraryVerdict::Unreadable;
    SignedParts parts;
    if (!SplitSignedFile(bytes, &parts)) return LibraryVerdict::BadSignature;
    const auto* data = reinterpret_cast<const uint8_t*>(parts.message.data());
    // The image without its trailer and certificate table: the check sees what the loader maps.
    if (CheckPeLibrary(data, parts.message.size()) != PeVerdict::Accepted) return LibraryVerdict::NotLibrary;
    return check.Verify(data, parts.message.size(), parts.signature.data()) ? LibraryVerdict::Accepted
                                                                            : LibraryVerdict::BadSignature;
}

int SaveLibraryReply(UpdateFileSystem& files, SignatureCheck& check, bool exchangeComplete, const std::string& body,
                     const std::wstring& path) {
    if (!exchangeComplete || body.empty()) return 1;
    const std::wstring temporary = files.CreateTemporary(FolderOf(path));
    if (temporary.empty()) return 1;
    if (!files.Write(temporary, body) || CheckLibraryFile(files, check, temporary) != LibraryVerdict::Accepted) {
        files.Delete(temporary);
        return 1;
    }
    files.Delete(path);  // "creates or truncates": an older file of that name gives way
    if (!files.Rename(temporary, path)) {
        files.Delete(temporary);
        return 1;
    }
    return 0;
}

ReplacementResult ReplaceLibrary(SharedState& state, UpdateFileSystem& files, UpdateSystem& system,
                                 SignatureCheck& check, LibrarySource& source, const std::wstring& modulePath,
                                 const char* newestVersion) {
    source.LogUpdate(newestVersion);
    LibraryPaths paths;
    if (!LibraryPathsFor(modulePath, &paths)) return ReplacementResult::NoLibraryFolder;
    if (!state.CompareExchangeUpdateState(kUpdateNotStarted, kUpdateLeftBeside)) {
        state.SetUpdateState(kUpdateElsewhere);
        return ReplacementResult::ClaimedElsewhere;
    }
    const bool newer = system.NewerSystem();
    // A newer system keeps 3 whatever follows, so the updater does not run at the unload; an
    // older one returns to 0 on failure, so a later host start may try again.
    if (newer) state.SetUpdateState(kUpdateReplaced);
    auto fail = [&](ReplacementResult result) {
        if (!newer) state.SetUpdateState(kUpdateNotStarted);
        return result;
    };

    const std::wstring temporary = files.CreateTemporary(paths.folder);
    if (temporary.empty()) return fail(ReplacementResult::NoTemporaryFile);
    if (source.DownloadLibrary(temporary) != 0 ||
        CheckLibraryFile(files, check, temporary) != LibraryVerdict::Accepted) {
        files.Delete(temporary);
        return fail(ReplacementResult::Refused);
    }

    if (newer) {
        // A loaded library may be renamed here: the running image keeps working under the
        // previous-library name while the new file takes the library name.
        files.Delete(paths.previousLibrary);
        if (!files.Rename(paths.library, paths.previousLibrary)) {
            files.Delete(temporary);
            return ReplacementResult::RenameFailed;
        }
        if (!files.Rename(temporary, paths.library)) {
            files.Rename(paths.previousLibrary, paths.library);
            files.Delete(temporary);
            return ReplacementResult::RenameFailed;
        }
        return ReplacementResult::Replaced;
    }

    // An older "_new" of an earlier run gives way to this one; the updater swaps it later.
    files.Delete(paths.newLibrary);
    if (!files.Rename(temporary, paths.newLibrary)) {
        files.Delete(temporary);
        return fail(ReplacementResult::RenameFailed);
    }
    return ReplacementResult::LeftBeside;
}

void HostProcessPlace::Enter() {
    if (!counted_.exchange(true)) state_.AddHostProcess();
}

bool HostProcessPlace::Leave() {
    if (!counted_.exchange(false)) return false;
    return state_.RemoveHostProcess() == 0;
}

UnloadResult HostProcessLeaves(HostProcessPlace& place, UpdateFileSystem& files, UpdateSystem& system,
                               const std::wstring& modulePath, const std::wstring& documentsFolder, CleanUpPlace where,
                               DownloadRecord* record) {
    UnloadResult result;
    if (!place.Leave()) return result;
    result.lastProcess = true;

    const std::wstring templates = TemplatesFolderFor(documentsFolder);
    std::vector<std::wstring> names;
    if (!templates.empty() && files.List(templates, &names)) {
        std::optional<FileDownloadRecord> ownRecord;
        if (!record) ownRecord.emplace(files, templates);
        DownloadRecord& known = record ? *record : *ownRecord;
        for (const std::wstring& name : names) {
            if (name == kDownloadRecordName || !known.IsUnchanged(name)) continue;
            if (files.Delete(templates + name)) {
                known.Forget(name);
                ++result.templatesDeleted;
            }
        }
        if (ownRecord && result.templatesDeleted > 0) ownRecord->Save();
    }

    if (where != CleanUpPlace::AddinShutdown) return result;
    LibraryPaths paths;
    if (!LibraryPathsFor(modulePath, &paths)) return result;
    if (place.state().UpdateState() != kUpdateReplaced && files.Exists(paths.newLibrary)) {
        system.StartUpdater(paths.updater);
        result.updaterStarted = true;
    }
    return result;
}

}  // namespace kv
