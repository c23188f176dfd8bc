// The add-in object's rules without COM: one task pane per host window, which pane a ribbon
// call or an opened document acts on, and what connection, start-up complete and shut-down do
// (settings, usage log, the update check). CConnect feeds it the host's calls and implements
// the small interfaces below over the real host; native tests implement them as fakes.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "addin/base/shared/SharedState.h"
#include "addin/features/service/Addresses.h"
#include "addin/features/service/Identity.h"
#include "addin/features/service/UsageLog.h"
#include "platform/SettingsStore.h"

namespace kv {

// A host call's result code as the host gives it (0 success, negative failure); passed through
// to the host unchanged.
using HostStatus = int32_t;
constexpr HostStatus kHostOk = 0;
constexpr HostStatus kHostOutOfMemory = static_cast<HostStatus>(0x8007000EU);

constexpr int kPaneWidth = 300;

// The control inside a pane, as the add-in object drives it.
class PaneControl {
public:
    virtual ~PaneControl() = default;
    // Texts are narrow (code page 949). The control puts the text into its box and searches.
    virtual void PutSearchText2(const std::string& text) = 0;
    // The host's application object; the control runs its first search with it.
    virtual void PutApplication() = 0;
    virtual void PutSearchFileName(const std::string& caption) = 0;
    // The login level; false when the control does not answer.
    virtual bool LoginStatus(int16_t* level) = 0;
    virtual void PutSearchList() = 0;
    // The self-update through this control: the version check and, on a new version, the
    // library replacement.
    virtual void RunUpdate(const Identity& identity) = 0;
};

// One custom task pane of the host.
class AddinPane {
public:
    virtual ~AddinPane() = default;
    virtual void SetWidth(int width) = 0;
    // False when the host does not answer.
    virtual bool Visible(bool* visible) = 0;
    virtual void SetVisible(bool visible) = 0;
    // Whether the pane has a content control at all (whatever it answers).
    virtual bool HasContentControl() = 0;
    // The control through the content control; null and the failure in *status when it cannot
    // be reached.
    virtual std::unique_ptr<PaneControl> Control(HostStatus* status = nullptr) = 0;
    // Takes the pane out of the host's window.
    virtual void Delete() = 0;
};

// The host's task-pane factory.
class PaneFactory {
public:
    virtual ~PaneFactory() = default;
    // A new pane with the control inside, for the host's active window. *pane stays null when the
    // host gives none; kHostOutOfMemory when the request could not even be made.
    virtual HostStatus CreatePane(std::shared_ptr<AddinPane>* pane) = 0;
};

// The caption of the window a document just opened in, read the host's own way.
struct OpenedDocument {
    bool captionRead = false;
    std::string caption;               // narrow, at most 249 bytes; empty for a null caption
    int32_t applicationWindowKey = 0;  // the application's own window (PowerPoint); 0 unread
};

// The host's windows and documents.
class AddinHost {
public:
    virtual ~AddinHost() = default;
    // The key of the thread's active window: its handle's low 32 bits, signed; 0 for none.
    virtual int32_t ActiveWindowKey() = 0;
    // The key of the application's own window when the application is one with a window of its
    // own (PowerPoint); false otherwise.
    virtual bool ApplicationWindowKey(int32_t* key) = 0;
    // As ApplicationWindowKey, after a look-up of that application's class: kHostOk when the
    // application is such a one (*key set when its window is readable), else the failure.
    virtual HostStatus ProbeApplicationWindow(int32_t* key) = 0;
    // The document just opened in a host of that kind; false when the host's application cannot
    // be reached at all.
    virtual bool ReadOpenedDocument(ProgramKind program, OpenedDocument* document) = 0;
    // Gives the window back the foreground and the keyboard focus.
    virtual void ReturnFocus(int32_t windowKey) = 0;
};

// What the add-in does outside the host: its dialogs, the service's pages, and the library's
// count of connected hosts.
class AddinActions {
public:
    virtual ~AddinActions() = default;
    virtual void ShowLogin(int16_t loginLevel) = 0;
    virtual void ShowAbout() = 0;
    virtual void OpenServicePage(int uflag, const Identity& identity) = 0;
    virtual void Connected() = 0;
    // Disconnection or shut-down: the process leaves the count of hosts.
    virtual void Leaving() = 0;
};

// What the controller works with, all of them the caller's.
struct AddinControllerServices {
    AddinHost& host;
    AddinActions& actions;
    SettingsStore& settings;
    LogSender& log;
    SharedState& shared;
};

// The host's program kind from the event connections that succeeded, the last kind winning.
ProgramKind ProgramKindFromEvents(bool word, bool excel, bool powerPoint);

// The add-in object's decisions, one per host process, driven by CConnect.
class AddinController {
public:
    explicit AddinController(AddinControllerServices services) : s_(services) {}
    AddinController(const AddinController&) = delete;
    AddinController& operator=(const AddinController&) = delete;

