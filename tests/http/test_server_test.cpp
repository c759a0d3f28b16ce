// The local test server, driven by a plain socket client so that its own
// faults do not hide behind libcurl's.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <thread>

#include "support/test_server.h"

namespace quillmoss::testsupport {
namespace {

using namespace std::chrono_literals;

class RawClient {
public:
    explicit RawClient(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        timeval timeout{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawClient() { ::close(fd_); }

    bool connected() const { return connected_; }
    void send(const std::string& bytes) { ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size())); }

    // Reads until `n` bytes arrived, the server closed, or an error (errno kept in lastError).
    std::string read(std::size_t n) {
        std::string out;
        char buffer[4096];
        while (out.size() < n) {
            ssize_t got = ::recv(fd_, buffer, std::min(sizeof buffer, n - out.size()), 0);
            if (got <= 0) {
                lastError = got < 0 ? errno : 0;
                closed = true;
                break;
            }
            out.append(buffer, static_cast<std::size_t>(got));
        }
        return out;
    }

    bool closed = false;
    int lastError = 0;

private:
    int fd_;
    bool connected_ = false;
};

TEST(TestServer, RecordsRawRequestsAndServesKeepAliveInOrder) {
    TestServer server(std::vector<Reply>{
        Reply{.bytes = "first", .ending = Ending::keepAlive},
        Reply{.bytes = "second", .ending = Ending::close},
    });
    const std::string get = "GET /b?x=1 HTTP/1.1\r\nX-Y:  z \r\n\r\n";
    RawClient client(server.port());
    ASSERT_TRUE(client.connected());
    client.send(std::string("POST /a HTTP/1.1\r\nHost: h\r\ncontent-length: 5\r\n\r\nab") + '\0' + "cd" + get);
    EXPECT_EQ(client.read(11), "firstsecond");
    client.read(1);
    EXPECT_TRUE(client.closed);

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].index, 0);
    EXPECT_EQ(requests[0].requestLine, "POST /a HTTP/1.1");
    EXPECT_EQ(requests[0].headers, "Host: h\r\ncontent-length: 5\r\n");
    EXPECT_EQ(requests[0].body, std::string("ab\0cd", 5));
    EXPECT_EQ(requests[0].header("Content-Length"), "5");
    EXPECT_EQ(requests[1].index, 1);
    EXPECT_EQ(requests[1].raw, get);
    EXPECT_EQ(requests[1].header("x-y"), "z");
    EXPECT_EQ(requests[1].header("Host"), std::nullopt);
    EXPECT_EQ(server.connectionCount(), 1u);
}

TEST(TestServer, CutRepliesEndAsOrdered) {
    const std::string bytes = "0123456789";
    struct {
        Ending ending;
        int error;  // what the client's read ends with after the five bytes
    } cases[] = {{Ending::close, 0}, {Ending::reset, ECONNRESET}};
    for (const auto& c : cases) {
        TestServer server(Reply{.bytes = bytes, .trickleBytes = 2, .trickleGap = 5ms, .sendLimit = 5, .ending = c.ending});
        RawClient client(server.port());
        client.send("GET / HTTP/1.1\r\n\r\n");
        EXPECT_EQ(client.read(bytes.size()), "01234");
        EXPECT_TRUE(client.closed);
        EXPECT_EQ(client.lastError, c.error);
    }
}

TEST(TestServer, StopsPromptlyWhileRepliesStallOrRequestsAreHalfSent) {
    auto server = std::make_unique<TestServer>(Reply{.bytes = "never", .delay = 1h});
    RawClient waiting(server->port());
    waiting.send("GET / HTTP/1.1\r\n\r\n");
    RawClient halfway(server->port());
    halfway.send("GET / HTTP/1.1\r\nHost:");
    for (int spin = 0; spin < 500 && server->connectionCount() < 2; ++spin) std::this_thread::sleep_for(5ms);
    server.reset();  // must not wait for the hour-long delay
    EXPECT_EQ(waiting.read(5), "");
    EXPECT_TRUE(waiting.closed);
}

TEST(TestServer, ResponseAddsContentLength) {
    EXPECT_EQ(response("HTTP/1.1 404 Not Found", "A: 1\r\n", "body"),
              "HTTP/1.1 404 Not Found\r\nA: 1\r\nContent-Length: 4\r\n\r\nbody");
}

}  // namespace
}  // namespace quillmoss::testsupport
