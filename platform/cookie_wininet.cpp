// The system browser cookie store (WinINet): the cookies of the member login made in the
// service's pages reach the socket client through here.
#include <windows.h>
#include <wininet.h>

#include <vector>

#include "platform/CookieSource.h"

namespace kv {

namespace {

class WinInetCookies : public CookieSource {
public:
    bool GetCookie(const std::string& url, std::string* cookies, size_t capacity) override {
        if (url.empty() || capacity == 0 || capacity > 0x7FFFFFFF) return false;
        std::vector<char> buffer(capacity, '\0');
        DWORD size = static_cast<DWORD>(capacity);
        if (!::InternetGetCookieA(url.c_str(), nullptr, buffer.data(), &size)) return false;
        // size is the length without the terminating zero; trust the zero over it.
        buffer.back() = '\0';
        cookies->assign(buffer.data());
        return true;
    }
    bool SetCookie(const std::string& url, const std::string& setCookie) override {
        if (url.empty() || setCookie.empty()) return false;
        // WinINet reads the attributes itself (path, expiry; a past expiry deletes).
        return ::InternetSetCookieA(url.c_str(), nullptr, setCookie.c_str()) != FALSE;
    }
};

}  // namespace

CookieSource& SystemCookieSource() {
    static WinInetCookies source;
    return source;
}

}  // namespace kv
