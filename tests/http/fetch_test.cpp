#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "fetch_fixture.h"
#include "text/codepage.h"

namespace quillmoss {
namespace {

using testsupport::Ending;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::response;
using testsupport::TestServer;

constexpr char kFormType[] = "Content-Type: application/x-www-form-urlencoded";

Reply ok(std::string_view headerLines, std::string_view body) {
    return Reply{response("HTTP/1.1 200 OK", headerLines, body)};
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST_F(FetchTest, UrlAloneSendsTheDefaultBlockAndNothingOfLibcurlsOwnButHost) {
    TestServer server(ok("", "hello"));
    const std::string url = server.url("/search?info_hash=&q=%E4%B8%AD");
    Text headers;
    FetchOutcome outcome;
    FetchOptions options;
    options.headers = &headers;
    options.outcome = &outcome;

    EXPECT_EQ(fetch(url, options).bytes(), "hello");
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(outcome.httpStatus, 200);
    EXPECT_EQ(outcome.limit, FetchLimit::none);
    EXPECT_EQ(outcome.failure, FetchFailure::none);
    EXPECT_EQ(outcome.transportError, "");

    ASSERT_EQ(server.requestCount(), 1u);
    const RecordedRequest r = server.requests()[0];
    EXPECT_EQ(r.requestLine, "GET /search?info_hash=&q=%E4%B8%AD HTTP/1.1");
    EXPECT_EQ(r.headers, "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n" +
                             "User-Agent: " + kDefaultAgent + "\r\n" +
                             "Referer: " + url + "\r\n" +
                             "Accept: */*\r\n"
                             "Accept-Language: zh-cn\r\n" +
                             kFormType + "\r\n");
    EXPECT_EQ(r.body, "");
    EXPECT_EQ(headers.bytes(), "Referer: " + url +
                                   "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n" + kFormType);
}

struct HeaderCase {
    const char* given;
    const char* sentAfterHost;  // "{url}" and "{agent}" stand for the URL and the default agent
    const char* writtenBack;
};

class RequestHeaders : public FetchTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(RequestHeaders, AgentAndDefaultLines) {
    const HeaderCase& c = GetParam();
    TestServer server(ok("", "x"));
    const std::string url = server.url("/p");
    auto expand = [&](const char* pattern) {
        return replaced(replaced(pattern, "{url}", url), "{agent}", kDefaultAgent);
    };
    Text headers = c.given;
    FetchOptions options;
    options.headers = &headers;
    fetch(url, options);

    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(afterHost(server.requests()[0]), expand(c.sentAfterHost));
    EXPECT_EQ(headers.bytes(), expand(c.writtenBack));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestHeaders,
    ::testing::Values(
        // A lower-case agent line with no CRLF after it: the agent is its
        // value, and the caller's line is the only User-Agent sent.
        HeaderCase{"user-agent: X",
                   "user-agent: X\r\nReferer: {url}\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
                   "Content-Type: application/x-www-form-urlencoded\r\n",
                   "user-agent: X\r\nReferer: {url}\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
                   "Content-Type: application/x-www-form-urlencoded"},
        // The agent search finds the name inside another one.
        HeaderCase{"X-User-Agent: Bar",
                   "User-Agent: Bar\r\nX-User-Agent: Bar\r\nReferer: {url}\r\nAccept: */*\r\n"
                   "Accept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded\r\n",
                   "X-User-Agent: Bar\r\nReferer: {url}\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
                   "Content-Type: application/x-www-form-urlencoded"},
        HeaderCase{"Referer: http://r.example/\r\nAccept: text/html",
                   "User-Agent: {agent}\r\nReferer: http://r.example/\r\nAccept: text/html\r\n"
                   "Accept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded\r\n",
                   "Referer: http://r.example/\r\nAccept: text/html\r\nAccept-Language: zh-cn\r\n"
                   "Content-Type: application/x-www-form-urlencoded"},
        // "X-Accept:" counts as an Accept line, and libcurl adds none either.
        HeaderCase{"X-Accept: 1",
                   "User-Agent: {agent}\r\nX-Accept: 1\r\nReferer: {url}\r\nAccept-Language: zh-cn\r\n"
                   "Content-Type: application/x-www-form-urlencoded\r\n",
                   "X-Accept: 1\r\nReferer: {url}\r\nAccept-Language: zh-cn\r\n"
                   "Content-Type: application/x-www-form-urlencoded"},
        // The default-line searches match case: "referer:" is not a Referer line.
        HeaderCase{"referer: x",
                   "User-Agent: {agent}\r\nreferer: x\r\nReferer: {url}\r\nAccept: */*\r\n"
                   "Accept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded\r\n",
                   "referer: x\r\nReferer: {url}\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
                   "Content-Type: application/x-www-form-urlencoded"},
        HeaderCase{"User-Agent:  Agent/1 \r\nX-B: 2\r\nContent-Type: text/plain",
                   "User-Agent:  Agent/1 \r\nX-B: 2\r\nContent-Type: text/plain\r\nReferer: {url}\r\n"
                   "Accept: */*\r\nAccept-Language: zh-cn\r\n",
                   "User-Agent:  Agent/1 \r\nX-B: 2\r\nContent-Type: text/plain\r\nReferer: {url}\r\n"
                   "Accept: */*\r\nAccept-Language: zh-cn"}));

TEST_F(FetchTest, RequestBodyIsSentAndWrittenBack) {
    struct {
        int32_t method;
        std::string postText;
        std::string postBytes;
        const char* verb;
        std::string body;
    } cases[] = {
        {1, "a=b", "", "POST", "a=b"},
        {1, "ignored", std::string("x\0y", 3), "POST", std::string("x\0y", 3)},
        {2, "q=1", "", "GET", "q=1"},
        {1, "", "", "POST", ""},
        // Large enough that libcurl would ask for "Expect: 100-continue".
        {1, std::string(1536 * 1024, 'z'), "", "POST", std::string(1536 * 1024, 'z')},
    };
    for (const auto& c : cases) {
        TestServer server(ok("", "done"));
        ByteBuffer bytes(c.postBytes);
        FetchOptions options;
        options.method = c.method;
        options.postText = Text(c.postText);
        options.postBytes = &bytes;
        EXPECT_EQ(fetch(server.url("/form"), options).bytes(), "done");

        ASSERT_EQ(server.requestCount(), 1u);
        const RecordedRequest r = server.requests()[0];
        EXPECT_EQ(r.requestLine, std::string(c.verb) + " /form HTTP/1.1");
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.header("Content-Length"), std::to_string(c.body.size()));
        EXPECT_EQ(r.header("Expect"), std::nullopt);
        EXPECT_EQ(r.header("Content-Type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(bytes.bytes(), c.body);
    }
}

TEST_F(FetchTest, GivenCookiesAreSentAndMergedWithTheResponsesOnes) {
    TestServer server(ok("Set-Cookie: a=2; path=/\r\nSet-Cookie: b=3; path=/\r\n", "x"));
    Text cookies = "a=1";
    Text returned;
    FetchOptions options;
    options.cookies = &cookies;
    options.returnedCookies = &returned;
    fetch(server.url("/"), options);

    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].header("Cookie"), "a=1");
    EXPECT_EQ(cookies.bytes(), "a=2; b=3");
    EXPECT_EQ(returned.bytes(), "a=2;b=3");  // the merge strips its blanks in place
}

TEST_F(FetchTest, ReturnedCookiesComeFromSetCookieLines) {
    struct {
        const char* headerLines;
        const char* returned;
    } cases[] = {
        {"Set-Cookie: a=2; path=/\r\nSet-Cookie: b=3; path=/\r\n", "a=2; b=3"},
        // A line without ";" contributes an empty entry.
        {"Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n", "a=1; "},
        {"X-Other: 1\r\n", ""},
        {"set-cookie: a=1; path=/\r\n", ""},
    };
    for (const auto& c : cases) {
        TestServer server(ok(c.headerLines, "x"));
        Text returned = "stale";
        FetchOptions options;
        options.returnedCookies = &returned;
        fetch(server.url("/"), options);
        EXPECT_EQ(returned.bytes(), c.returned) << c.headerLines;
    }
}

TEST_F(FetchTest, CookieStoreKeepsCookiesBetweenCallsUnlessTheCallerKeepsThem) {
    TestServer server([](const RecordedRequest& r) {
        if (r.requestLine.rfind("GET /login", 0) == 0) {
            return ok("Set-Cookie: sid=42; path=/\r\n", "in");
        }
        if (r.requestLine.rfind("GET /logout", 0) == 0) {
            return ok("Set-Cookie: sid=; path=/; expires=Thu, 01 Jan 1970 00:00:00 GMT\r\n", "out");
        }
        return ok("", "page");
    });
    fetch(server.url("/login"));
    fetch(server.url("/page"));
    Text own;
    FetchOptions ownCookies;
    ownCookies.cookies = &own;
    fetch(server.url("/page"), ownCookies);
    fetch(server.url("/logout"));
    fetch(server.url("/page"));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].header("Cookie"), std::nullopt);
    EXPECT_EQ(requests[1].header("Cookie"), "sid=42");
    EXPECT_EQ(requests[2].header("Cookie"), std::nullopt);  // the caller's own (empty) text
    EXPECT_EQ(requests[3].header("Cookie"), "sid=42");
    EXPECT_EQ(requests[4].header("Cookie"), std::nullopt);  // expired by the server
}

