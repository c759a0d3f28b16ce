#include "demo-site/demo_site.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <chrono>
#include <mutex>
#include <thread>

#include "demo-site/catalogue.h"
#include "demo-site/pages.h"

namespace quillmoss::demo {
namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";

bool parsePageIndex(const std::string& text, int& index) {
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, error] = std::from_chars(first, last, index);
    return error == std::errc() && end == last && first != last;
}

// Page numbering. The tool asks for the first page without "p", and its next
// button sends p = 1 right after a search, then 2, 3, ...; its previous
// button counts back down to p = 0. We read p as the number of pages after
// the first one, so p = N shows results page N + 1: the first "next" after a
// search really moves on to page 2, and counting down ends on the first
// page at p = 0 instead of an empty page. A p below 0 or past the last page
// gets a result page without results (and without a pager).
void answerSearch(const httplib::Request& request, httplib::Response& response) {
    const std::string keyword = request.has_param("q") ? request.get_param_value("q") : std::string();
    int index = 0;
    if (request.has_param("p") && !parsePageIndex(request.get_param_value("p"), index)) {
        response.status = 400;
        response.set_content(renderErrorPage("页码不对。"), kHtml);
        return;
    }

    const std::vector<const CatalogueEntry*> found = findEntries(keyword);
    const int total = static_cast<int>(found.size());
    const int pages = (total + kResultsPerPage - 1) / kResultsPerPage;

    ResultPage page;
    page.keyword = keyword;
    page.totalResults = total;
    if (index >= 0 && index < pages) {
        const auto begin = found.begin() + static_cast<std::ptrdiff_t>(index) * kResultsPerPage;
        const auto end = index + 1 < pages ? begin + kResultsPerPage : found.end();
        page.results.assign(begin, end);
        page.pageNumber = index + 1;
        page.pageCount = pages;
    }
    response.set_content(renderResultPage(page), kHtml);
}

void answerRoot(const httplib::Request& request, httplib::Response& response) {
    // The tool appends the link unencoded ("/?u=magnet:?xt=...&dn=...&tr=..."),
    // so the whole raw rest of the target is the link, its own '&'s included.
    static constexpr std::string_view kCloudPlay = "/?u=";
    const std::string_view target = request.target;
    if (target.substr(0, kCloudPlay.size()) == kCloudPlay) {
        response.set_content(renderCloudPlayPage(target.substr(kCloudPlay.size())), kHtml);
    } else {
        response.set_content(renderHomePage(), kHtml);
    }
}

void answerDetail(const httplib::Request& request, httplib::Response& response) {
    const std::string hash = request.has_param("hash") ? request.get_param_value("hash") : std::string();
    for (const CatalogueEntry& entry : catalogue()) {
        if (entry.infoHash == hash) {
            response.set_content(renderDetailPage(entry), kHtml);
            return;
        }
    }
    response.status = 404;
    response.set_content(renderErrorPage("没有这个资源。"), kHtml);
}

// Reads one connection's bytes for httplib. cpp-httplib 0.11 refuses a request
// line whose target holds a second '?', but the cloud-play address carries a
// magnet link unencoded ("/?u=magnet:?xt=..."), as browsers send it. So the
// request line is read first and every '?' of the query becomes "%3F" for
// httplib's parser; the server puts the original target back afterwards.
class RequestLineStream final : public httplib::Stream {
public:
    RequestLineStream(int sock, int readTimeoutMs, int writeTimeoutMs)
        : sock_(sock), readTimeoutMs_(readTimeoutMs), writeTimeoutMs_(writeTimeoutMs) {}

    const std::string& originalTarget() const { return originalTarget_; }

    bool is_readable() const override { return pending_ < buffer_.size() || waitFor(POLLIN, readTimeoutMs_); }
    bool is_writable() const override { return waitFor(POLLOUT, writeTimeoutMs_); }

