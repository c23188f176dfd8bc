// kvservice: the substitute web service. See README.md beside this file.
//   kvservice --port N --data DIR [--log FILE] [--chunked] [--bind ADDR] [--port-file FILE]
//             [--version TEXT] [--newlib FILE] [--base http://host:port]
//             [--slow-template SIZE:RATE] [--drip-lists MS]
// --port 0 takes a free port; the port in use is printed and, with --port-file, written to FILE
// (whole, by a rename) once the service accepts connections.
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "platform/Decimal.h"
#include "tools/kvservice/Catalogue.h"
#include "tools/kvservice/RawFront.h"
#include "tools/kvservice/Service.h"
#include "tools/kvservice/Text.h"

namespace {

struct Args {
    int port = -1;
    std::string data;
    std::string log;
    std::string portFile;
    std::string bind = "127.0.0.1";
    kvservice::ServiceOptions service;
};

int Usage(const char* why) {
    std::fprintf(stderr,
                 "kvservice: %s\n"
                 "usage: kvservice --port N --data DIR [--log FILE] [--chunked] [--bind ADDR] [--port-file FILE]\n"
                 "                 [--version TEXT] [--newlib FILE] [--base http://host:port]\n"
                 "                 [--slow-template SIZE:RATE] [--drip-lists MS]\n",
                 why);
    return 2;
}

bool ParseArgs(int argc, char** argv, Args& args, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--port") {
            if (!value(v)) return false;
            const std::optional<int64_t> p = kv::ParseDecimal(v, 0, 65535);
            if (!p) {
                error = "bad port " + v;
                return false;
            }
            args.port = static_cast<int>(*p);
        } else if (a == "--data") {
            if (!value(args.data)) return false;
        } else if (a == "--log") {
            if (!value(args.log)) return false;
        } else if (a == "--port-file") {
            if (!value(args.portFile)) return false;
        } else if (a == "--bind") {
            if (!value(args.bind)) return false;
        } else if (a == "--version") {
            if (!value(args.service.version)) return false;
            if (args.service.version.size() > 10) {
                error = "the version text is at most 10 bytes";
                return false;
            }
        } else if (a == "--newlib") {
            if (!value(args.service.newLibrary)) return false;
        } else if (a == "--base") {
            if (!value(args.service.base)) return false;
            while (!args.service.base.empty() && args.service.base.back() == '/') args.service.base.pop_back();
        } else if (a == "--slow-template") {
            if (!value(v)) return false;
            const size_t colon = v.find(':');
            const std::optional<int64_t> size =
                colon == std::string::npos ? std::nullopt : kv::ParseDecimal(v.substr(0, colon), 1, 1LL << 30);
            const std::optional<int64_t> rate =
                colon == std::string::npos ? std::nullopt : kv::ParseDecimal(v.substr(colon + 1), 1, 1LL << 30);
            if (!size || !rate) {
                error = "bad --slow-template " + v + " (SIZE:RATE, bytes and bytes a second)";
                return false;
            }
            args.service.slowTemplateSize = static_cast<size_t>(*size);
            args.service.slowTemplateRate = static_cast<size_t>(*rate);
        } else if (a == "--drip-lists") {
            if (!value(v)) return false;
            const std::optional<int64_t> ms = kv::ParseDecimal(v, 1, 60000);
            if (!ms) {
                error = "bad --drip-lists " + v;
                return false;
            }
            args.service.dripListMs = static_cast<int>(*ms);
        } else if (a == "--chunked") {
            args.service.chunked = true;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (args.port < 0 || args.data.empty()) {
        error = "--port and --data are required";
        return false;
    }
    return true;
}

std::string HeaderOr(const httplib::Request& req, const char* name) {
    return req.has_header(name) ? req.get_header_value(name) : std::string();
}

void Answer(const kvservice::Service& service, const httplib::Request& req, httplib::Response& res) {
    kvservice::ServiceRequest request;
    request.method = req.method;
    if (!kvservice::UnhexBytes(HeaderOr(req, kvservice::kRawTargetHeader), request.target) || request.target.empty())
        request.target = req.target;
    request.host = HeaderOr(req, "Host");
    request.cookie = HeaderOr(req, "Cookie");
    request.chunkedSwitch = HeaderOr(req, "X-Kv-Chunked");
    request.body = req.body;

    kvservice::ServiceReply reply = service.Handle(request);
    res.status = reply.status;
    for (const auto& h : reply.headers) res.set_header(h.first.c_str(), h.second);
    if (reply.bytesPerSecond > 0 || reply.byteIntervalMs > 0) {
        // A slow service: tenths of a second's worth at a time, or one byte per interval. A
        // client that went away fails the write and ends the reply.
        const size_t piece = reply.bytesPerSecond > 0 ? std::max<size_t>(1, reply.bytesPerSecond / 10) : 1;
        const int pauseMs = reply.bytesPerSecond > 0 ? 100 : reply.byteIntervalMs;
        auto body = std::make_shared<std::string>(std::move(reply.body));
        res.set_content_provider(body->size(), reply.contentType.c_str(),
                                 [body, piece, pauseMs](size_t offset, size_t length, httplib::DataSink& sink) {
                                     std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                                     const size_t n = std::min(piece, length);
                                     return sink.write(body->data() + offset, n);
                                 });
        return;
    }
    if (!reply.chunked) {
        res.set_content(reply.body, reply.contentType.c_str());
        return;
    }
    // Several small chunks, so clients meet chunk boundaries inside the body.
    auto body = std::make_shared<std::string>(std::move(reply.body));
    res.set_chunked_content_provider(reply.contentType.c_str(), [body](size_t offset, httplib::DataSink& sink) {
        if (offset < body->size()) {
            size_t n = std::min<size_t>(1000, body->size() - offset);
            sink.write(body->data() + offset, n);
        } else {
            sink.done();
        }
        return true;
    });
}

// Readers poll for the file: it appears whole or not at all.
bool WritePortFile(const std::string& path, int port) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << port << "\n";
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argc, argv, args, error)) return Usage(error.c_str());

    kvservice::Catalogue catalogue;
    if (!catalogue.Load(args.data, error)) {
        std::fprintf(stderr, "kvservice: %s\n", error.c_str());
        return 1;
    }

    // Signals are taken by sigwait below; every thread started from here inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    server.set_keep_alive_max_count(1);  // one request per connection: the front logs each one
    server.set_read_timeout(5, 0);
    server.set_payload_max_length(64 * 1024);
    int backendPort = server.bind_to_any_port("127.0.0.1");
    if (backendPort < 0) {
        std::fprintf(stderr, "kvservice: cannot bind the internal port\n");
        return 1;
    }

    kvservice::RawFront front;
    if (!front.Open(args.bind, args.port, backendPort, args.log, error)) {
        std::fprintf(stderr, "kvservice: %s\n", error.c_str());
        return 1;
    }
    args.service.port = front.Port();
    kvservice::Service service(catalogue, args.service);
    auto handler = [&service](const httplib::Request& req, httplib::Response& res) { Answer(service, req, res); };
    server.Get(".*", handler);
    server.Post(".*", handler);

    // The port file before anything runs: a reader of the start line may look for it at once, and
    // a failure here has no thread to stop yet.
    if (!args.portFile.empty() && !WritePortFile(args.portFile, front.Port())) {
        std::fprintf(stderr, "kvservice: cannot write %s\n", args.portFile.c_str());
        return 1;
    }
    std::thread backend([&server] { server.listen_after_bind(); });
    std::thread accepter([&front] { front.Run(); });
    std::printf("kvservice listening on %s:%d\n", args.bind.c_str(), front.Port());
    std::fflush(stdout);

    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    front.Stop();
    accepter.join();
    // A stop before the back end's loop has begun would be lost, and its join would wait for good.
    for (int i = 0; i < 500 && !server.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    server.stop();
    backend.join();
    return 0;
}