TEST_F(FetchTest, CookieStoreIsSharedByConcurrentCalls) {
    TestServer server([](const RecordedRequest& r) {
        // "GET /set/N HTTP/1.1" sets cookie cN.
        std::string n = r.requestLine.substr(9, r.requestLine.find(' ', 9) - 9);
        return ok("Set-Cookie: c" + n + "=v" + n + "; path=/\r\n", "set");
    });
    constexpr int kThreads = 4;
    constexpr int kEach = 5;
    std::vector<std::thread> threads;
    std::vector<int> good(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                int n = t * kEach + i;
                if (fetch(server.url("/set/" + std::to_string(n))).bytes() == "set") ++good[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(good[t], kEach);

    fetch(server.url("/set/99"));
    const auto last = server.requests().back();
    const std::string cookie = last.header("Cookie").value_or("");
    for (int n = 0; n < kThreads * kEach; ++n) {
        const std::string pair = "c" + std::to_string(n) + "=v" + std::to_string(n);
        EXPECT_NE(cookie.find(pair), std::string::npos) << pair << " missing from " << cookie;
    }
}

TEST_F(FetchTest, LocationAndRawHeadersComeFromTheFinalBlock) {
    struct {
        std::string reply;
        const char* locationBefore;
        const char* location;  // "{raw}": the raw header block
        const char* raw;
    } cases[] = {
        {response("HTTP/1.1 200 OK", "", "ok"), "", "{raw}",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n"},
        // "Location:" is found inside "Content-Location:".
        {response("HTTP/1.1 200 OK", "Content-Location: /x\r\n", "ok"), "", "/x",
         "HTTP/1.1 200 OK\r\nContent-Location: /x\r\nContent-Length: 2\r\n\r\n"},
        // Without a Location line a non-empty variable keeps its value.
        {response("HTTP/1.1 200 OK", "", "ok"), "keep", "keep",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n"},
        // Lines ended by a bare LF come back ended by CRLF.
        {"HTTP/1.1 200 OK\nX-A: 1\nContent-Length: 2\n\nok", "", "{raw}",
         "HTTP/1.1 200 OK\r\nX-A: 1\r\nContent-Length: 2\r\n\r\n"},
    };
    for (const auto& c : cases) {
        TestServer server(Reply{c.reply});
        Text location = c.locationBefore;
        Text raw;
        FetchOptions options;
        options.location = &location;
        options.rawHeaders = &raw;
        EXPECT_EQ(fetch(server.url("/"), options).bytes(), "ok");
        EXPECT_EQ(raw.bytes(), c.raw);
        EXPECT_EQ(location.bytes(), replaced(c.location, "{raw}", c.raw));
    }
}

TEST_F(FetchTest, RedirectsAreFollowedUnlessNoRedirect) {
    TestServer server([](const RecordedRequest& r) {
        if (r.requestLine.rfind("GET /old", 0) == 0) {
            return Reply{response("HTTP/1.1 302 Found",
                                  "Location: /new\r\nSet-Cookie: hop=1; path=/\r\n", "moved")};
        }
        return ok("X-Final: yes\r\n", "arrived");
    });
    const std::string url = server.url("/old");
    Text raw, location, returned;
    FetchOutcome outcome;
    FetchOptions options;
    options.rawHeaders = &raw;
    options.location = &location;
    options.returnedCookies = &returned;
    options.outcome = &outcome;
    EXPECT_EQ(fetch(url, options).bytes(), "arrived");
    EXPECT_EQ(raw.bytes(), "HTTP/1.1 200 OK\r\nX-Final: yes\r\nContent-Length: 7\r\n\r\n");
    EXPECT_EQ(location.bytes(), raw.bytes());
    EXPECT_EQ(returned.bytes(), "");
    EXPECT_EQ(outcome.httpStatus, 200);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].requestLine, "GET /new HTTP/1.1");
    EXPECT_EQ(requests[1].header("Referer"), url);
    EXPECT_EQ(requests[1].header("Cookie"), "hop=1");  // the store works inside a chain too

    Text location2;
    options.location = &location2;
    options.noRedirect = 1;
    EXPECT_EQ(fetch(url, options).bytes(), "moved");
    EXPECT_EQ(location2.bytes(), "/new");
    EXPECT_EQ(outcome.httpStatus, 302);
    EXPECT_EQ(server.requestCount(), 3u);
}

TEST_F(FetchTest, A301IsFollowedByRepeatingTheRequestAtTheNewPlace) {
    TestServer target(ok("", "moved here"));
    TestServer old(Reply{response("HTTP/1.1 301 Moved Permanently",
                                  "Location: " + target.url("") + "\r\n", "")});
    const std::string url = old.url("/search?q=x");
    Text headers;
    FetchOutcome outcome;
    FetchOptions options;
    options.headers = &headers;
    options.noRedirect = 1;  // libcurl would otherwise follow the 301 itself
    options.outcome = &outcome;
    EXPECT_EQ(fetch(url, options).bytes(), "moved here");
    EXPECT_EQ(outcome.moves, 1);
    EXPECT_TRUE(outcome.succeeded());

    ASSERT_EQ(old.requestCount(), 1u);
    ASSERT_EQ(target.requestCount(), 1u);
    const RecordedRequest r = target.requests()[0];
    EXPECT_EQ(r.requestLine, "GET /search?q=x HTTP/1.1");
    // The repeated request carries the first call's block: its Referer stays the first URL.
    EXPECT_EQ(afterHost(r), "User-Agent: " + std::string(kDefaultAgent) + "\r\nReferer: " + url +
                                "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n" + kFormType + "\r\n");
}

TEST_F(FetchTest, OtherMovedAnswersAreNotRepeated) {
    for (const char* status : {"HTTP/1.1 302 Found", "HTTP/1.1 302 Moved Temporarily",
                               "HTTP/1.0 301 Moved Permanently", "HTTP/1.1 301 Permanent"}) {
        TestServer target(ok("", "elsewhere"));
        TestServer server(Reply{response(status, "Location: " + target.url("") + "\r\n", "stay")});
        FetchOptions options;
        options.noRedirect = 1;
        EXPECT_EQ(fetch(server.url("/a"), options).bytes(), "stay") << status;
        EXPECT_EQ(target.requestCount(), 0u) << status;
    }
}

struct CharsetCase {
    const char* name;
    std::string headerLines;
    std::string body;
    bool converted;
};

TEST_F(FetchTest, Utf8BodiesAreConvertedWhenMarked) {
    const std::string zhong = "\xE4\xB8\xAD";  // U+4E2D in UTF-8; D6 D0 in GBK
    const std::string gbkZhong = "\xD6\xD0";
    const CharsetCase cases[] = {
        {"mark starting at byte 499", "", std::string(498, 'a') + "utf-8" + zhong, true},
        {"mark starting at byte 500", "", std::string(499, 'a') + "utf-8" + zhong, false},
        {"capital mark in the body", "", "<meta charset=\"UTF-8\">" + zhong, true},
        {"charset only in the headers", "Content-Type: text/html; charset=UTF-8\r\n", zhong, true},
        {"mark past the window, charset in the headers", "X-Charset: Utf-8\r\n",
         std::string(600, 'a') + zhong, true},
        {"no mark at all", "Content-Type: text/html; charset=gbk\r\n", "gbk " + gbkZhong, false},
    };
    for (const auto& c : cases) {
        TestServer server(ok(c.headerLines, c.body));
        std::string expected = c.body;
        if (c.converted) expected = replaced(expected, zhong, gbkZhong);
        EXPECT_EQ(fetch(server.url("/")).bytes(), expected) << c.name;
    }
}

TEST_F(FetchTest, BodyEndsAtItsFirstZeroByte) {
    for (const char* headerLines : {"", "Content-Type: text/html; charset=utf-8\r\n"}) {
        TestServer server(ok(headerLines, std::string("ab\0cd", 5)));
        FetchOutcome outcome;
        FetchOptions options;
        options.outcome = &outcome;
        EXPECT_EQ(fetch(server.url("/"), options).bytes(), "ab") << headerLines;
        EXPECT_TRUE(outcome.completed);
    }
}

TEST_F(FetchTest, ErrorStatusKeepsItsBodyButIsNoSuccess) {
    TestServer server(Reply{response("HTTP/1.1 404 Not Found", "", "missing")});
    FetchOutcome outcome;
    FetchOptions options;
    options.outcome = &outcome;
    EXPECT_EQ(fetch(server.url("/none"), options).bytes(), "missing");
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.httpStatus, 404);
    EXPECT_FALSE(outcome.succeeded());
}

TEST_F(FetchTest, ProxyGetsTheWholeUrlForHttp) {
    TestServer proxy(ok("", "via proxy"));
    FetchOptions options;
    options.proxy = Text("127.0.0.1:" + std::to_string(proxy.port()));
    // Nothing listens at the target: only the proxy can answer.
    const std::string url = "http://127.0.0.2:" + std::to_string(testsupport::unusedPort()) + "/x?y=1";
    EXPECT_EQ(fetch(url, options).bytes(), "via proxy");
    ASSERT_EQ(proxy.requestCount(), 1u);
    const RecordedRequest r = proxy.requests()[0];
    EXPECT_EQ(r.requestLine, "GET " + url + " HTTP/1.1");
    EXPECT_EQ(r.header("Proxy-Connection"), std::nullopt);
    EXPECT_EQ(r.header("Referer"), url);
}

TEST_F(FetchTest, LongHeaderBlockIsReadWhole) {
    // Well past the 5000 bytes a fixed buffer would hold.
    std::string filler;
    for (int i = 0; i < 200; ++i) filler += "X-Filler-" + std::to_string(i) + ": " + std::string(60, 'f') + "\r\n";
    TestServer server(ok(filler + "Set-Cookie: late=1; path=/\r\nLocation: /end\r\n", "body"));
    Text raw, location, returned;
    FetchOptions options;
    options.rawHeaders = &raw;
    options.location = &location;
    options.returnedCookies = &returned;
    options.noRedirect = 1;
    EXPECT_EQ(fetch(server.url("/"), options).bytes(), "body");
    EXPECT_GT(raw.size(), 10000);
    EXPECT_EQ(returned.bytes(), "late=1");
    EXPECT_EQ(location.bytes(), "/end");
}

}  // namespace
}  // namespace quillmoss
