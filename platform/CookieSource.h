// Where the socket client's Cookie line comes from: the system browser cookie store on
// Windows (WinINet), a cookie file elsewhere (cookie_file.cpp).
#pragma once
#include <cstddef>
#include <string>

namespace kv {

class CookieSource {
public:
    virtual ~CookieSource() = default;
    // Cookies held for url, as "a=1; b=2". False when the store has none, fails, or they
    // would not fit into capacity bytes (terminating NUL included).
    virtual bool GetCookie(const std::string& url, std::string* cookies, size_t capacity) = 0;
    // Stores one Set-Cookie value ("name=value; Path=/; Max-Age=0 ...") for url, as a browser
    // does; an expired one removes the cookie. False when the store refuses it or has no writer.
    virtual bool SetCookie(const std::string& /*url*/, const std::string& /*setCookie*/) { return false; }
};

CookieSource& SystemCookieSource();

}  // namespace kv
