// The request texts: a reply-reading exchange's, with the browser's cookies, and a one-way log
// request's.
#pragma once
#include <string>

namespace kv {

class CookieSource;
class Socket;

std::string BuildGetRequest(CookieSource& cookies, const std::string& cookieAddress, const std::string& target,
                            const std::string& host);
std::string BuildLogRequest(const std::string& target, const std::string& serviceHost,
                            const std::string& userAgentLine);

// Control bytes would let a value end the line it stands in; they never belong in a head.
std::string WithoutControlBytes(const std::string& text);
bool HasControlBytes(const std::string& text);

// Sends the whole text; a short send is continued rather than ignored.
void SendRequestText(Socket& socket, const std::string& text);

}  // namespace kv
