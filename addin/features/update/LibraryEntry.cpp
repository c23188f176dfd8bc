#include "addin/features/update/LibraryEntry.h"

#include "addin/base/com/ComRegistration.h"
#include "addin/base/com/ComServer.h"
#include "addin/base/shared/SharedState.h"
#include "addin/features/update/LibraryService.h"
#include "addin/features/update/Signature.h"
#include "addin/features/update/UpdateWin32.h"

namespace kv {

namespace {

HostProcessPlace& ThisProcess() {
    static HostProcessPlace place(SystemSharedState());
    return place;
}

void Leave(const std::wstring& documentsFolder, CleanUpPlace where) {
    Win32UpdateFileSystem files;
    Win32UpdateSystem system;
    // The module path only serves the updater start.
    const std::wstring module = where == CleanUpPlace::AddinShutdown ? ModulePath(ModuleHandle()) : std::wstring();
    HostProcessLeaves(ThisProcess(), files, system, module, documentsFolder, where);
}

}  // namespace

void LibraryAttached() {
    ThisProcess().Enter();
}

void AddinConnected() {
    ThisProcess().Enter();
}

void AddinLeaving(const std::wstring& documentsFolder) {
    Leave(documentsFolder, CleanUpPlace::AddinShutdown);
}

void LibraryDetached(const std::wstring& documentsFolder) {
    Leave(documentsFolder, CleanUpPlace::LoaderLock);
}

SignatureCheck& UpdateSignatureCheck() {
    static const std::unique_ptr<SignatureCheck> check = MakeP256Check(kUpdatePublicKey);
    return *check;
}

ReplacementResult RunLibraryReplacement(LibrarySource& source, const char* newestVersion) {
    Win32UpdateFileSystem files;
    Win32UpdateSystem system;
    return ReplaceLibrary(SystemSharedState(), files, system, UpdateSignatureCheck(), source,
                          ModulePath(ModuleHandle()), newestVersion);
}

int DownloadLibraryTo(ServiceClient& client, const std::wstring& path, ExchangeProgress* progress) {
    Win32UpdateFileSystem files;
    return DownloadLibrary(client, files, UpdateSignatureCheck(), path, progress);
}

}  // namespace kv
