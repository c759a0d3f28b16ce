// fetchUrl against fuzzed raw responses from the local test server: status
// lines, header blocks, bodies, cut-off and reset connections, redirects
// back to the server. Whatever arrives, the exchange returns promptly with a
// consistent outcome.
//
// No input may send the exchange anywhere but 127.0.0.1: every "location"
// in fuzzed bytes is defused and redirect targets come from a fixed list;
// on top of that, name resolution and connect() are fenced in to loopback
// for this process, should a response still name another host.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "fuzz_support.h"
#include "http/fetch.h"
#include "http/fetch_testing.h"
#include "support/test_server.h"
#include "text/text.h"

using namespace quillmoss;
using fuzzing::holdsNoZero;
namespace ts = quillmoss::testsupport;

// ---- the loopback fence ------------------------------------------------------

namespace {

bool isLoopback(const sockaddr* address) {
    if (address == nullptr) return false;
    if (address->sa_family == AF_UNIX) return true;
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        return IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr);
    }
    return false;
}

bool isLoopbackName(const char* node) {
    if (node == nullptr) return true;
    const std::string_view name(node);
    if (name == "localhost" || name == "::1") return true;
    in_addr v4{};
    return inet_pton(AF_INET, node, &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127;
}

}  // namespace

extern "C" int connect(int fd, const sockaddr* address, socklen_t length) {
    if (!isLoopback(address)) {
        errno = ENETUNREACH;
        return -1;
    }
    return static_cast<int>(syscall(SYS_connect, fd, address, length));
}

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    if (!isLoopbackName(node)) return EAI_NONAME;
    using Real = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real == nullptr ? EAI_FAIL : real(node, service, hints, result);
}

// ---- the server and the fuzzed replies ---------------------------------------

