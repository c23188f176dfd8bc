// The self-update as the library's own code calls it: the load and unload notifications, the
// add-in object's connection and leaving, the replacement after the start-up check, and
// set_DownloadDll's download. Everything on the system's files, the process-shared state, the
// library's own path and the build's key.
#pragma once
#include <string>

#include "addin/features/update/LibraryUpdate.h"

namespace kv {

class ExchangeProgress;
class ServiceClient;
class SignatureCheck;

// DLL_PROCESS_ATTACH: one more process holds the library.
void LibraryAttached();

// The add-in object connects: a process that left the count (its add-in was switched off)
// counts again.
void AddinConnected();

// The add-in object disconnects or begins its shut-down: the process leaves the count, and
// when it was the last one the templates folder is cleaned and the updater started, here,
// where no loader lock is held. documentsFolder is the one cached when a pane was created.
void AddinLeaving(const std::wstring& documentsFolder);

// DLL_PROCESS_DETACH (a process, not a thread), under the loader lock: bookkeeping, and only
// for a process that is still counted then (no add-in object of it left) and was the last,
// the templates clean-up (file calls only). Never a process start.
void LibraryDetached(const std::wstring& documentsFolder);

// The check every downloaded library must pass: ECDSA P-256 with the build's public key.
SignatureCheck& UpdateSignatureCheck();

// The library replacement for this library's folder, once the start-up check found a
// difference; source is the pane's control (its log and set_DownloadDll).
ReplacementResult RunLibraryReplacement(LibrarySource& source, const char* newestVersion);

// set_DownloadDll's body: 0 when path holds the checked new library, 1 otherwise (also when
// progress cancelled the download).
int DownloadLibraryTo(ServiceClient& client, const std::wstring& path, ExchangeProgress* progress = nullptr);

}  // namespace kv
