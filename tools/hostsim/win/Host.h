// The simulated office host: one application (Word, Excel or PowerPoint), its windows, documents,
// loaded add-ins, their ribbons and the custom task panes they created.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/hostsim/OfficeHost_h.h"
#include "tools/hostsim/core/RibbonLayout.h"
#include "tools/hostsim/core/RibbonModel.h"
#include "tools/hostsim/win/ComSupport.h"

namespace hostsim {

enum class AppKind { Word, Excel, PowerPoint };

struct AppInfo {
    AppKind kind;
    const wchar_t* name;           // "Word": registry key, captions
    const wchar_t* progId;         // "Word.Application"
    CLSID clsid;                   // the application class of that ProgID
    IID applicationIid;            // the host's _Application
    IID eventsIid;                 // the host's application events
    DISPID openEventId;            // 4, 1567, 2021
    const wchar_t* openEventName;  // DocumentOpen, WorkbookOpen, AfterPresentationOpen
    const wchar_t* collection;     // Documents, Workbooks, Presentations
    const wchar_t* blankPrefix;    // name of a new blank document, followed by a number
    const wchar_t* ribbonId;       // the ribbon id passed to GetCustomUI
    bool windowPerDocument;
};

const AppInfo& AppInfoFor(AppKind kind);
bool AppKindFromName(const std::wstring& name, AppKind& kind);

class ApplicationObject;
class DocumentObject;
class WindowObject;
class CustomTaskPaneObject;
class RibbonUIObject;
struct Frame;
struct AddinRecord;

struct Document {
    std::wstring name;      // file name shown in captions
    std::wstring fullName;  // path as opened, empty for a new blank document
    Frame* frame = nullptr;
    ComPtr<IDispatch> object;  // a DocumentObject
};

// One ribbon control of one add-in as shown in one frame.
struct RibbonItem {
    const RibbonNode* node = nullptr;
    AddinRecord* addin = nullptr;
    HWND hwnd = nullptr;
    int commandId = 0;
    bool visible = true;
    bool large = false;
    bool checked = false;
    std::wstring committedText;  // last text the edit box reported through onChange
    kv::UniqueIcon icon;
    kv::UniqueGdiObject bitmap;
    ComPtr<IDispatch> control;  // the IRibbonControl handed to callbacks
};

struct Frame {
    int number = 0;  // 1-based, in creation order
    HWND hwnd = nullptr;
    HWND docArea = nullptr;
    std::vector<Document*> documents;
    Document* activeDocument = nullptr;
    std::vector<std::unique_ptr<RibbonItem>> ribbon;
    std::vector<PlacedControl> tabs;             // captions drawn in the strip
    std::vector<PlacedControl> groups;           // group frames drawn in the strip
    std::vector<ComPtr<_CustomTaskPane>> panes;  // CustomTaskPaneObjects
    ComPtr<IDispatch> window;                    // a WindowObject
    int ribbonHeight = 0;
};

struct AddinRecord {
    std::wstring progId;
    ComPtr<IUnknown> object;
    ComPtr<_IDTExtensibility2> extensibility;
    ComPtr<IDispatch> callbacks;  // the add-in's IDispatch: ribbon callbacks by name
    RibbonParse ribbon;
    bool ribbonLoaded = false;
    ComPtr<IRibbonUI> ribbonUI;
    ComPtr<IDispatch> addinInstance;  // the COMAddIn-like object passed to OnConnection
};

class Host {
public:
    static Host& Get();

    AppInfo info{};
    std::wstring version = L"16.0";
    bool embedding = false;    // started by COM as a local server
    bool userControl = false;  // visible to a user: does not end with its last client
    bool visible = false;
    bool quitting = false;
    std::wstring screensDir;
    HFONT font = nullptr;
    ComPtr<IDispatch> app;  // the ApplicationObject
    std::vector<std::unique_ptr<Frame>> frames;
    std::vector<std::unique_ptr<Document>> documents;
    std::vector<std::unique_ptr<AddinRecord>> addins;
    Frame* lastActive = nullptr;
    int blankCounter = 0;

