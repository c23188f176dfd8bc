// kvfetch [--slot cert|week|free|template|update] [--head] [--time] [--cookie-address URL]
//         [--deadline MS] [--max-body BYTES] URL
// Runs one reply-reading exchange on the slot (default free) and writes the reply body to
// stdout byte for byte. Exit 0 when the exchange succeeded, 1 when it failed, 2 on bad
// arguments. --head prints what the parser read from the head on stderr; --time prints how
// long the exchange took ("exchange-ms: N"), without the program's own start.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BinaryStdout.h"
#include "addin/features/service/ServiceClient.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"

namespace {

int Usage(const char* why) {
    std::fprintf(stderr, "kvfetch: %s\n", why);
    std::fprintf(stderr,
                 "usage: kvfetch [--slot cert|week|free|template|update] [--head] [--time] [--cookie-address URL]\n"
                 "               [--deadline MS] [--max-body BYTES] URL\n");
    return 2;
}

// A whole decimal number within [1, max]; false for anything else.
bool ReadCount(const std::string& text, unsigned long long max, unsigned long long* value) {
    if (text.empty() || text.size() > 19) return false;
    unsigned long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v < 1 || v > max) return false;
    *value = v;
    return true;
}

void PrintHead(const kv::HttpParser& reply) {
    std::fprintf(stderr, "status: %u\n", reply.status());
    std::fprintf(stderr, "first-line kind: %u\n", static_cast<unsigned>(reply.firstLineKind()));
    std::fprintf(stderr, "content-length: %d\n", reply.contentLength());
    std::fprintf(stderr, "chunked: %s\n", reply.chunked() ? "yes" : "no");
    std::fprintf(stderr, "host: %s\n", reply.host().c_str());
    std::fprintf(stderr, "location: %s\n", reply.location().c_str());
    for (const std::string& cookie : reply.cookies()) std::fprintf(stderr, "set-cookie: %s\n", cookie.c_str());
    std::fprintf(stderr, "body bytes: %zu\n", reply.body().size());
}

int Run(int argc, char** argv) {
    kv::ReplySlot slot = kv::ReplySlot::FreeSearch;
    bool head = false, time = false;
    std::string url;
    std::string cookieAddress;
    unsigned long long deadlineMs = 0, maxBody = 0;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--head") {
            head = true;
        } else if (arg == "--time") {
            time = true;
        } else if (arg == "--slot") {
            if (!hasValue || !kv::ParseReplySlot(argv[++i], &slot))
                return Usage("--slot needs cert, week, free, template or update");
        } else if (arg == "--cookie-address") {
            if (!hasValue) return Usage("--cookie-address needs a URL");
            cookieAddress = argv[++i];
        } else if (arg == "--deadline") {
            if (!hasValue || !ReadCount(argv[++i], 24ull * 3600 * 1000, &deadlineMs))
                return Usage("--deadline needs milliseconds");
        } else if (arg == "--max-body") {
            if (!hasValue || !ReadCount(argv[++i], 1ull << 40, &maxBody)) return Usage("--max-body needs a byte count");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else if (url.empty()) {
            url = arg;
        } else {
            return Usage("only one URL");
        }
    }
    if (url.empty()) return Usage("no URL");

    kv::ServiceUrl address = kv::ServiceUrl::Parse(url);
    kv::ServiceConfig config = kv::DefaultServiceConfig();
    if (!address.host.empty()) {
        config.serviceHost = address.host;
        config.port = address.port;
    }
    if (!cookieAddress.empty()) config.cookieAddress = cookieAddress;

    kv::Network& net = kv::SystemNetwork();
    kv::ServiceClient client(net, kv::SystemCookieSource(), config);
    kv::ExchangeLimits limits = kv::LimitsFor(slot);
    if (deadlineMs) limits.deadlineMs = static_cast<int>(deadlineMs);
    if (maxBody) limits.maxBody = static_cast<size_t>(maxBody);
    client.SetLimits(slot, limits);

    bool ok;
    const auto started = std::chrono::steady_clock::now();
    {
        kv::NetSession session(net);
        ok = session.started() && client.HttpExchange(slot, address);
    }
    const auto took = std::chrono::steady_clock::now() - started;
    const kv::HttpParser& reply = client.Reply(slot);
    if (head) PrintHead(reply);
    if (time) {
        std::fprintf(stderr, "exchange-ms: %lld\n",
                     static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    }

    kv::SetBinaryStdout();
    const std::string& body = reply.body();
    if (!body.empty() && std::fwrite(body.data(), 1, body.size(), stdout) != body.size()) return 1;
    if (std::fflush(stdout) != 0) return 1;
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (...) {
        std::fprintf(stderr, "kvfetch: out of memory\n");
        return 1;
    }
}
