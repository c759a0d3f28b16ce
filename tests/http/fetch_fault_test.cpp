// Every fault must end as an empty result with an outcome that names it,
// never as a crash, a hang or a page.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>
#include <utility>

#include "fetch_fixture.h"

namespace quillmoss {
namespace {

using namespace std::chrono_literals;
using testsupport::Ending;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::response;
using testsupport::ServerOptions;
using testsupport::TestServer;

struct Result {
    Text body;
    FetchOutcome outcome;
    Text rawHeaders;
};

Result fetchWithOutcome(const std::string& url, FetchOptions options = {}) {
    Result r;
    options.outcome = &r.outcome;
    options.rawHeaders = &r.rawHeaders;
    r.body = fetchUrl(Text(url), options);
    return r;
}

void expectFailed(const Result& r, FetchLimit limit, FetchFailure failure, const std::string& what) {
    EXPECT_EQ(r.body.bytes(), "") << what;
    EXPECT_FALSE(r.outcome.completed) << what;
    EXPECT_FALSE(r.outcome.succeeded()) << what;
    EXPECT_EQ(r.outcome.limit, limit) << what << ": " << r.outcome.transportError;
    EXPECT_EQ(r.outcome.failure, failure) << what << ": " << r.outcome.transportError;
    EXPECT_NE(r.outcome.transportError, "") << what;
}

std::string body(std::size_t n) { return std::string(n, 'b'); }

TEST_F(FetchTest, ConnectionRefused) {
    Text location = "untouched";
    Text cookies = "a=1";
    FetchOptions options;
    options.location = &location;
    options.cookies = &cookies;
    Result r = fetchWithOutcome("http://127.0.0.1:" + std::to_string(testsupport::unusedPort()) + "/",
                                options);
    expectFailed(r, FetchLimit::none, FetchFailure::connectionRefused, "refused");
    EXPECT_NE(r.outcome.curlCode, 0);
    EXPECT_EQ(r.outcome.httpStatus, 0);
    EXPECT_EQ(r.rawHeaders.bytes(), "");
    EXPECT_EQ(location.bytes(), "untouched");
    EXPECT_EQ(cookies.bytes(), "a=1");
}

TEST_F(FetchTest, AnswersCutShortFail) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
    struct {
        const char* what;
        Reply reply;
        FetchLimit limit;
        FetchFailure failure;
    } cases[] = {
        {"reset mid-body", Reply{.bytes = head + body(1000), .sendLimit = head.size() + 500, .ending = Ending::reset},
         FetchLimit::none, FetchFailure::connectionLost},
        {"closed mid-body", Reply{.bytes = head + body(1000), .sendLimit = head.size() + 500, .ending = Ending::close},
         FetchLimit::none, FetchFailure::connectionLost},
        {"closed mid-headers", Reply{.bytes = head, .sendLimit = 20, .ending = Ending::close}, FetchLimit::none,
         FetchFailure::connectionLost},
        {"closed with no answer", Reply{.bytes = "", .ending = Ending::close},
         FetchLimit::none, FetchFailure::connectionLost},
        {"silent server", Reply{.bytes = head, .sendLimit = 0, .ending = Ending::stall}, FetchLimit::stalled,
         FetchFailure::none},
        {"stalled mid-body", Reply{.bytes = head + body(1000), .sendLimit = head.size() + 500, .ending = Ending::stall},
         FetchLimit::stalled, FetchFailure::none},
        {"not HTTP", Reply{"SSH-2.0-OpenSSH\r\n\r\n"}, FetchLimit::none, FetchFailure::badResponse},
    };
    for (const auto& c : cases) {
        TestServer server(c.reply);
        Result r = fetchWithOutcome(server.url("/"));
        expectFailed(r, c.limit, c.failure, c.what);
    }
}

TEST_F(FetchTest, TrickleSlowerThanTheStallLimitInTotalStillArrives) {
    // About 20 steps 50 ms apart: far longer than the 400 ms stall limit in
    // all, but never silent for that long.
    const std::string text = body(150);
    TestServer server(Reply{.bytes = response("HTTP/1.1 200 OK", "", text), .trickleBytes = 10, .trickleGap = 50ms});
    Result r = fetchWithOutcome(server.url("/"));
    EXPECT_EQ(r.body.bytes(), text);
    EXPECT_TRUE(r.outcome.succeeded()) << r.outcome.transportError;
}

TEST_F(FetchTest, TlsHandshakeThatNeverCompletesHitsTheConnectTimeout) {
    TestServer silent(Reply{.bytes = "", .ending = Ending::stall});
    Result r = fetchWithOutcome("https://127.0.0.1:" + std::to_string(silent.port()) + "/");
    expectFailed(r, FetchLimit::connectTimeout, FetchFailure::none, "handshake stall");
}

TEST_F(FetchTest, SizeLimits) {
    FetchLimits limits = shortLimits();
    limits.maxBodyBytes = 256 * 1024;
    limits.maxHeaderBytes = 32 * 1024;
    setFetchLimitsForTesting(limits);

    const std::string big = body(300 * 1024);
    std::string longHeaders;
    while (longHeaders.size() < 40 * 1024) longHeaders += "X-Long: " + std::string(100, 'h') + "\r\n";
    struct {
        const char* what;
        std::string reply;
        FetchLimit limit;
    } cases[] = {
        {"announced body", response("HTTP/1.1 200 OK", "", big), FetchLimit::bodyTooLarge},
        {"body without a length", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + big,
         FetchLimit::bodyTooLarge},
        {"chunked body", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                             std::string("4B000\r\n") + big + "\r\n0\r\n\r\n",
         FetchLimit::bodyTooLarge},
        {"header block", response("HTTP/1.1 200 OK", longHeaders, "x"), FetchLimit::headerTooLarge},
    };
    for (const auto& c : cases) {
        TestServer server(Reply{c.reply});
        Result r = fetchWithOutcome(server.url("/"));
        expectFailed(r, c.limit, FetchFailure::none, c.what);
        EXPECT_EQ(r.outcome.httpStatus, 200) << c.what;
    }

    // The sizes that fit still arrive.
    TestServer fits(Reply{response("HTTP/1.1 200 OK", "", body(256 * 1024))});
    EXPECT_EQ(fetchWithOutcome(fits.url("/")).body.size(), 256 * 1024);
}

TEST_F(FetchTest, HeaderBlocksOverTheBuiltInLimitsFail) {
    std::string manyLines;
    while (manyLines.size() < (1u << 20) + 1024) manyLines += "X-Long: " + std::string(1000, 'h') + "\r\n";
    const std::string oneLongLine = "X-Big: " + std::string(200 * 1024, 'h') + "\r\n";
    for (const std::string* lines : {&std::as_const(manyLines), &oneLongLine}) {
        TestServer server(Reply{response("HTTP/1.1 200 OK", *lines, "x")});
        Result r = fetchWithOutcome(server.url("/"));
        expectFailed(r, FetchLimit::headerTooLarge, FetchFailure::none, lines->substr(0, 6));
        EXPECT_EQ(r.rawHeaders.bytes(), "");
    }
}

TEST_F(FetchTest, A301LoopStopsAfterTenRepetitions) {
    // Points back at itself, named by the request's own Host line.
    TestServer server([](const RecordedRequest& request) {
        return Reply{response("HTTP/1.1 301 Moved Permanently",
                              "Location: http://" + request.header("Host").value_or("") + "\r\n", "")};
    });
    FetchOptions options;
    options.noRedirect = 1;
    Result r = fetchWithOutcome(server.url("/loop"), options);
    expectFailed(r, FetchLimit::tooManyMoves, FetchFailure::none, "301 loop");
    EXPECT_EQ(r.outcome.moves, 10);
    EXPECT_EQ(r.outcome.httpStatus, 301);
    EXPECT_EQ(server.requestCount(), 11u);  // the request and its ten repetitions
    for (const auto& request : server.requests()) EXPECT_EQ(request.requestLine, "GET /loop HTTP/1.1");
}

TEST_F(FetchTest, AutomaticRedirectLoopStopsAtTheLimit) {
    TestServer server(Reply{response("HTTP/1.1 302 Found", "Location: /again\r\n", "")});
    Result r = fetchWithOutcome(server.url("/start"));
    expectFailed(r, FetchLimit::tooManyRedirects, FetchFailure::none, "302 loop");
    EXPECT_EQ(server.requestCount(), 11u);
}

TEST_F(FetchTest, RedirectsToOtherSchemesAreRefused) {
    for (const char* target : {"ftp://127.0.0.1/x", "file:///etc/passwd", "gopher://127.0.0.1/",
                               "dict://127.0.0.1/d"}) {
        TestServer server(Reply{response("HTTP/1.1 302 Found", std::string("Location: ") + target + "\r\n",
                                         "no")});
        Result r = fetchWithOutcome(server.url("/"));
        expectFailed(r, FetchLimit::none, FetchFailure::redirectRefused, target);
        EXPECT_EQ(server.requestCount(), 1u);
    }
}

TEST_F(FetchTest, UnusableUrlsFailWithoutTraffic) {
    for (const char* url : {"http://example.com?q=1", "http://user@127.0.0.1/", "http://127.0.0.1:0/",
                            "http://127.0.0.1:70000/", "http:///"}) {
        Text headers = "X: 1";
        FetchOptions options;
        options.headers = &headers;
        Result r = fetchWithOutcome(url, options);
        expectFailed(r, FetchLimit::none, FetchFailure::invalidUrl, url);
        EXPECT_EQ(headers.bytes(), "X: 1") << url;
    }
}

TEST_F(FetchTest, InvalidUtf8InAUtf8BodyBecomesQuestionMarks) {
    const std::string page = "<meta charset=utf-8>\xE4\xB8\xAD\xFF\xC3(ok";
    TestServer server(Reply{response("HTTP/1.1 200 OK", "", page)});
    Result r = fetchWithOutcome(server.url("/"));
    EXPECT_TRUE(r.outcome.succeeded());
    const std::string& got = r.body.bytes();
    EXPECT_EQ(got.substr(0, 22), "<meta charset=utf-8>\xD6\xD0");
    EXPECT_EQ(got.substr(got.size() - 3), "(ok");
    EXPECT_NE(got.find('?', 22), std::string::npos) << got;
}

TEST_F(FetchTest, SelfSignedCertificateIsRejectedAndTrustedOneAccepted) {
    TestServer server(Reply{response("HTTP/1.1 200 OK", "", "secret")}, ServerOptions{true});
    const std::string url = server.url("/s?q=1");
    Result r = fetchWithOutcome(url);
    expectFailed(r, FetchLimit::none, FetchFailure::tlsFailure, "self-signed");
    EXPECT_EQ(server.requestCount(), 0u);

    setTrustedCertificatesForTesting(server.certificatePem());
    Result trusted = fetchWithOutcome(url);
    EXPECT_EQ(trusted.body.bytes(), "secret") << trusted.outcome.transportError;
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].requestLine, "GET /s?q=1 HTTP/1.1");
    EXPECT_EQ(server.requests()[0].header("Referer"), url);
}

