#include "addin/features/service/ServiceClient.h"

#include <chrono>
#include <memory>
#include <vector>

#include "addin/features/service/RequestText.h"
#include "platform/CookieSource.h"
#include "platform/Network.h"

namespace kv {

namespace {

// A reply that a file slot may keep: the parser finished it, the status is 2xx, and the body is
// whole (chunked to the last chunk, or exactly as long as announced).
bool IsWholeFile(const HttpParser& reply) {
    if (reply.phase() != Idle || reply.status() < 200 || reply.status() > 299) return false;
    if (reply.chunked()) return true;
    if (reply.contentLength() < 0) return false;
    size_t announced = static_cast<size_t>(reply.contentLength());
    return announced == 0 ? reply.body().empty() : reply.body().size() >= announced;
}

}  // namespace

ServiceClient::ServiceClient(Network& net, CookieSource& cookies, ServiceConfig config, Clock& clock)
    : net_(net), cookies_(cookies), config_(std::move(config)), cache_(clock) {
    for (int i = 0; i < kReplySlotCount; ++i) limits_[i] = LimitsFor(static_cast<ReplySlot>(i));
}

ServiceUrl ServiceClient::Address(const std::string& pathAndQuery) const {
    std::string text = "http://" + config_.serviceHost;
    if (config_.port != 80) text += ":" + std::to_string(config_.port);
    return ServiceUrl::Parse(text + pathAndQuery);
}

bool ServiceClient::HttpExchange(ReplySlot slot, const ServiceUrl& url, ExchangeProgress* progress) {
    const int index = static_cast<int>(slot);
    if (index < 0 || index >= kReplySlotCount) return false;
    return HttpExchange(slot, url, limits_[index], progress);
}

bool ServiceClient::HttpExchange(ReplySlot slot, const ServiceUrl& url, const ExchangeLimits& limits,
                                 ExchangeProgress* progress) {
    const int index = static_cast<int>(slot);
    if (index < 0 || index >= kReplySlotCount) return false;
    HttpParser& reply = slots_[index];
    const bool fileSlot = IsFileSlot(slot);
    reply.reset();

    if (url.host.empty() || HasControlBytes(url.host) || !ValidPort(url.port)) return false;

    // A host that could not be connected to lately fails at once, without resolving.
    if (cache_.Unreachable(url.host, url.port)) return false;

    // A name that does not resolve leaves no cache entry and no connection attempt.
    uint32_t addr = 0;
    if (!cache_.Find(url.host, &addr)) {
        if (!net_.Resolve(url.host, &addr)) return false;
        cache_.Add(url.host, addr);
    }

    std::unique_ptr<Socket> socket = net_.CreateSocket();
    if (!socket) return false;
    if (!socket->Connect(addr, url.port, limits.connectMs)) {
        cache_.MarkUnreachable(url.host, url.port);
        return false;
    }
    cache_.MarkReachable(url.host, url.port);

    SendRequestText(*socket,
                    BuildGetRequest(cookies_, config_.cookieAddress, url.compose(ServiceUrl::RequestTarget), url.host));

    // Receive loop: silence is counted from the last byte, the whole exchange is bounded by the
    // deadline, so a server that drips bytes cannot hold the caller forever. With a progress
    // the waits are sliced so the caller gets its call (and its say) several times a second.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.deadlineMs);
    Clock::time_point lastByte = Clock::now();
    auto msUntil = [](Clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    };
    std::vector<char> buffer;
    for (;;) {
        if (progress) {
            const long long total = reply.chunked() || reply.contentLength() <= 0 ? -1 : reply.contentLength();
            if (!progress->Continue(reply.body().size(), total)) return false;
        }
        const long long left = msUntil(deadline);
        const long long quiet = msUntil(lastByte + std::chrono::milliseconds(limits.silenceMs));
        if (left <= 0 && !fileSlot) {
            // A host that drips a list out keeps doing so: the pane's next lists (a search asks
            // for several) fail at once instead of each taking the whole limit again.
            cache_.MarkUnreachable(url.host, url.port);
            return false;
        }
        if (left <= 0 || quiet <= 0) return false;
        long long wait = left < quiet ? left : quiet;
        if (progress && wait > kProgressIntervalMs) wait = kProgressIntervalMs;
        const int ready = socket->WaitReadable(static_cast<int>(wait));
        if (ready < 0) return false;
        if (ready == 0) continue;  // the limits are checked at the top

        long available = socket->Available();
        if (available <= 0) {
            // The peer has closed: a text reply stands as read, a file only when it is whole
            // (a whole one has already returned below).
            return fileSlot ? IsWholeFile(reply) : true;
        }
        buffer.resize(static_cast<size_t>(available));
        long got = socket->Receive(buffer.data(), buffer.size());
        if (got <= 0) return fileSlot ? IsWholeFile(reply) : true;
        lastByte = Clock::now();

        reply.feed(buffer.data(), static_cast<size_t>(got));
        if (reply.malformed()) return false;
        if (reply.body().size() > limits.maxBody) return false;
        if (reply.contentLength() > 0 && static_cast<size_t>(reply.contentLength()) > limits.maxBody) return false;
        if (reply.phase() == Idle) return fileSlot ? IsWholeFile(reply) : true;
    }
}

}  // namespace kv
