// The self-update as the library's own code calls it: the load and unload notifications, the
// replacement after the start-up check, and set_DownloadDll's download. Everything on the
// system's files, the process-shared state, the library's own path and the build's key.
#pragma once
#include <string>

#include "addin/update/LibraryUpdate.h"

namespace kv {

class ServiceClient;
class SignatureCheck;

// DLL_PROCESS_ATTACH: one more process holds the library.
void LibraryAttached();

// DLL_PROCESS_DETACH (a process, not a thread): at the last one, the clean-up of the
// templates folder and the updater start. documentsFolder is the one cached when a pane was
// created (empty when none was); no shell call is made here, under the loader lock.
void LibraryDetached(const std::wstring& documentsFolder);

// The check every downloaded library must pass: ECDSA P-256 with the build's public key.
SignatureCheck& UpdateSignatureCheck();

// The library replacement for this library's folder, once the start-up check found a
// difference; source is the pane's control (its log and set_DownloadDll).
ReplacementResult RunLibraryReplacement(LibrarySource& source, const char* newestVersion);

// set_DownloadDll's body: 0 when path holds the checked new library, 1 otherwise.
int DownloadLibraryTo(ServiceClient& client, const std::wstring& path);

}  // namespace kv
