#include "addin/features/update/LibraryService.h"

#include "addin/features/service/ServiceClient.h"
#include "addin/features/update/LibraryUpdate.h"
#include "addin/features/update/Version.h"

namespace kv {

bool FetchNewestVersion(ServiceClient& client, char* buffer) {
    NetSession session(client.network());
    const ExchangeLimits limits = ListReplyBound(client.Limits(ReplySlot::UpdateFile));
    if (!client.HttpExchange(ReplySlot::UpdateFile, client.Address(kVersionResource), limits)) return false;
    return StoreVersionReply(client.Reply(ReplySlot::UpdateFile).body(), buffer);
}

int DownloadLibrary(ServiceClient& client, UpdateFileSystem& files, SignatureCheck& check, const std::wstring& path,
                    ExchangeProgress* progress) {
    NetSession session(client.network());
    const bool complete = client.HttpExchange(ReplySlot::UpdateFile, client.Address(kLibraryResource), progress);
    const int result = SaveLibraryReply(files, check, complete, client.Reply(ReplySlot::UpdateFile).body(), path);
    // The library is on disk now (or refused); its megabytes need not stay in the slot.
    client.Reply(ReplySlot::UpdateFile).reset();
    return result;
}

}  // namespace kv
