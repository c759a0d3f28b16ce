#include "support/test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace quillmoss::testsupport {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Every wait of the server is bounded by one of these.
constexpr milliseconds kRequestTimeout{10000};  // a client that sends no complete request
constexpr milliseconds kHandshakeTimeout{5000};
constexpr milliseconds kWriteTimeout{10000};
constexpr milliseconds kDrainTimeout{2000};      // waiting for the client to close after ours
constexpr milliseconds kStallTimeout{60000};     // longest a stalled reply holds its connection
constexpr std::size_t kMaxRequestHead = 16u << 20;
constexpr std::size_t kMaxRequestBody = 256u << 20;
constexpr std::size_t kMaxConnections = 256;
constexpr int kMaxRequestsPerConnection = 100000;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<std::string> findHeader(std::string_view block, std::string_view name) {
    std::size_t pos = 0;
    while (pos < block.size()) {
        std::size_t end = block.find("\r\n", pos);
        if (end == std::string_view::npos) end = block.size();
        std::string_view line = block.substr(pos, end - pos);
        std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsIgnoreCase(line.substr(0, colon), name)) {
            return std::string(trimmed(line.substr(colon + 1)));
        }
        pos = end + 2;
    }
    return std::nullopt;
}

// TLS credentials: one self-signed EC certificate for 127.0.0.1, made once.
struct Credentials {
    std::string certPem;
    std::string keyPem;
};

std::string bioText(BIO* bio) {
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(n));
}

void addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (ext == nullptr) throw std::runtime_error("test server: certificate extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

Credentials makeCredentials() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    if (key == nullptr || cert == nullptr) throw std::runtime_error("test server: key generation");
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7L * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    addExtension(cert, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    X509_sign(cert, key, EVP_sha256());

    Credentials result;
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    result.certPem = bioText(bio);
    BIO_free(bio);
    bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    result.keyPem = bioText(bio);
    BIO_free(bio);
    X509_free(cert);
    EVP_PKEY_free(key);
    return result;
}

const Credentials& credentials() {
    static const Credentials made = makeCredentials();
    return made;
}

SSL_CTX* makeServerContext(const Credentials& creds) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    BIO* bio = BIO_new_mem_buf(creds.certPem.data(), static_cast<int>(creds.certPem.size()));
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    bio = BIO_new_mem_buf(creds.keyPem.data(), static_cast<int>(creds.keyPem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    bool ok = ctx != nullptr && cert != nullptr && key != nullptr &&
              SSL_CTX_use_certificate(ctx, cert) == 1 && SSL_CTX_use_PrivateKey(ctx, key) == 1;
    X509_free(cert);
    EVP_PKEY_free(key);
    if (!ok) {
        SSL_CTX_free(ctx);
        throw std::runtime_error("test server: TLS context");
    }
    return ctx;
}

enum class Wait { ready, timeout, stopped };

// Waits for `events` on fd, or for the stop signal, until the deadline.
Wait waitFor(int fd, short events, int stopFd, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Wait::timeout;
        pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        int n = ::poll(fds, 2, static_cast<int>(std::min<long long>(left, 1000)));
        if (n < 0 && errno != EINTR) return Wait::timeout;
        if (n <= 0) continue;
        if (fds[1].revents != 0) return Wait::stopped;
        if (fds[0].revents != 0) return Wait::ready;
    }
}

// One accepted connection, plain or TLS, on a non-blocking socket.
class Connection {
public:
    Connection(int fd, SSL* ssl, int stopFd) : fd_(fd), ssl_(ssl), stopFd_(stopFd) {}
    ~Connection() {
        if (ssl_ != nullptr) SSL_free(ssl_);
        if (fd_ >= 0) ::close(fd_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool handshake() {
        if (ssl_ == nullptr) return true;
        auto deadline = Clock::now() + kHandshakeTimeout;
        for (;;) {
            int r = SSL_accept(ssl_);
            if (r == 1) return true;
            if (!waitForSsl(SSL_get_error(ssl_, r), deadline)) return false;
        }
    }

    // > 0: bytes read; 0: the client closed; -1: error, time-out or stop.
    long readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) {
        for (;;) {
            if (ssl_ != nullptr) {
                int n = SSL_read(ssl_, buffer, static_cast<int>(capacity));
                if (n > 0) return n;
                int err = SSL_get_error(ssl_, n);
                if (err == SSL_ERROR_ZERO_RETURN) return 0;
                if (!waitForSsl(err, deadline)) return -1;
            } else {
                ssize_t n = ::recv(fd_, buffer, capacity, 0);
                if (n >= 0) return n;
                if (errno == EINTR) continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
                if (waitFor(fd_, POLLIN, stopFd_, deadline) != Wait::ready) return -1;
            }
        }
    }

    bool writeAll(std::string_view data) {
        auto deadline = Clock::now() + kWriteTimeout;
        while (!data.empty()) {
            if (ssl_ != nullptr) {
                int n = SSL_write(ssl_, data.data(), static_cast<int>(data.size()));
                if (n > 0) {
                    data.remove_prefix(static_cast<std::size_t>(n));
                    continue;
                }
                if (!waitForSsl(SSL_get_error(ssl_, n), deadline)) return false;
            } else {
                ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
                if (n > 0) {
                    data.remove_prefix(static_cast<std::size_t>(n));
                    continue;
                }
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
                if (waitFor(fd_, POLLOUT, stopFd_, deadline) != Wait::ready) return false;
            }
        }
        return true;
    }

    // Sleeps, but wakes at once when the server stops. False when stopped.
    bool pause(milliseconds duration) {
        if (duration.count() <= 0) return true;
        pollfd fd = {stopFd_, POLLIN, 0};
        auto deadline = Clock::now() + duration;
        for (;;) {
            auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return true;
            int n = ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, 1000)));
            if (n > 0) return false;
        }
    }

    // Reads and drops whatever arrives until the client closes or `limit` passes.
    void discardUntilClosed(milliseconds limit) {
        auto deadline = Clock::now() + limit;
        char scratch[4096];
        for (;;) {
            ssize_t n = ::recv(fd_, scratch, sizeof scratch, 0);
            if (n == 0) return;
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK) return;
                if (waitFor(fd_, POLLIN, stopFd_, deadline) != Wait::ready) return;
            }
        }
    }

    void closeGracefully() {
        if (ssl_ != nullptr) SSL_shutdown(ssl_);
        ::shutdown(fd_, SHUT_WR);
        discardUntilClosed(kDrainTimeout);
    }

    void reset() {
        linger hard = {1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        if (ssl_ != nullptr) {
            SSL_free(ssl_);
            ssl_ = nullptr;
        }
        ::close(fd_);
        fd_ = -1;
    }

private:
    bool waitForSsl(int err, Clock::time_point deadline) {
        short events = 0;
        if (err == SSL_ERROR_WANT_READ) events = POLLIN;
        else if (err == SSL_ERROR_WANT_WRITE) events = POLLOUT;
        else return false;
        return waitFor(fd_, events, stopFd_, deadline) == Wait::ready;
    }

    int fd_;
    SSL* ssl_;
    int stopFd_;
};