namespace {

// Never destroyed: connection threads may still read them while the process exits.
std::mutex& replyMutex = *new std::mutex;
ts::Reply& currentReply = *new ts::Reply;

ts::TestServer& server() {
    static ts::TestServer* const instance = [] {
        initHttp();
        FetchLimits limits;
        // Short enough that a stalled or cut-off reply costs little, so the
        // whole exchange stays far below the fuzzer's one-second limit.
        limits.connectTimeout = std::chrono::milliseconds(300);
        limits.stallTimeout = std::chrono::milliseconds(100);
        limits.maxBodyBytes = 256 << 10;
        limits.maxHeaderBytes = 16 << 10;
        limits.maxRedirects = 5;
        limits.maxMoves = 5;
        setFetchLimitsForTesting(limits);
        // Lives for the whole run: the fuzzer's exit does not wait for it.
        return new ts::TestServer([](const ts::RecordedRequest&) {
            std::lock_guard lock(replyMutex);
            return currentReply;
        });
    }();
    return *instance;
}

// "location" in any letter case becomes "xocation", so only the Location
// lines written below can send the exchange anywhere.
std::string defused(std::string bytes) {
    for (size_t i = 0; i + 8 <= bytes.size(); ++i) {
        if (strncasecmp(bytes.data() + i, "location", 8) == 0) bytes[i] = 'x';
    }
    return bytes;
}

std::string consumeStatusLine(FuzzedDataProvider& fdp) {
    static constexpr const char* kLines[] = {
        "HTTP/1.1 200 OK", "HTTP/1.1 301 Moved Permanently", "HTTP/1.1 302 Found",
        "HTTP/1.1 302 Moved Temporarily", "HTTP/1.0 301 Moved Permanently", "HTTP/1.1 404 Not Found",
        "HTTP/1.1 500 Internal Server Error", "HTTP/1.1 204 No Content", "HTTP/1.1 304 Not Modified",
        "HTTP/1.1 100 Continue", "HTTP/1.0 200 OK", "HTTP/2 200", "HTTP/1.1 999 Odd", "ICY 200 OK"};
    if (fdp.ConsumeIntegralInRange<int>(0, 7) == 0) return defused(fdp.ConsumeRandomLengthString(64));
    return kLines[fdp.ConsumeIntegralInRange<size_t>(0, std::size(kLines) - 1)];
}

std::string consumeHeaderLine(FuzzedDataProvider& fdp) {
    switch (fdp.ConsumeIntegralInRange<int>(0, 11)) {
    case 0: return "Content-Length: " + std::to_string(fdp.ConsumeIntegralInRange<int64_t>(-2, 1 << 20));
    case 1: return "Content-Length: " + defused(fdp.ConsumeRandomLengthString(24));
    case 2: return "Transfer-Encoding: chunked";
    case 3: return "Content-Type: text/html; charset=utf-8";
    case 4: return "Content-Type: text/html; charset=" + defused(fdp.ConsumeRandomLengthString(12));
    case 5: return "Set-Cookie: " + defused(fdp.ConsumeRandomLengthString(48));
    case 6: return "Connection: " + std::string(fdp.ConsumeBool() ? "close" : "keep-alive");
    case 7: return "Content-Encoding: " + std::string(fdp.ConsumeBool() ? "gzip" : "deflate");
    case 8: return "X-Long: " + std::string(fdp.ConsumeIntegralInRange<size_t>(0, 20000), 'a');
    case 9: return " " + defused(fdp.ConsumeRandomLengthString(32));  // a folded continuation
    default: return defused(fdp.ConsumeRandomLengthString(64));
    }
}

// A chunked body, well or badly formed.
std::string consumeChunkedBody(FuzzedDataProvider& fdp) {
    std::string body;
    const int chunks = fdp.ConsumeIntegralInRange<int>(0, 6);
    for (int i = 0; i < chunks; ++i) {
        std::string data = fdp.ConsumeRandomLengthString(256);
        char size[32];
        std::snprintf(size, sizeof size, "%zx", data.size() + static_cast<size_t>(fdp.ConsumeIntegralInRange<int>(-1, 1)));
        body += size;
        body += fdp.ConsumeBool() ? "\r\n" : ";ext\r\n";
        body += data + "\r\n";
    }
    if (fdp.ConsumeBool()) body += "0\r\n\r\n";
    return body;
}

std::string consumeResponse(FuzzedDataProvider& fdp, uint16_t port) {
    if (fdp.ConsumeIntegralInRange<int>(0, 9) == 0) return defused(fdp.ConsumeRandomLengthString(4096));

    std::string raw = consumeStatusLine(fdp) + "\r\n";
    const int lines = fdp.ConsumeIntegralInRange<int>(0, 8);
    bool chunked = false;
    for (int i = 0; i < lines; ++i) {
        std::string line = consumeHeaderLine(fdp);
        chunked = chunked || line == "Transfer-Encoding: chunked";
        raw += line + "\r\n";
    }
    // Redirect targets: back to this server, relative, empty, or unusable.
    const std::string self = "http://127.0.0.1:" + std::to_string(port);
    switch (fdp.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: raw += "Location: " + self + "\r\n"; break;
    case 1: raw += "Location: " + self + "/next?q=1\r\n"; break;
    case 2: raw += "Location: /relative\r\n"; break;
    case 3: raw += "Location: \r\n"; break;
    case 4: raw += "Location: ftp://127.0.0.1/\r\n"; break;
    case 5: raw += "Content-Location: " + self + "/other\r\n"; break;
    default: break;
    }
    if (fdp.ConsumeBool()) raw += "\r\n";  // without it the body runs into the header block
    if (chunked && fdp.ConsumeBool()) return raw + consumeChunkedBody(fdp);
    std::string body = fdp.ConsumeRandomLengthString(16384);
    if (fdp.ConsumeBool()) body = "<meta charset=\"utf-8\">" + body;  // the charset mark of the body
    return raw + body;
}

ts::Reply consumeReply(FuzzedDataProvider& fdp, uint16_t port) {
    ts::Reply reply;
    switch (fdp.ConsumeIntegralInRange<int>(0, 15)) {
    case 0: reply.ending = ts::Ending::reset; break;
    case 1: reply.ending = ts::Ending::stall; break;
    case 2: reply.sendLimit = fdp.ConsumeIntegralInRange<size_t>(0, 512); break;
    case 3:
        reply.sendLimit = fdp.ConsumeIntegralInRange<size_t>(0, 512);
        reply.ending = ts::Ending::reset;
        break;
    case 4:
        reply.trickleBytes = fdp.ConsumeIntegralInRange<size_t>(1, 64);
        reply.trickleGap = std::chrono::milliseconds(1);
        break;
    case 5: reply.delay = std::chrono::milliseconds(fdp.ConsumeIntegralInRange<int>(0, 20)); break;
    default: break;
    }
    reply.bytes = consumeResponse(fdp, port);
    return reply;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ts::TestServer& s = server();
    FuzzedDataProvider fdp(data, size);
    // Cookies a response set must not pile up from one input to the next.
    clearCookieStoreForTesting();

    FetchOptions options;
    FetchOutcome outcome;
    options.outcome = &outcome;
    Text cookies = fuzzing::consumeText(fdp, 32);
    Text returnedCookies, location, rawHeaders;
    Text headers = fdp.ConsumeBool() ? Text(defused(fdp.ConsumeRandomLengthString(64))) : Text();
    ByteBuffer postBytes;
    if (fdp.ConsumeBool()) options.cookies = &cookies;
    if (fdp.ConsumeBool()) options.returnedCookies = &returnedCookies;
    if (fdp.ConsumeBool()) options.headers = &headers;
    if (fdp.ConsumeBool()) options.location = &location;
    if (fdp.ConsumeBool()) options.rawHeaders = &rawHeaders;
    if (fdp.ConsumeBool()) {
        options.method = 1;
        options.postText = fuzzing::consumeText(fdp, 32);
        options.postBytes = &postBytes;
    }
    options.noRedirect = fdp.ConsumeBool() ? 1 : 0;
    const std::string path = "/search?q=" + std::to_string(fdp.ConsumeIntegral<uint16_t>());
    {
        ts::Reply reply = consumeReply(fdp, s.port());
        std::lock_guard lock(replyMutex);
        currentReply = std::move(reply);
    }

    const Text body = fetchUrl(Text(s.url(path)), options);

    FUZZ_CHECK(holdsNoZero(body) && holdsNoZero(cookies) && holdsNoZero(returnedCookies));
    FUZZ_CHECK(holdsNoZero(location) && holdsNoZero(rawHeaders) && holdsNoZero(headers));
    if (outcome.succeeded()) FUZZ_CHECK(outcome.completed && outcome.limit == FetchLimit::none);
    if (!outcome.completed) FUZZ_CHECK(body.empty());
    if (outcome.limit != FetchLimit::none) FUZZ_CHECK(!outcome.completed);
    if (outcome.completed) FUZZ_CHECK(outcome.httpStatus > 0 && outcome.transportError.empty());
    FUZZ_CHECK(outcome.httpStatus >= 0 && outcome.httpStatus <= 999);
    FUZZ_CHECK(outcome.moves >= 0 && outcome.moves <= 5);
    FUZZ_CHECK(rawHeaders.size() <= (16 << 10) + 5000);
    // The body is at most what the server was told to send, converted.
    FUZZ_CHECK(body.size() <= (256 << 10) * 2);
    return 0;
}
