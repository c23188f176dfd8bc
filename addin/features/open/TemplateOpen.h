// OpenTemplate: a chosen entry's file downloaded into the user's documents folder under
// "kestrovas" and opened in the host application that its file type names. Portable: the
// documents folder, the files, the download, COM on the thread and the hosts come through the
// small interfaces below (open_win32.cpp on Windows, doubles in the native tests).
//
// Beyond the plain steps the routine keeps the user's data whole: a download is written to a
// temporary file beside its target and put in place only when every byte is there; every
// written file is recorded (addin/features/update/DownloadRecord.h); a file that no longer matches its
// record (the user changed it) is never replaced, the download goes to "name (2).ext" instead;
// and when nothing new could be written, only a copy still exactly as downloaded is opened.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "addin/base/host/HostModel.h"
#include "addin/features/search/TemplateSearch.h"
#include "addin/features/update/UpdateFiles.h"

namespace kv {

class ExchangeProgress;
class ServiceClient;
class SharedState;

// What the templates folder needs beyond the update's files: folders and a replacing rename.
class TemplateFolders {
public:
    virtual ~TemplateFolders() = default;
    virtual bool FolderExists(const std::wstring& path) = 0;
    // One level: the parent must exist.
    virtual bool CreateFolder(const std::wstring& path) = 0;
    // Puts from in the place of to in one step, replacing a file there.
    virtual bool Replace(const std::wstring& from, const std::wstring& to) = 0;
};

// Where the documents are, and the narrow (ANSI) text of paths in the file system's form.
class TemplatePlace {
public:
    virtual ~TemplatePlace() = default;
    // The user's documents folder as narrow text; false when unknown or not expressible.
    virtual bool DocumentsFolder(std::string* folder) = 0;
    // False when the text has no form in the file system's names.
    virtual bool FileSystemName(const std::string& narrow, std::wstring* name) = 0;
};

class TemplateDownload {
public:
    virtual ~TemplateDownload() = default;
    // The whole file at url; false for anything less (failed, cut short, not 2xx).
    virtual bool Fetch(const std::string& url, std::string* body) = 0;
};

// The download on the pane's TemplateFile reply slot, in a socket session of its own;
// progress (may be null) hears of it between reads and may stop it.
class ServiceTemplateDownload final : public TemplateDownload {
public:
    explicit ServiceTemplateDownload(ServiceClient& client, ExchangeProgress* progress = nullptr)
        : client_(client), progress_(progress) {}
    bool Fetch(const std::string& url, std::string* body) override;

private:
    ServiceClient& client_;
    ExchangeProgress* progress_;
};

// COM for the calling thread while the scope lives (multi-threaded request). The scope
// undoes only an initialisation that took place, so the host's own apartment stays.
class ThreadApartments {
public:
    class Scope {
    public:
        virtual ~Scope() = default;
    };
    virtual ~ThreadApartments() = default;
    virtual std::unique_ptr<Scope> EnterMultiThreaded() = 0;
};

struct OpenServices {
    TemplateDownload& download;
    UpdateFileSystem& files;
    TemplateFolders& folders;
    TemplatePlace& place;
    HostEnvironment& hosts;
    ThreadApartments& apartments;
    SharedState& shared;
};

struct OpenRequest {
    HostObjectPtr application;  // the pane's own application object
    HostKind paneKind = HostKind::Excel;
    std::string url;
    std::string fileName;
    int32_t image1 = 0;
};

enum class OpenOutcome {
    NoApplication,    // the pane holds no application object: nothing done
    UnknownFileType,  // image1 outside the table
    NoPath,           // documents folder unknown, or the path does not fit or convert
    DownloadFailed,
    NothingWritten,  // no new file, and no copy exactly as downloaded to open instead
    UnknownClass,
    NoHost,      // the application or its collection could not be had
    OpenFailed,  // the host refused Open
    Opened,
};

struct OpenResult {
    OpenOutcome outcome = OpenOutcome::NoApplication;
    std::string path;    // the file the host was asked to open (or would have been)
    bool wrote = false;  // a new file was put in place
};

// The host application for an image1 value of the item table.
struct TemplateApplication {
    const char* progId;
    const char* collection;
    bool usesPane;  // Excel and PowerPoint from a pane of their own kind
    HostKind paneKind;
};
// False for an image1 outside the table.
bool ApplicationForImage(int32_t image1, TemplateApplication* application);

// NextOpenIsUserDocument is 0 while the host is asked to open the file and 1 again whenever
// the routine ends without a successful Open, so the user's next own document is still
// searched by its name.
OpenResult OpenTemplate(const OpenRequest& request, OpenServices& services);

}  // namespace kv
