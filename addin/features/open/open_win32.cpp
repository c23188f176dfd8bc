#include <shlobj.h>

#include "addin/base/host/HostDispatch.h"
#include "addin/base/shared/SharedState.h"
#include "addin/features/open/TemplateOpenWin.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace kv {
namespace {

class ApartmentScope final : public ThreadApartments::Scope {
public:
    // ComApartment uninitialises only after S_OK or S_FALSE; on the host's own apartment the
    // request answers RPC_E_CHANGED_MODE and nothing is undone.
    ApartmentScope() : apartment_(COINIT_MULTITHREADED) {}

private:
    ComApartment apartment_;
};

}  // namespace

bool Win32TemplateFolders::FolderExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32TemplateFolders::CreateFolder(const std::wstring& path) {
    return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool Win32TemplateFolders::Replace(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool Win32TemplatePlace::DocumentsFolder(std::string* folder) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) return false;
    return path[0] && WideToAnsi(path, folder);
}

bool Win32TemplatePlace::FileSystemName(const std::string& narrow, std::wstring* name) {
    return AnsiToWide(narrow, name);
}

std::unique_ptr<ThreadApartments::Scope> Win32ThreadApartments::EnterMultiThreaded() {
    return std::make_unique<ApartmentScope>();
}

OpenResult OpenTemplateInHost(ServiceClient& client, const OpenRequest& request, ExchangeProgress* progress) {
    ServiceTemplateDownload download(client, progress);
    Win32UpdateFileSystem files;
    Win32TemplateFolders folders;
    Win32TemplatePlace place;
    DispatchEnvironment hosts;
    Win32ThreadApartments apartments;
    OpenServices services{download, files, folders, place, hosts, apartments, SystemSharedState()};
    return OpenTemplate(request, services);
}

}  // namespace kv
