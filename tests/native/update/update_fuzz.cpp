// libFuzzer target for what the self-update reads from files it did not write itself: the
// PE headers of a download and the download record in the user's templates folder.
#include <cstddef>
#include <cstdint>
#include <string>

#include "UpdateDoubles.h"
#include "addin/features/update/DownloadRecord.h"
#include "addin/features/update/PeImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kv::CheckPeLibrary(data, size);

    kv::test::MemoryFiles files;
    const std::wstring folder = L"C:\\docs\\kestrovas\\";
    files.folders.insert(folder);
    files.files[folder + kv::kDownloadRecordName] = std::string(reinterpret_cast<const char*>(data), size);
    files.files[folder + L"a.hwp"] = "a";
    kv::FileDownloadRecord record(files, folder);
    record.IsUnchanged(L"a.hwp");
    record.Forget(L"a.hwp");
    record.Save();
    return 0;
}