enum class ReadResult { request, closed, failed };

// Reads one request out of `pending` plus whatever the connection delivers.
ReadResult readRequest(Connection& conn, std::string& pending, RecordedRequest& out) {
    auto deadline = Clock::now() + kRequestTimeout;
    char chunk[16384];
    std::size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
        if (pending.size() > kMaxRequestHead) return ReadResult::failed;
        long n = conn.readSome(chunk, sizeof chunk, deadline);
        if (n == 0) return pending.empty() ? ReadResult::closed : ReadResult::failed;
        if (n < 0) return ReadResult::failed;
        pending.append(chunk, static_cast<std::size_t>(n));
    }
    std::string_view head(pending.data(), headEnd + 2);  // through the last header line's CRLF
    std::size_t lineEnd = head.find("\r\n");
    out.requestLine = std::string(head.substr(0, lineEnd));
    out.headers = std::string(head.substr(lineEnd + 2));

    std::size_t bodyLength = 0;
    if (auto length = findHeader(out.headers, "Content-Length")) {
        bodyLength = std::strtoull(length->c_str(), nullptr, 10);
        if (bodyLength > kMaxRequestBody) return ReadResult::failed;
    }
    std::size_t total = headEnd + 4 + bodyLength;
    while (pending.size() < total) {
        long n = conn.readSome(chunk, sizeof chunk, deadline);
        if (n <= 0) return ReadResult::failed;
        pending.append(chunk, static_cast<std::size_t>(n));
    }
    out.raw = pending.substr(0, total);
    out.body = pending.substr(headEnd + 4, bodyLength);
    pending.erase(0, total);
    return ReadResult::request;
}

void ignoreSigpipe() {
    // OpenSSL writes to sockets without MSG_NOSIGNAL; a client that went away
    // must not kill the test process.
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
    return findHeader(headers, name);
}

std::string response(std::string_view statusLine, std::string_view headerLines,
                     std::string_view body) {
    std::string out;
    out.reserve(statusLine.size() + headerLines.size() + body.size() + 48);
    out.append(statusLine).append("\r\n").append(headerLines);
    out.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n\r\n");
    out.append(body);
    return out;
}

struct TestServer::State {
    Handler handler;
    bool tls = false;
    int listenFd = -1;
    int stopFd = -1;
    uint16_t port = 0;
    SSL_CTX* sslContext = nullptr;

    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;  // guards the three below
    std::vector<RecordedRequest> requests;
    int nextIndex = 0;
    std::size_t connections = 0;

    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    // Touched only by the accept thread, and by the destructor once it has ended.
    std::list<std::unique_ptr<Worker>> workers;
    std::thread acceptThread;

    void acceptLoop();
    void serve(int fd);
    void reapWorkers(bool all);
};

void TestServer::State::reapWorkers(bool all) {
    for (auto it = workers.begin(); it != workers.end();) {
        if (all || (*it)->done.load()) {
            (*it)->thread.join();
            it = workers.erase(it);
        } else {
            ++it;
        }
    }
}

