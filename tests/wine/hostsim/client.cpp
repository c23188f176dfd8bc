// A second process that reaches the host the way other programs do: local-server creation by
// ProgID, the running-object table, and calls by name with a named argument.
//   hostsim_client local <ProgID> <document>   create (starts hostsim -Embedding), open, quit
//   hostsim_client active <ProgID> <seconds> [caption]
//                                              attach to a running host through GetActiveObject,
//                                              started at the same time as the host: waits for
//                                              its registration and, if given, for that caption
//   hostsim_client release <ProgID> -          create, read, release without Quit
//   hostsim_client tour <folder> -             each of the three hosts in turn: create, show,
//                                              open its document (Korean names), read the
//                                              captions and PowerPoint's HWND, check the
//                                              collections, quit, a call after Quit; then Word
//                                              shown and hidden again and released without Quit
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace {

using kv::Bstr;
using kv::ComPtr;
using kv::Variant;

std::string Utf8(const wchar_t* w) {
    std::string s;
    if (w && !kv::WideToUtf8(w, &s)) return "(not UTF-16)";
    return s;
}

void Say(const std::string& s) {
    std::printf("client %s\n", s.c_str());
    std::fflush(stdout);
}

std::string Hr(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(hr));
    return buf;
}

HRESULT Dispid(IDispatch* d, const wchar_t* name, DISPID& id) {
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    return d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
}

HRESULT Get(IDispatch* d, const wchar_t* name, VARIANT* out) {
    DISPID id;
    HRESULT hr = Dispid(d, name, id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(out);
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr);
}

std::string GetText(IDispatch* d, const wchar_t* name) {
    Variant v;
    HRESULT hr = Get(d, name, v.get());
    if (FAILED(hr)) return "(" + Hr(hr) + ")";
    Variant s;
    return SUCCEEDED(VariantChangeType(s.get(), v.get(), 0, VT_BSTR)) ? Utf8(V_BSTR(s.get())) : "?";
}

HRESULT Call(IDispatch* d, const wchar_t* name) {
    DISPID id;
    HRESULT hr = Dispid(d, name, id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
}

HRESULT PutVisible(IDispatch* d, bool visible) {
    DISPID id;
    HRESULT hr = Dispid(d, L"Visible", id);
    if (FAILED(hr)) return hr;
    Variant v;
    V_VT(v.get()) = VT_I4;  // as scripts pass it: 1
    V_I4(v.get()) = visible ? 1 : 0;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS p{v.get(), &put, 1, 1};
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, nullptr);
}

// collection.Open(FileName:=path), with the argument passed by name.
HRESULT OpenNamed(IDispatch* collection, const std::wstring& path, VARIANT* result) {
    LPOLESTR names[2] = {const_cast<LPOLESTR>(L"Open"), const_cast<LPOLESTR>(L"FileName")};
    DISPID ids[2];
    HRESULT hr = collection->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, ids);
    if (FAILED(hr)) return hr;
    Variant arg;
    V_VT(arg.get()) = VT_BSTR;
    V_BSTR(arg.get()) = SysAllocString(path.c_str());
    DISPPARAMS p{arg.get(), &ids[1], 1, 1};
    VariantInit(result);
    EXCEPINFO ex{};
    hr = collection->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, result, &ex, nullptr);
    Bstr source, description, help;  // what the call handed over, freed here
    *source.put() = ex.bstrSource;
    *description.put() = ex.bstrDescription;
    *help.put() = ex.bstrHelpFile;
    if (hr == DISP_E_EXCEPTION) Say("Open exception: " + Utf8(description.get()));
    return hr;
}

const wchar_t* CollectionOf(const std::wstring& progId) {
    if (progId.rfind(L"Excel", 0) == 0) return L"Workbooks";
    if (progId.rfind(L"PowerPoint", 0) == 0) return L"Presentations";
    return L"Documents";
}

