// The host's readable log: one line per call or event, "<category> <text>", UTF-8, to standard
// output and to the file named by --log or HOSTSIM_LOG. Categories:
//   host->   a call the host makes into an add-in or its control (callbacks included)
//   host<-   a call an add-in or client makes into the host's objects
//   event    an application event raised through a connection point
//   script   a script step
//   host     anything else the host reports; error: a failure
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

namespace hostsim {

void OpenLogFile(const std::wstring& path);
// Never throws: a line that cannot be written is dropped.
void Log(const char* category, const std::string& text) noexcept;
void LogError(const std::string& text) noexcept;

// Logs the line `text()` builds, dropping it if building it throws: for interface methods that
// have already handed out a reference or a string when they log.
template <class F>
void LogBuilt(const char* category, F&& text) noexcept {
    try {
        Log(category, text());
    } catch (...) {}
}

// A short readable form of a variant for the log: "\"text\"", "42", "true", "IDispatch",
// "missing", "empty".
std::string Describe(const VARIANT& v);
std::string Quote(const std::wstring& s);

}  // namespace hostsim
