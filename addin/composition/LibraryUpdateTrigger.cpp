// The self-update at start-up complete: the service's version through the pane's control into
// NewestVersion, and on a difference the library replacement, whose download is the control's
// set_DownloadDll.
#include <windows.h>

#include <string>
#include <vector>

#include "addin/composition/AddinServices.h"
#include "addin/features/service/ServiceConfig.h"
#include "addin/features/service/Settings.h"
#include "addin/features/service/UsageLog.h"
#include "addin/features/update/LibraryEntry.h"
#include "addin/features/update/Version.h"
#include "platform/Network.h"
#include "platform/SettingsStore.h"
#include "platform/WinText.h"

namespace kv {
namespace {

// NewestVersion: zero-filled at load; the reply fills at most its first 10 bytes.
char g_newestVersion[kNewestVersionSize] = {};

// The control as the replacement's library source.
class ControlSource final : public LibrarySource {
public:
    ControlSource(ISimTaskPane& control, const Identity& identity) : control_(control), identity_(identity) {}

    // Kind 3 with "User-Agent: kestrova"; the log's target is made request-line safe, so
    // control bytes or spaces of the announced version never go raw onto the wire.
    void LogUpdate(const char* newestVersion) override {
        AddinLogState state;
        state.newestVersion = newestVersion ? newestVersion : "";
        LibraryLogSender sender;
        AddinUsageLog(sender, UsageEventKind::Update, ProgramKind::None, identity_, state);
    }

    // The path crosses the interface as narrow text of the ANSI code page; one that does not
    // convert exactly, or needs more than the 260-byte path buffer, is not downloaded to.
    int DownloadLibrary(const std::wstring& path) override {
        std::string narrow;
        if (path.empty() || !WideToAnsi(path, &narrow) || narrow.size() >= MAX_PATH) return 1;
        return control_.set_DownloadDll(narrow.data()) == S_OK ? 0 : 1;
    }

private:
    ISimTaskPane& control_;
    const Identity& identity_;
};

class LibraryUpdate final : public UpdateTrigger {
public:
    void Run(ISimTaskPane& control, const Identity& identity) override {
        control.get_version(g_newestVersion);
        if (!UpdateWanted(kAddinVersion, g_newestVersion)) return;
        ControlSource source(control, identity);
        RunLibraryReplacement(source, g_newestVersion);
    }
};

}  // namespace

UpdateTrigger& DefaultUpdateTrigger() {
    static LibraryUpdate updates;
    return updates;
}

std::string NewestVersionText() {
    return std::string(g_newestVersion);
}

}  // namespace kv