int Local(const std::wstring& progId, const std::wstring& doc) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    Say("CLSIDFromProgID " + Hr(hr));
    if (FAILED(hr)) return 1;
    ComPtr<IDispatch> app;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, app.putVoid());
    Say("CoCreateInstance(CLSCTX_LOCAL_SERVER) " + Hr(hr));
    if (FAILED(hr)) return 1;
    Say("Name=" + GetText(app.get(), L"Name") + " Version=" + GetText(app.get(), L"Version"));
    if (progId.rfind(L"Word", 0) == 0) {
        DISPID id;
        Say("Word refuses Workbooks " + Hr(Dispid(app.get(), L"Workbooks", id)));
    }
    ComPtr<IUnknown> running;
    hr = GetActiveObject(clsid, nullptr, running.put());
    Say("GetActiveObject " + Hr(hr));
    if (running) {
        ComPtr<IUnknown> a, b;
        app.as(IID_IUnknown, &a);
        running.as(IID_IUnknown, &b);
        Say(std::string("same object=") + (a && a.get() == b.get() ? "yes" : "no"));
    }
    HRESULT put = PutVisible(app.get(), true);
    Say("Visible put " + Hr(put) + " now=" + GetText(app.get(), L"Visible"));
    Variant coll;
    hr = Get(app.get(), CollectionOf(progId), coll.get());
    Say(Utf8(CollectionOf(progId)) + " " + Hr(hr));
    if (SUCCEEDED(hr) && V_VT(coll.get()) == VT_DISPATCH) {
        IDispatch* c = V_DISPATCH(coll.get());
        {
            Variant opened;
            hr = OpenNamed(c, doc, opened.get());
            Say("Open(FileName:=...) " + Hr(hr) +
                (SUCCEEDED(hr) && V_VT(opened.get()) == VT_DISPATCH
                     ? " Name=" + GetText(V_DISPATCH(opened.get()), L"Name")
                     : ""));
        }
        Variant missing;
        Say("Open(missing file) " + Hr(OpenNamed(c, doc + L".missing", missing.get())));
        Say("Count=" + GetText(c, L"Count"));
    }
    Say("Caption=" + GetText(app.get(), L"Caption"));
    Say("Quit " + Hr(Call(app.get(), L"Quit")));
    return 0;
}

HRESULT GetHr(IDispatch* d, const wchar_t* name) {
    Variant v;
    return Get(d, name, v.get());
}

bool Has(IDispatch* d, const wchar_t* name) {
    DISPID id;
    return SUCCEEDED(Dispid(d, name, id));
}

ComPtr<IDispatch> CreateLocal(const wchar_t* progId, HRESULT& hr) {
    CLSID clsid;
    ComPtr<IDispatch> app;
    hr = CLSIDFromProgID(progId, &clsid);
    if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, app.putVoid());
    return app;
}

int Tour(const std::wstring& folder) {
    struct HostCase {
        const wchar_t* progId;
        const wchar_t* collection;
        const wchar_t* document;
    };
    const HostCase cases[] = {
        {L"Word.Application", L"Documents", L"보고서 초안.doc"},
        {L"Excel.Application", L"Workbooks", L"예산 계획.xls"},
        {L"PowerPoint.Application", L"Presentations", L"발표 자료.ppt"},
    };
    const wchar_t* collections[] = {L"Documents", L"Workbooks", L"Presentations"};
    int failures = 0;
    for (const HostCase& c : cases) {
        HRESULT hr;
        ComPtr<IDispatch> app = CreateLocal(c.progId, hr);
        std::string name = app ? GetText(app.get(), L"Name") : Utf8(c.progId);
        Say(name + " created " + Hr(hr));
        if (!app) {
            ++failures;
            continue;
        }
        HRESULT put = PutVisible(app.get(), true);
        Say(name + " Visible put " + Hr(put) + " now=" + GetText(app.get(), L"Visible"));
        std::string present;
        for (const wchar_t* coll : collections)
            present += " " + Utf8(coll) + "=" + (Has(app.get(), coll) ? "yes" : "no");
        Say(name + present);
        Variant coll;
        hr = Get(app.get(), c.collection, coll.get());
        if (SUCCEEDED(hr) && V_VT(coll.get()) == VT_DISPATCH) {
            Variant opened;
            hr = OpenNamed(V_DISPATCH(coll.get()), folder + L"\\" + c.document, opened.get());
            Say(name + " Open " + Hr(hr) +
                (SUCCEEDED(hr) && V_VT(opened.get()) == VT_DISPATCH
                     ? " Name=" + GetText(V_DISPATCH(opened.get()), L"Name")
                     : ""));
        } else {
            Say(name + " " + Utf8(c.collection) + " " + Hr(hr));
        }
        Variant window;
        hr = Get(app.get(), L"ActiveWindow", window.get());
        if (SUCCEEDED(hr) && V_VT(window.get()) == VT_DISPATCH)
            Say(name + " ActiveWindow.Caption=" + GetText(V_DISPATCH(window.get()), L"Caption"));
        Say(name + " Caption=" + GetText(app.get(), L"Caption"));
        if (Has(app.get(), L"HWND")) {
            // A 32-bit handle value made a window handle again the documented way, in this process.
            Variant h;
            hr = Get(app.get(), L"HWND", h.get());
            HWND hwnd =
                SUCCEEDED(hr) && V_VT(h.get()) == VT_I4 ? static_cast<HWND>(LongToHandle(V_I4(h.get()))) : nullptr;
            wchar_t title[256] = L"";
            if (hwnd) GetWindowTextW(hwnd, title, 256);
            Say(name + " HWND type=" + std::to_string(V_VT(h.get())) +
                " window=" + (hwnd && IsWindow(hwnd) ? "yes" : "no") + " title=" + Utf8(title));
        }
        Say(name + " Quit " + Hr(Call(app.get(), L"Quit")));
        // The host is ending: it must refuse this call, not run it.
        hr = GetHr(app.get(), L"Name");
        Say(name + " call after Quit " + (FAILED(hr) ? "refused" : "ran") + " " + Hr(hr));
    }
    // Shown and hidden again, an embedded host is back under its clients' control and ends
    // with the last of them.
    HRESULT hr;
    ComPtr<IDispatch> app = CreateLocal(L"Word.Application", hr);
    if (!app) {
        Say("Word created again " + Hr(hr));
        return 1;
    }
    HRESULT shown = PutVisible(app.get(), true);
    HRESULT hidden = PutVisible(app.get(), false);
    Say("Word shown " + Hr(shown) + " hidden " + Hr(hidden) + " UserControl=" + GetText(app.get(), L"UserControl"));
    app.reset();
    Say("Word released without Quit");
    return failures ? 1 : 0;
}