    // Frames and documents.
    Frame* CreateFrame();
    Frame* ActiveFrame();
    Frame* FrameOf(HWND hwnd);
    void ActivateFrame(Frame* frame);
    Document* NewBlankDocument();
    HRESULT OpenDocument(const std::wstring& path, Document** out, std::wstring& error);
    std::wstring WindowCaption(const Frame* frame) const;  // Word's Window.Caption
    std::wstring ApplicationCaption() const;
    void UpdateCaptions(Frame* frame);
    void LayoutFrame(Frame* frame);
    void ShowAll(bool show);

    // Events to connected sinks.
    void RaiseOpenEvent(Document* doc);

    // Add-ins.
    void LoadAddins();
    void ShutdownAddins();
    void BuildRibbon(Frame* frame);
    void InvalidateRibbon(AddinRecord* addin, const std::wstring& controlId);
    RibbonItem* FindRibbonItem(Frame* frame, const std::string& id);
    RibbonItem* FindRibbonItem(Frame* frame, int commandId);
    void OnRibbonCommand(Frame* frame, RibbonItem* item, int notification);
    HRESULT CommitEditBox(Frame* frame, RibbonItem* item);
    void DrawRibbonItem(const DRAWITEMSTRUCT* dis);
    void PaintRibbonStrip(Frame* frame, HDC dc);

    // Task panes.
    HRESULT CreatePane(const std::wstring& progId, const std::wstring& title, Frame* frame, _CustomTaskPane** out);
    _CustomTaskPane* PaneForFrame(Frame* frame);  // the first visible pane, else the first

    // Ends the application: the innermost message loop (an add-in's modal one included) gets
    // WM_QUIT and every loop of the host returns once it sees `quitting`.
    void Quit();
    // The last external client of an embedded host has gone: ends the host after the current
    // call has returned, unless a client came back or the user took the host meanwhile.
    void EndWhenUnused();
    void EndIfUnused();  // the deferred half of EndWhenUnused

private:
    Host() = default;
};

// Posted to the first frame: the deferred end of an embedded host without clients.
constexpr UINT kEndIfUnusedMessage = WM_APP + 20;

// Registered window classes and shared helpers.
bool RegisterWindowClasses();
int TextWidthPx(const std::string& utf8);

// Objects of the object model.
HRESULT CreateApplicationObject(ComPtr<IDispatch>& out);
ComPtr<IDispatch> NewDocumentObject(Document* doc);
ComPtr<IDispatch> NewWindowObject(Frame* frame);
void NotifyConnectionsOnQuit();
DWORD ExternalConnections();  // strong connections of clients in other processes
void DetachObjects();         // before windows and documents are destroyed

// Ribbon objects.
ComPtr<IDispatch> NewRibbonControl(const std::wstring& id, const std::wstring& tag, Frame* frame);
ComPtr<IRibbonUI> NewRibbonUI(AddinRecord* addin);
// Cuts the object off its add-in record, which goes at shutdown while the add-in may still
// hold the object.
void DetachRibbonUI(IRibbonUI* ui);

// Task pane objects.
ComPtr<ICTPFactory> NewPaneFactory();
HWND PaneWindow(_CustomTaskPane* pane);
HWND PaneControlWindow(_CustomTaskPane* pane);  // the AtlAxWin window
bool PaneVisible(_CustomTaskPane* pane);
int PaneWidth(_CustomTaskPane* pane);
ComPtr<IDispatch> PaneContent(_CustomTaskPane* pane);
void DestroyPaneWindow(_CustomTaskPane* pane);
// A key message for a window inside a pane goes to the pane's control first; true when the
// control translated it (the message is then not dispatched).
bool OfferKeyToPane(MSG* msg);
// F6: the active window's visible pane gets the keyboard (its control UI-activated); true when
// the key was used so.
bool FocusPaneFromKey(const MSG* msg);

// Local server and registration.
HRESULT RegisterServers();
HRESULT UnregisterServers();
void EnsureProgIdsRegistered();  // the three ProgIDs, where missing
HRESULT StartClassFactory(DWORD& cookie);
void StopClassFactory(DWORD cookie);
HRESULT RegisterInRot(DWORD& cookie);
// Waits (bounded) until the system's COM service runs, starting it if needed.
HRESULT WaitForComService(DWORD timeoutMs);
// Refuses calls from other processes once the host is quitting.
HRESULT RegisterCallFilter();
void RevokeCallFilter();
void RevokeFromRot(DWORD cookie);

// Screenshots.
bool SaveWindowBitmap(HWND hwnd, const std::wstring& path);

}  // namespace hostsim