    ssize_t read(char* ptr, size_t size) override {
        if (!lineRead_) readRequestLine();
        if (pending_ < buffer_.size()) {
            const size_t n = std::min(size, buffer_.size() - pending_);
            std::memcpy(ptr, buffer_.data() + pending_, n);
            pending_ += n;
            return static_cast<ssize_t>(n);
        }
        if (!waitFor(POLLIN, readTimeoutMs_)) return -1;
        return ::recv(sock_, ptr, size, 0);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!waitFor(POLLOUT, writeTimeoutMs_)) return -1;
        return ::send(sock_, ptr, size, MSG_NOSIGNAL);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { address(false, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { address(true, ip, port); }
    socket_t socket() const override { return sock_; }

private:
    static constexpr size_t kMaxLine = 16 * 1024;

    bool waitFor(short events, int timeoutMs) const {
        pollfd fd{sock_, events, 0};
        int ready;
        do ready = ::poll(&fd, 1, timeoutMs);
        while (ready < 0 && errno == EINTR);
        return ready > 0;
    }

    void readRequestLine() {
        lineRead_ = true;
        char chunk[2048];
        size_t end;
        while ((end = buffer_.find("\r\n")) == std::string::npos && buffer_.size() < kMaxLine) {
            if (!waitFor(POLLIN, readTimeoutMs_)) return;
            const ssize_t n = ::recv(sock_, chunk, sizeof chunk, 0);
            if (n <= 0) return;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
        if (end == std::string::npos) return;  // httplib rejects the overlong line itself
        const size_t targetStart = buffer_.find(' ');
        const size_t targetEnd = buffer_.rfind(' ', end);
        if (targetStart == std::string::npos || targetEnd == std::string::npos || targetEnd <= targetStart) return;
        originalTarget_ = buffer_.substr(targetStart + 1, targetEnd - targetStart - 1);
        const size_t query = originalTarget_.find('?');
        if (query == std::string::npos) return;
        std::string target = originalTarget_.substr(0, query + 1);
        for (size_t i = query + 1; i < originalTarget_.size(); ++i) {
            if (originalTarget_[i] == '?') target += "%3F";
            else target += originalTarget_[i];
        }
        buffer_.replace(targetStart + 1, targetEnd - targetStart - 1, target);
    }

    void address(bool local, std::string& ip, int& port) const {
        sockaddr_storage storage{};
        socklen_t length = sizeof storage;
        auto* raw = reinterpret_cast<sockaddr*>(&storage);
        if ((local ? ::getsockname(sock_, raw, &length) : ::getpeername(sock_, raw, &length)) != 0) return;
        char text[INET6_ADDRSTRLEN] = {};
        if (storage.ss_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
            ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
            port = ntohs(in->sin_port);
        } else if (storage.ss_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
            ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
            port = ntohs(in6->sin6_port);
        }
        ip = text;
    }

    int sock_;
    int readTimeoutMs_;
    int writeTimeoutMs_;
    bool lineRead_ = false;
    std::string buffer_;
    size_t pending_ = 0;
    std::string originalTarget_;
};

// One request per connection, read through RequestLineStream.
class SiteServer final : public httplib::Server {
private:
    bool process_and_close_socket(socket_t sock) override {
        RequestLineStream stream(sock, static_cast<int>(read_timeout_sec_ * 1000 + read_timeout_usec_ / 1000),
                                 static_cast<int>(write_timeout_sec_ * 1000 + write_timeout_usec_ / 1000));
        bool closed = false;
        const bool served = process_request(stream, true, closed, [&stream](httplib::Request& request) {
            if (!stream.originalTarget().empty()) request.target = stream.originalTarget();
        });
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return served;
    }
};

}  // namespace

struct DemoSite::Impl {
    SiteServer server;
    std::thread listener;
    int port = 0;

    mutable std::mutex targetsMutex;
    std::vector<std::string> targets;
};

DemoSite::DemoSite() : impl_(std::make_unique<Impl>()) {
    SiteServer& server = impl_->server;
    server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        std::lock_guard lock(impl_->targetsMutex);
        impl_->targets.push_back(request.target);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.Get("/search", answerSearch);
    server.Get("/detail", answerDetail);
    server.Get("/", answerRoot);
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty()) response.set_content(renderErrorPage("找不到这个页面。"), kHtml);
    });
}

DemoSite::~DemoSite() { stop(); }

bool DemoSite::start(int port) {
    if (impl_->listener.joinable()) return false;
    SiteServer& server = impl_->server;
    int bound = 0;
    if (port == 0) {
        bound = server.bind_to_any_port("127.0.0.1");
    } else if (server.bind_to_port("127.0.0.1", port)) {
        bound = port;
    }
    if (bound <= 0) return false;
    impl_->listener = std::thread([&server] { server.listen_after_bind(); });
    // stop() before the accept loop runs would be lost, so wait for it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server.is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    impl_->port = bound;
    return true;
}

int DemoSite::port() const { return impl_->listener.joinable() ? impl_->port : 0; }

std::string DemoSite::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port()); }

void DemoSite::stop() {
    if (!impl_->listener.joinable()) return;
    impl_->server.stop();
    impl_->listener.join();
    impl_->port = 0;
}

std::vector<std::string> DemoSite::requestTargets() const {
    std::lock_guard lock(impl_->targetsMutex);
    return impl_->targets;
}

void DemoSite::clearRequestTargets() {
    std::lock_guard lock(impl_->targetsMutex);
    impl_->targets.clear();
}

}  // namespace quillmoss::demo
