// OpenTemplate on Windows: the documents folder from the shell, the files through the wide
// file API, COM on the calling thread and the hosts through automation.
#pragma once
#include <windows.h>

#include "addin/features/open/TemplateOpen.h"
#include "addin/features/update/UpdateWin32.h"

namespace kv {

class Win32TemplateFolders final : public TemplateFolders {
public:
    bool FolderExists(const std::wstring& path) override;
    bool CreateFolder(const std::wstring& path) override;
    bool Replace(const std::wstring& from, const std::wstring& to) override;
};

// The shell's folder for personal documents, in the ANSI code page; names convert strictly.
class Win32TemplatePlace final : public TemplatePlace {
public:
    bool DocumentsFolder(std::string* folder) override;
    bool FileSystemName(const std::string& narrow, std::wstring* name) override;
};

class Win32ThreadApartments final : public ThreadApartments {
public:
    std::unique_ptr<Scope> EnterMultiThreaded() override;
};

// OpenTemplate with the system's parts, downloading on client's TemplateFile slot; progress
// (may be null) hears of the download and may cancel it.
OpenResult OpenTemplateInHost(ServiceClient& client, const OpenRequest& request, ExchangeProgress* progress = nullptr);

}  // namespace kv