// Creates the application, reads its name and lets it go without Quit.
int Release(const std::wstring& progId) {
    HRESULT hr;
    ComPtr<IDispatch> app = CreateLocal(progId.c_str(), hr);
    Say("attached " + Hr(hr) +
        (app ? " Name=" + GetText(app.get(), L"Name") + " Visible=" + GetText(app.get(), L"Visible") : ""));
    return SUCCEEDED(hr) ? 0 : 1;
}

// A host that is just starting may not have registered its ProgID (a fresh installation) nor
// entered the running-object table yet: both are retried until the deadline.
int Active(const std::wstring& progId, int seconds, const std::wstring& caption) {
    DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    auto timeLeft = [&] { return static_cast<LONG>(deadline - GetTickCount()) > 0; };
    CLSID clsid;
    HRESULT hr;
    while (FAILED(hr = CLSIDFromProgID(progId.c_str(), &clsid)) && timeLeft()) Sleep(100);
    if (FAILED(hr)) {
        Say("CLSIDFromProgID " + Hr(hr));
        return 1;
    }
    ComPtr<IUnknown> running;
    while (FAILED(hr = GetActiveObject(clsid, nullptr, running.put())) && timeLeft()) Sleep(100);
    Say("GetActiveObject " + Hr(hr));
    if (!running) return 1;
    ComPtr<IDispatch> app;
    if (FAILED(running.as(IID_IDispatch, &app))) return 1;
    running.reset();
    // The host is ready for this client once it shows the expected caption.
    std::string want = Utf8(caption.c_str());
    std::string shown = GetText(app.get(), L"Caption");
    while (!want.empty() && shown != want && timeLeft()) {
        Sleep(100);
        shown = GetText(app.get(), L"Caption");
    }
    Say("Name=" + GetText(app.get(), L"Name") + " Caption=" + shown);
    if (progId.rfind(L"PowerPoint", 0) == 0)
        Say(std::string("HWND ") + (GetText(app.get(), L"HWND") != "0" ? "set" : "0"));
    Say("Quit " + Hr(Call(app.get(), L"Quit")));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: hostsim_client local|active ProgID document|seconds\n");
        return 2;
    }
    kv::ComApartment com;
    if (FAILED(com.result())) return 1;
    std::wstring mode = argv[1];
    int rc = mode == L"local"     ? Local(argv[2], argv[3])
             : mode == L"active"  ? Active(argv[2], _wtoi(argv[3]), argc > 4 ? argv[4] : L"")
             : mode == L"release" ? Release(argv[2])
             : mode == L"tour"    ? Tour(argv[2])
                                  : 2;
    return rc;
}
