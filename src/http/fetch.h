// One synchronous HTTP(S) exchange on libcurl. Safe to call from several
// threads at once; every call has its own easy handle.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "text/text.h"

namespace quillmoss {

// What stopped an exchange, beyond a transport error libcurl reports.
enum class FetchLimit {
    none,
    connectTimeout,   // no connection within the connect time-out
    stalled,          // no byte came in or went out for the stall time-out
    bodyTooLarge,     // the body passed the size limit
    headerTooLarge,   // a response header block passed its size limit
    tooManyRedirects, // automatic redirects passed their limit
    tooManyMoves,     // the exchange's own 301 repetitions passed their limit
    aborted,          // abortAllFetches() was called
};

// Why a transfer failed, when no limit of FetchLimit stopped it.
enum class FetchFailure {
    none,               // a response arrived (whatever its HTTP status), or a limit stopped it
    invalidUrl,         // the URL names no usable host or port
    hostNotFound,       // the host name (or the proxy's) did not resolve
    connectionRefused,  // nothing accepted the connection (refused or unreachable)
    connectionLost,     // the server closed or reset the connection before the answer was whole
    tlsFailure,         // TLS handshake failed or the certificate did not verify
    redirectRefused,    // a redirect pointed at a scheme other than http or https
    badResponse,        // the server's answer was not HTTP
    other,              // anything else libcurl reported; see transportError
};

struct FetchOutcome {
    bool completed = false;      // a whole response arrived and no limit was hit
    int32_t httpStatus = 0;      // status of the final response, 0 when there was none
    FetchLimit limit = FetchLimit::none;
    FetchFailure failure = FetchFailure::none;
    int curlCode = 0;            // the CURLcode of the last transfer, 0 (CURLE_OK) on success
    int32_t moves = 0;           // 301 answers the exchange followed by repeating the request
    std::string transportError;  // libcurl's text for a failed transfer, empty otherwise

    // A page the caller may parse: completed with a status below 400.
    bool succeeded() const { return completed && httpStatus > 0 && httpStatus < 400; }
};

// The optional arguments of fetchUrl. In/out and out arguments point at the
// caller's variables; "given" means a non-null pointer or an engaged optional.
struct FetchOptions {
    int32_t method = 0;                 // 1: POST; non-zero: a body is sent
    Text postText;
    Text* cookies = nullptr;            // in/out; given: no automatic cookie store
    Text* returnedCookies = nullptr;    // out
    Text* headers = nullptr;            // in/out
    Text* location = nullptr;           // out
    int32_t noRedirect = 0;
    ByteBuffer* postBytes = nullptr;    // in/out
    std::optional<Text> proxy;
    Text* rawHeaders = nullptr;         // out
    FetchOutcome* outcome = nullptr;    // out
};

// Call once in main() before any thread starts.
void initHttp();

// Returns the body, converted from UTF-8 to GBK when it is marked as UTF-8.
// Built-in limits: connect time-out 15 s, no byte for 30 s, body 64 MiB,
// header block 1 MiB (Debian's libcurl already refuses a block over 300 KiB;
// both end as FetchLimit::headerTooLarge), 10 automatic redirects (http and https only), 10
// repetitions after a 301 answer. A failed transfer (any limit, transport
// error or abort) returns an empty text; `headers` and `postBytes` then hold
// what was sent, `rawHeaders` the header block received (empty when none or
// too large), `returnedCookies` is empty, and `location` and `cookies` are
// left as they were.
Text fetchUrl(const Text& url, FetchOptions options = {});

// The text after the first ':' of a header line, trimmed.
Text headerValue(const Text& line);

// Makes every exchange in flight, and every later one, return at once as
// failed (used when the window closes).
void abortAllFetches();

}  // namespace quillmoss
