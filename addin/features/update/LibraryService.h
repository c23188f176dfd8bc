// get_version and set_DownloadDll over the pane's service client: each exchange inside its
// NetSession, on the UpdateFile reply slot.
#pragma once
#include <string>

namespace kv {

class ExchangeProgress;
class ServiceClient;
class SignatureCheck;
class UpdateFileSystem;

constexpr char kVersionResource[] = "/k_app/update/kestrovase_version.ini";
constexpr char kLibraryResource[] = "/k_app/update/file_x64/KestrovaSE_new.dll";

// Fetches the version text into buffer (at least 10 bytes; see StoreVersionReply), within a
// list reply's bounds though on the file slot. A failed exchange or an empty body leaves the
// buffer untouched. True when the buffer was written.
bool FetchNewestVersion(ServiceClient& client, char* buffer);

// Fetches the new library and puts it at path only once complete and checked
// (SaveLibraryReply): 0 written, 1 failed. progress (may be null) hears of the download and may
// cancel it; a cancelled one writes nothing.
int DownloadLibrary(ServiceClient& client, UpdateFileSystem& files, SignatureCheck& check, const std::wstring& path,
                    ExchangeProgress* progress = nullptr);

}  // namespace kv