    // ---- Connection --------------------------------------------------------------------------
    bool connected() const { return connected_; }
    // The host connected the add-in: settings, the version, the start log. Ignored while
    // connected.
    void Connect(ProgramKind program, const std::string& hostVersionText);
    // Leaves the host count and forgets the factory; after this only DeletePanes reaches the host.
    void Disconnect();
    // Takes every pane out of the host, once the host's events can no longer arrive.
    void DeletePanes();
    // The update check, with the control of the active window's pane.
    void StartupComplete();
    // Stores the visibility of the active window's pane.
    void BeginShutdown();
    // The factory stays the caller's and must outlive the connection. Creates and prepares the
    // first pane; the result is that of the application-window probe.
    HostStatus FactoryAvailable(PaneFactory* factory);

    // ---- Ribbon ------------------------------------------------------------------------------
    // text: narrow, already cut to 249 bytes.
    void ChangeSearchText(const std::string& text);
    HostStatus ButtonClicked();
    // False when the active window has no pane.
    bool PutVisiblePane();
    bool PutVisiblePaneAllways();
    bool ButtonCert();
    void OpenServicePage(int uflag);
    void ButtonInfo();

    // ---- Host events -------------------------------------------------------------------------
    // A document-open event of the host (Word 4, Excel 1567, PowerPoint 2021); others are ignored.
    void DocumentOpened(int32_t eventId);

    ProgramKind programKind() const { return programKind_; }
    int32_t hostMajorVersion() const { return hostMajorVersion_; }
    const Identity& identity() const { return identity_; }
    const std::string& ribbonSearchText() const { return ribbonSearchText_; }
    const std::string& openedDocumentName() const { return openedDocumentName_; }
    size_t paneCount() const { return panes_.size(); }

private:
    using PaneTable = std::map<int32_t, std::shared_ptr<AddinPane>>;

    // Whether the key has an entry; *pane is its pane (null for an empty entry).
    bool FindPane(int32_t key, std::shared_ptr<AddinPane>* pane) const;
    // Enters what the factory gives under the key, also no pane: that window is not retried.
    HostStatus CreatePane(int32_t key, std::shared_ptr<AddinPane>* pane);
    std::shared_ptr<AddinPane> ActivePane() const;
    // Width 300 and shown at start when the stored setting says so.
    void PreparePane(AddinPane& pane);
    // Width 300 and shown unless already visible.
    static void ShowPane(AddinPane& pane);
    void SendLog(UsageEventKind kind, ProgramKind program);

    AddinControllerServices s_;
    bool connected_ = false;
    PaneFactory* factory_ = nullptr;
    ProgramKind programKind_ = ProgramKind::None;
    int32_t hostMajorVersion_ = 0;
    Identity identity_;
    PaneTable panes_;
    std::string openedDocumentName_;
    std::string ribbonSearchText_;
};

}  // namespace kv