TEST_F(FetchTest, HttpMayRedirectToHttps) {
    TestServer secure(Reply{response("HTTP/1.1 200 OK", "", "upgraded")}, ServerOptions{true});
    TestServer plain(Reply{response("HTTP/1.1 302 Found", "Location: " + secure.url("/s") + "\r\n", "")});
    setTrustedCertificatesForTesting(secure.certificatePem());
    Result r = fetchWithOutcome(plain.url("/"));
    EXPECT_EQ(r.body.bytes(), "upgraded") << r.outcome.transportError;
    ASSERT_EQ(secure.requestCount(), 1u);
    EXPECT_EQ(secure.requests()[0].requestLine, "GET /s HTTP/1.1");
}

TEST_F(FetchTest, AbortEndsExchangesInFlightAndRefusesLaterOnes) {
    setFetchLimitsForTesting(defaultFetchLimits());  // only the abort can end the stall
    TestServer server(Reply{.bytes = "", .ending = Ending::stall});
    constexpr int kThreads = 3;
    std::vector<std::future<Result>> inFlight;
    for (int i = 0; i < kThreads; ++i) {
        inFlight.push_back(std::async(std::launch::async, [&] { return fetchWithOutcome(server.url("/")); }));
    }
    // Wait until every exchange has reached the server.
    for (int spin = 0; spin < 500 && server.requestCount() < kThreads; ++spin) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(server.requestCount(), static_cast<std::size_t>(kThreads));

    abortAllFetches();
    for (auto& f : inFlight) {
        ASSERT_EQ(f.wait_for(10s), std::future_status::ready);
        expectFailed(f.get(), FetchLimit::aborted, FetchFailure::none, "in flight");
    }
    expectFailed(fetchWithOutcome(server.url("/later")), FetchLimit::aborted, FetchFailure::none, "later");
    EXPECT_EQ(server.requestCount(), static_cast<std::size_t>(kThreads));

    resetFetchAbortForTesting();
    TestServer fine(Reply{response("HTTP/1.1 200 OK", "", "again")});
    EXPECT_EQ(fetchWithOutcome(fine.url("/")).body.bytes(), "again");
}

}  // namespace
}  // namespace quillmoss
