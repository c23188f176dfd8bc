#include "addin/features/open/TemplateOpen.h"

#include "addin/base/shared/SharedState.h"
#include "addin/features/open/TemplateName.h"
#include "addin/features/service/NetSession.h"
#include "addin/features/service/ServiceClient.h"
#include "addin/features/update/DownloadRecord.h"

namespace kv {
namespace {

// How many numbered names a download tries before it gives up writing.
constexpr int kMaxNumberedNames = 99;

const TemplateApplication kApplications[] = {
    {"Word.Application", "Documents", false, HostKind::Word},
    {"Excel.Application", "Workbooks", true, HostKind::Excel},
    {"PowerPoint.Application", "Presentations", true, HostKind::PowerPoint},
};

// The templates folder in both forms.
struct Folder {
    std::string narrow;
    std::wstring wide;  // ends in a separator, as the download record wants it
};

// A name of the folder in both forms, with its full path.
struct Candidate {
    std::string path;
    std::wstring name;
    std::wstring widePath;
};

bool MakeCandidate(TemplatePlace& place, const Folder& folder, const std::string& name, Candidate* c) {
    if (!TemplatePath(folder.narrow, name, &c->path) || !place.FileSystemName(name, &c->name) || c->name.empty()) {
        return false;
    }
    c->widePath = folder.wide + c->name;
    return true;
}

// Temporary file beside the target, every byte written, then put in place; the temporary
// never stays behind.
bool WriteInPlace(OpenServices& s, const Folder& folder, const std::wstring& target, const std::string& bytes) {
    const std::wstring temporary = s.files.CreateTemporary(folder.wide);
    if (temporary.empty()) return false;
    if (!s.files.Write(temporary, bytes) || !s.folders.Replace(temporary, target)) {
        s.files.Delete(temporary);
        return false;
    }
    return true;
}

// Step 8 with the user's files kept: the first of "name", "name (2)", ... that is free or
// still exactly as downloaded takes the download. Returns the path written, or, when nothing
// could be written, the first copy found exactly as downloaded; empty when there is neither.
std::string Store(OpenServices& s, const Folder& folder, const std::string& name, const std::string& body,
                  bool* wrote) {
    FileDownloadRecord record(s.files, folder.wide);
    std::string unchangedCopy;
    for (int n = 1; n <= kMaxNumberedNames; ++n) {
        Candidate c;
        if (!MakeCandidate(s.place, folder, NumberedName(name, n), &c)) break;
        const bool taken = s.files.Exists(c.widePath) || s.folders.FolderExists(c.widePath);
        if (taken) {
            if (!record.IsUnchanged(c.name)) continue;  // the user's file: left alone
            if (unchangedCopy.empty()) unchangedCopy = c.path;
        }
        if (!WriteInPlace(s, folder, c.widePath, body)) break;
        // Unrecorded (the record could not be saved), the file only counts as the user's:
        // kept at the clean-up and never replaced.
        record.Remember(c.name, body);
        *wrote = true;
        return c.path;
    }
    return unchangedCopy;
}

// Steps 9 to 11. The apartment scope is made first, so it ends after every object is gone.
OpenOutcome AskHost(const OpenRequest& r, const TemplateApplication& app, OpenServices& s, const std::string& path) {
    if (!s.hosts.ClassExists(app.progId)) return OpenOutcome::UnknownClass;
    std::unique_ptr<ThreadApartments::Scope> apartment;
    HostObjectPtr application;
    HostValue collection;
    if (app.usesPane && r.paneKind == app.paneKind) {
        if (!r.application->GetProperty(app.collection, &collection)) return OpenOutcome::NoHost;
    } else {
        // Word is always created; Excel and PowerPoint are attached to when they run.
        if (app.usesPane) {
            apartment = s.apartments.EnterMultiThreaded();
            application = s.hosts.GetRunningObject(app.progId);
        }
        if (!application) application = s.hosts.CreateLocalServer(app.progId);
        if (!application) return OpenOutcome::NoHost;
        application->PutProperty("Visible", HostValue::Int(1));
        if (!application->GetProperty(app.collection, &collection)) return OpenOutcome::NoHost;
    }
    if (collection.type != HostValue::Type::Object || !collection.object) return OpenOutcome::NoHost;
    const bool opened = collection.object->Call("Open", {NamedArg{"FileName", HostValue::Text(path)}}, nullptr);
    return opened ? OpenOutcome::Opened : OpenOutcome::OpenFailed;
}

OpenResult Run(const OpenRequest& r, OpenServices& s) {
    OpenResult result;
    TemplateApplication app{};
    if (!ApplicationForImage(r.image1, &app)) {
        result.outcome = OpenOutcome::UnknownFileType;
        return result;
    }
    // The path is settled before anything is fetched.
    result.outcome = OpenOutcome::NoPath;
    std::string documents;
    Folder folder;
    const std::string name = CleanTemplateName(r.fileName);
    Candidate plain;
    if (!s.place.DocumentsFolder(&documents) || !TemplatesFolderPath(documents, &folder.narrow) ||
        !s.place.FileSystemName(folder.narrow, &folder.wide) || folder.wide.empty()) {
        return result;
    }
    folder.wide += L'\\';
    if (!MakeCandidate(s.place, folder, name, &plain)) return result;
    result.path = plain.path;

    // The folder is made only for a complete download: a failed or cancelled one leaves the
    // documents folder as it was.
    std::string body;
    if (!s.download.Fetch(r.url, &body)) {
        result.outcome = OpenOutcome::DownloadFailed;
        return result;
    }
    const std::wstring folderPath = folder.wide.substr(0, folder.wide.size() - 1);
    if (!s.folders.FolderExists(folderPath)) s.folders.CreateFolder(folderPath);
    result.path = Store(s, folder, name, body, &result.wrote);
    if (result.path.empty()) {
        result.outcome = OpenOutcome::NothingWritten;
        return result;
    }
    result.outcome = AskHost(r, app, s, result.path);
    return result;
}

}  // namespace

bool ServiceTemplateDownload::Fetch(const std::string& url, std::string* body) {
    NetSession session(client_.network());
    if (!client_.HttpExchange(ReplySlot::TemplateFile, ServiceUrl::Parse(url), progress_)) return false;
    *body = client_.Reply(ReplySlot::TemplateFile).body();
    return true;
}

bool ApplicationForImage(int32_t image1, TemplateApplication* application) {
    switch (image1) {
        case kImageWord1: *application = kApplications[0]; return true;
        case kImageExcel1: *application = kApplications[1]; return true;
        case kImagePowerPoint1: *application = kApplications[2]; return true;
        default: return false;
    }
}

OpenResult OpenTemplate(const OpenRequest& request, OpenServices& services) {
    OpenResult result;
    if (!request.application) return result;
    services.shared.SetNextOpenIsUserDocument(false);
    result = Run(request, services);
    if (result.outcome != OpenOutcome::Opened) services.shared.SetNextOpenIsUserDocument(true);
    return result;
}

}  // namespace kv
