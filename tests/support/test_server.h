// A real HTTP (or HTTPS) server on 127.0.0.1 for tests, started by the test
// process itself. Each request is answered with canned raw bytes, sent exactly
// as given, and every raw request is recorded so tests can assert it byte for
// byte. A reply can also misbehave on purpose: wait before its first byte,
// trickle, stop after some bytes and then close, reset or go silent.
//
//   #include "support/test_server.h"   (library quillmoss_test_support)
//
//   TestServer server(Reply{response("HTTP/1.1 200 OK", "", "hello")});
//   fetch(server.url("/x"));
//   EXPECT_EQ(server.requests().at(0).requestLine, "GET /x HTTP/1.1");
//
// Threads: the server runs one accept thread and one thread per connection.
// The handler is called on connection threads, possibly several at once, so
// it must be thread-safe. Every other member may be called from any thread.
// The destructor stops the server promptly, also while replies are stalled.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmoss::testsupport {

// One request as it arrived on the wire.
struct RecordedRequest {
    int index = 0;            // arrival order over the server's life, from 0
    std::string requestLine;  // without its CRLF, e.g. "GET /x HTTP/1.1"
    std::string headers;      // the header lines after the request line, each with its CRLF,
                              // without the empty line that ends the block
    std::string body;         // Content-Length bytes after the block (chunked bodies are not read)
    std::string raw;          // every byte of the request

    // Value of the first header line with this name (ASCII case ignored), trimmed.
    std::optional<std::string> header(std::string_view name) const;
};

// What the server does after the bytes of a reply went out.
enum class Ending {
    close,      // half-close, read until the client goes away (bounded), close
    keepAlive,  // read the next request on the same connection
    reset,      // close with SO_LINGER 0: the client sees a connection reset
    stall,      // send nothing more; hold the connection until the client or the server stops
};

struct Reply {
    std::string bytes;                              // raw response bytes, sent unchanged
    std::chrono::milliseconds delay{0};             // silence before the first byte
    std::size_t trickleBytes = 0;                   // non-zero: send this many bytes per step...
    std::chrono::milliseconds trickleGap{0};        // ...with this pause between the steps
    std::size_t sendLimit = std::string::npos;      // send at most this many bytes of `bytes`
    Ending ending = Ending::close;
};

// Raw bytes of a response: the status line, `headerLines` (zero or more lines,
// each ended by CRLF), a Content-Length line for `body`, the empty line, `body`.
std::string response(std::string_view statusLine, std::string_view headerLines,
                     std::string_view body);

struct ServerOptions {
    // Serve TLS with a self-signed certificate for 127.0.0.1 made in memory
    // for this process. Clients that verify against the system store reject it.
    bool tls = false;
};

class TestServer {
public:
    using Handler = std::function<Reply(const RecordedRequest&)>;

    explicit TestServer(Handler handler, ServerOptions options = {});
    // Every request gets this reply.
    explicit TestServer(Reply reply, ServerOptions options = {});
    // Request i gets replies[i]; the last one answers every later request.
    explicit TestServer(std::vector<Reply> replies, ServerOptions options = {});
    ~TestServer();

    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    uint16_t port() const;
    // "http://127.0.0.1:PORT" followed by `path` ("https://" in TLS mode).
    std::string url(std::string_view path = "/") const;

    // Copies of the requests received so far, in arrival order.
    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    // Number of connections accepted so far.
    std::size_t connectionCount() const;

    // The certificate in PEM form (TLS mode; empty otherwise), for clients
    // that are told to trust it.
    std::string certificatePem() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A port on 127.0.0.1 where nothing listens (bound, then closed).
uint16_t unusedPort();

}  // namespace quillmoss::testsupport
