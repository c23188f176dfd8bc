#include "addin/update/LibraryEntry.h"

#include "addin/taskpane/SharedState.h"
#include "addin/update/LibraryService.h"
#include "addin/update/Signature.h"
#include "addin/update/UpdateWin32.h"

namespace kv {

void LibraryAttached() { SystemSharedState().AddHostProcess(); }

void LibraryDetached(const std::wstring& documentsFolder) {
    Win32UpdateFileSystem files;
    Win32UpdateSystem system;
    LibraryUnloaded(SystemSharedState(), files, system, OwnModulePath(), documentsFolder);
}

SignatureCheck& UpdateSignatureCheck() {
    static const std::unique_ptr<SignatureCheck> check = MakeP256Check(kUpdatePublicKey);
    return *check;
}

ReplacementResult RunLibraryReplacement(LibrarySource& source, const char* newestVersion) {
    Win32UpdateFileSystem files;
    Win32UpdateSystem system;
    return ReplaceLibrary(SystemSharedState(), files, system, UpdateSignatureCheck(), source, OwnModulePath(),
                          newestVersion);
}

int DownloadLibraryTo(ServiceClient& client, const std::wstring& path) {
    Win32UpdateFileSystem files;
    return DownloadLibrary(client, files, UpdateSignatureCheck(), path);
}

}  // namespace kv
