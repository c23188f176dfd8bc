#include "addin/features/service/RequestText.h"

#include "addin/features/service/ServiceUrl.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"

namespace kv {

namespace {

constexpr size_t kCookieCapacity = 4096;

}  // namespace

std::string WithoutControlBytes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F) out += c;
    }
    return out;
}

bool HasControlBytes(const std::string& text) {
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

void SendRequestText(Socket& socket, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        long n = socket.Send(text.data() + sent, text.size() - sent);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

std::string BuildGetRequest(CookieSource& cookies, const std::string& cookieAddress, const std::string& target,
                            const std::string& host) {
    std::string cookie;
    if (!cookies.GetCookie(cookieAddress, &cookie, kCookieCapacity)) cookie.clear();
    cookie = WithoutControlBytes(cookie);

    std::string request;
    request.reserve(128 + target.size() + host.size() + cookie.size());
    request += "GET ";
    request += target.empty() ? std::string("/") : target;
    request += " HTTP/1.1\r\n";
    request += "Host: " + host + "\r\n";
    request += "User-Agent: test\r\n";
    request += "Accept: */*\r\n";
    request += "Accept-Language: ko\r\n";
    request += "Cookie: " + cookie + "\r\n";
    request += "\r\n";
    return request;
}

std::string BuildLogRequest(const std::string& target, const std::string& serviceHost,
                            const std::string& userAgentLine) {
    // Log targets carry values as they stand; a space or a control byte would break the
    // request line, so they get the same treatment as composed addresses.
    const std::string safeTarget = RequestLineSafe(target);

    std::string request;
    request += "GET " + safeTarget + " HTTP/1.1\r\n";
    request += "Host: " + WithoutControlBytes(serviceHost) + "\r\n";
    request += userAgentLine;
    request += "Accept: */*\r\n";
    request += "Accept-Language: ko\r\n";
    request += "Cookie: \r\n";
    request += "\r\n";
    return request;
}

}  // namespace kv