void TestServer::State::acceptLoop() {
    while (!stopping.load()) {
        reapWorkers(false);
        Wait w = waitFor(listenFd, POLLIN, stopFd, Clock::now() + milliseconds(1000));
        if (w == Wait::stopped) break;
        if (w == Wait::timeout) continue;
        int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) continue;
        if (workers.size() >= kMaxConnections) {
            ::close(fd);
            continue;
        }
        {
            std::lock_guard lock(mutex);
            ++connections;
        }
        auto worker = std::make_unique<Worker>();
        Worker* raw = worker.get();
        worker->thread = std::thread([this, fd, raw] {
            serve(fd);
            raw->done.store(true);
        });
        workers.push_back(std::move(worker));
    }
}

void TestServer::State::serve(int fd) {
    SSL* ssl = nullptr;
    if (tls) {
        ssl = SSL_new(sslContext);
        SSL_set_fd(ssl, fd);
    }
    Connection conn(fd, ssl, stopFd);
    if (!conn.handshake()) return;

    std::string pending;
    for (int served = 0; served < kMaxRequestsPerConnection && !stopping.load(); ++served) {
        RecordedRequest request;
        ReadResult read = readRequest(conn, pending, request);
        if (read == ReadResult::closed) return;
        if (read == ReadResult::failed) {
            conn.reset();
            return;
        }
        {
            std::lock_guard lock(mutex);
            request.index = nextIndex++;
            requests.push_back(request);
        }
        Reply reply;
        try {
            reply = handler(request);
        } catch (...) {
            conn.reset();
            return;
        }

        if (!conn.pause(reply.delay)) return;
        std::string_view out(reply.bytes);
        out = out.substr(0, std::min(out.size(), reply.sendLimit));
        std::size_t step = reply.trickleBytes == 0 ? out.size() : reply.trickleBytes;
        bool sent = true;
        while (!out.empty() && sent) {
            std::size_t n = std::min(step, out.size());
            sent = conn.writeAll(out.substr(0, n));
            out.remove_prefix(n);
            if (!out.empty() && !conn.pause(reply.trickleGap)) return;
        }
        if (!sent) {
            conn.reset();
            return;
        }

        switch (reply.ending) {
        case Ending::keepAlive:
            continue;
        case Ending::close:
            conn.closeGracefully();
            return;
        case Ending::reset:
            conn.reset();
            return;
        case Ending::stall:
            conn.discardUntilClosed(kStallTimeout);
            return;
        }
    }
}

TestServer::TestServer(Handler handler, ServerOptions options) : state_(std::make_unique<State>()) {
    ignoreSigpipe();
    State& s = *state_;
    s.handler = std::move(handler);
    s.tls = options.tls;
    if (s.tls) s.sslContext = makeServerContext(credentials());

    s.listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    s.stopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (s.listenFd < 0 || s.stopFd < 0 ||
        ::bind(s.listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(s.listenFd, 128) != 0 ||
        ::getsockname(s.listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (s.listenFd >= 0) ::close(s.listenFd);
        if (s.stopFd >= 0) ::close(s.stopFd);
        SSL_CTX_free(s.sslContext);
        throw std::runtime_error("test server: cannot listen on 127.0.0.1");
    }
    s.port = ntohs(addr.sin_port);
    s.acceptThread = std::thread([&s] { s.acceptLoop(); });
}

TestServer::TestServer(Reply reply, ServerOptions options)
    : TestServer(Handler([reply = std::move(reply)](const RecordedRequest&) { return reply; }),
                 options) {}

TestServer::TestServer(std::vector<Reply> replies, ServerOptions options)
    : TestServer(Handler([replies = std::move(replies)](const RecordedRequest& request) {
          if (replies.empty()) return Reply{};
          std::size_t i = std::min(static_cast<std::size_t>(request.index), replies.size() - 1);
          return replies[i];
      }),
                 options) {}

TestServer::~TestServer() {
    State& s = *state_;
    s.stopping.store(true);
    uint64_t one = 1;
    [[maybe_unused]] ssize_t w = ::write(s.stopFd, &one, sizeof one);
    s.acceptThread.join();
    s.reapWorkers(true);
    ::close(s.listenFd);
    ::close(s.stopFd);
    SSL_CTX_free(s.sslContext);
}

uint16_t TestServer::port() const { return state_->port; }

std::string TestServer::url(std::string_view path) const {
    std::string out = state_->tls ? "https://127.0.0.1:" : "http://127.0.0.1:";
    out += std::to_string(state_->port);
    out += path;
    return out;
}

std::vector<RecordedRequest> TestServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

std::size_t TestServer::requestCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests.size();
}

std::size_t TestServer::connectionCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->connections;
}

std::string TestServer::certificatePem() const {
    return state_->tls ? credentials().certPem : std::string();
}

uint16_t unusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    if (fd >= 0) ::close(fd);
    return port;
}

}  // namespace quillmoss::testsupport
