// The commands against real servers on 127.0.0.1 (the demo site and the raw
// test server), with a recording stand-in for the window.
#include "search/commands.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demo-site/catalogue.h"
#include "demo-site/demo_site.h"
#include "http/fetch.h"
#include "http/fetch_testing.h"
#include "search_fixture.h"
#include "support/test_server.h"

namespace quillmoss::searchtest {
namespace {

using testsupport::Ending;
using testsupport::Reply;
using testsupport::response;
using testsupport::TestServer;

const std::string kSearchProgress = "开始搜索。。。。网络资源较多，请稍等。";
const std::string kPagingProgress = "跳转中。。";

std::string htmlPage(const std::string& body) {
    return response("HTTP/1.1 200 OK", "Content-Type: text/html; charset=utf-8\r\n",
                    "<html><head><meta charset=\"utf-8\"></head><body>\n" + body + "</body></html>\n");
}

// A result page of `count` results named prefix1..prefixN, with a pager.
std::string resultPage(const std::string& prefix, int count, const std::string& pager) {
    std::string body;
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        body += "<table><tr><td><a href=\"/d?h=" + n + "&amp;q=x\">" + prefix + n + "</a></td></tr></table>\n";
        body += "<a onclick=\"c(this, f)\" href=\"magnet:?xt=urn:btih:" + n + "&amp;tr=t\" title=\"magnet链接下载\">m</a>\n";
        body += "[云端下载] files of " + prefix + n + "</pre>\n";
    }
    body += "<table><tr><td>上一个</td><td>" + pager + "</td><td>下一个</td></tr></table>\n";
    return htmlPage(body);
}

class Commands : public SearchStateTest {
protected:
    void TearDown() override {
        setFetchLimitsForTesting(defaultFetchLimits());
        SearchStateTest::TearDown();
    }

    void useSite(const std::string& base) { setIndexSiteBaseForTesting(Text(base.c_str())); }

    std::vector<std::string> statusesUtf8() const {
        std::vector<std::string> out;
        for (const ByteBuffer& status : controls.statusHistory()) out.push_back(utf8(status));
        return out;
    }
};

// The URL the site receives for the keyword typed: UTF-8, percent-encoded,
// only letters, digits, '-' and '.' left as they are.
TEST_F(Commands, FirstPageUrlCarriesTheEncodedKeyword) {
    struct Case {
        const char* keyword;
        const char* requestLine;
    };
    const Case cases[] = {
        {"中国 abc", "GET /search?info_hash=&q=%E4%B8%AD%E5%9B%BD%20abc HTTP/1.1"},
        {"Ubuntu-22.04_x~+/", "GET /search?info_hash=&q=Ubuntu-22.04%5Fx%7E%2B%2F HTTP/1.1"},
        {"", "GET /search?info_hash=&q= HTTP/1.1"},
    };
    TestServer server(Reply{resultPage("r", 1, "1/1")});
    useSite(server.url(""));
    for (const Case& c : cases) {
        controls.setKeyword(gbk(c.keyword));
        searchFirstPage();
    }
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(requests[i].requestLine, cases[i].requestLine);
}

class DemoSiteCommands : public Commands {
protected:
    void SetUp() override {
        Commands::SetUp();
        ASSERT_TRUE(site.start());
        useSite(site.baseUrl());
    }
    void TearDown() override {
        site.stop();
        Commands::TearDown();
    }

    std::string lastTarget() const {
        const auto targets = site.requestTargets();
        return targets.empty() ? std::string() : targets.back();
    }

    demo::DemoSite site;
};

// Paging after a search with an empty keyword (300 results, 30 pages). The
// page number sent and the label follow the counter; the demo site serves
// results page p + 1 for p.
TEST_F(DemoSiteCommands, PressTableWalksTheCounterAndThePages) {
    struct Press {
        void (*command)();
        const char* target;
        const char* caption;
        int currentPage;
        int firstResult;  // index into the catalogue; -1: the page has no results
    };
    const Press presses[] = {
        {searchFirstPage, "/search?info_hash=&q=", " 1/30 ", 1, 0},
        {showNextPage, "/search?q=&p=1", " 1/30 ", 2, 10},
        {showNextPage, "/search?q=&p=2", " 2/30 ", 3, 20},
        {showPreviousPage, "/search?q=&p=2", " 3/30 ", 2, 20},
        {showPreviousPage, "/search?q=&p=1", " 2/30 ", 1, 10},
        {showPreviousPage, "/search?q=&p=0", " 1/30 ", 0, 0},
        {showPreviousPage, "/search?q=&p=-1", " 0/30 ", -1, -1},
    };
    const auto& catalogue = demo::catalogue();
    for (const Press& press : presses) {
        SCOPED_TRACE(press.target);
        controls.clearStatusHistory();
        press.command();
        EXPECT_EQ(lastTarget(), press.target);
        EXPECT_EQ(utf8(controls.pageCaption()), press.caption);
        const SearchState state = stateCopy();
        EXPECT_EQ(state.currentPage, press.currentPage);
        EXPECT_EQ(state.totalPages, 30);

        const auto rows = controls.rows();
        const int rowCount = press.firstResult < 0 ? 0 : 10;
        ASSERT_EQ(rows.size(), static_cast<size_t>(rowCount));
        if (rowCount > 0) {
            EXPECT_EQ(utf8(rows[0].name), catalogue[static_cast<size_t>(press.firstResult)].name);
            EXPECT_EQ(utf8(rows[0].link), demo::magnetLink(catalogue[static_cast<size_t>(press.firstResult)]));
        }
        const std::string progress = press.command == searchFirstPage ? kSearchProgress : kPagingProgress;
        EXPECT_EQ(statusesUtf8(), (std::vector<std::string>{progress, summaryUtf8(rowCount, std::to_string(rowCount * 30))}));
    }
}

TEST_F(DemoSiteCommands, FirstPageButtonAfterPagingStartsOverWithTheCurrentKeyword) {
    controls.setKeyword(gbk("1080p"));
    searchFirstPage();
    showNextPage();
    showNextPage();
    ASSERT_EQ(stateCopy().currentPage, 3);

    controls.setKeyword(gbk("长安"));
    searchFirstPage();
    EXPECT_EQ(lastTarget(), "/search?info_hash=&q=%E9%95%BF%E5%AE%89");
    const SearchState state = stateCopy();
    EXPECT_EQ(state.currentPage, 1);
    EXPECT_EQ(state.totalPages, 1);
    EXPECT_EQ(utf8(controls.pageCaption()), " 1/1 ");
    const auto rows = controls.rows();
    ASSERT_EQ(rows.size(), 10u);
    // The site shows the keyword in bold; the list shows the name as displayed.
    EXPECT_EQ(utf8(rows[0].name), "长安十二时辰 第01集");
    EXPECT_EQ(state.detailTexts.size(), 10);
}

// A paging command reads the keyword afresh: the old counter with the new keyword.
TEST_F(DemoSiteCommands, PagingAfterAnEditUsesTheNewKeywordWithTheOldCounter) {
    controls.setKeyword(gbk("tom"));
    searchFirstPage();
    controls.setKeyword(gbk("Big Buck"));
    showNextPage();
    EXPECT_EQ(lastTarget(), "/search?q=Big%20Buck&p=1");
    EXPECT_EQ(stateCopy().currentPage, 2);
}

// A failed exchange names its cause and changes nothing, so the same button
// simply tries again; the counter does not move.
struct FailureCase {
    const char* what;
    std::function<std::unique_ptr<TestServer>()> server;  // null: nothing listens
    std::function<void(FetchLimits&)> limits;
    const char* message;  // UTF-8; the whole message, or a piece of it when partial
    bool partial;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.what; }

class FailedExchange : public Commands, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedExchange, LeavesListStateAndCounterAsTheyWere) {
    const FailureCase& c = GetParam();
    TestServer good(std::vector<Reply>{Reply{resultPage("first", 2, "1/5")}, Reply{resultPage("second", 3, "2/5")}});
    useSite(good.url(""));
    controls.setKeyword(gbk("abc"));
    searchFirstPage();
    showNextPage();
    const SearchState before = stateCopy();
    const auto rowsBefore = controls.rows();
    const Text captionBefore = controls.pageCaption();
    ASSERT_EQ(rowsBefore.size(), 3u);
    ASSERT_EQ(before.currentPage, 2);

    FetchLimits limits = defaultFetchLimits();
    if (c.limits) c.limits(limits);
    setFetchLimitsForTesting(limits);
    std::unique_ptr<TestServer> failing = c.server ? c.server() : nullptr;
    useSite(failing ? failing->url("")
                    : "http://127.0.0.1:" + std::to_string(testsupport::unusedPort()));

    const std::pair<void (*)(), std::string> commands[] = {
        {searchFirstPage, kSearchProgress}, {showNextPage, kPagingProgress}, {showPreviousPage, kPagingProgress}};
    for (const auto& [command, progress] : commands) {
        controls.clearStatusHistory();
        command();
        const auto statuses = statusesUtf8();
        ASSERT_EQ(statuses.size(), 2u) << c.what;
        EXPECT_EQ(statuses[0], progress);
        if (c.partial) EXPECT_NE(statuses[1].find(c.message), std::string::npos) << c.what << ": " << statuses[1];
        else EXPECT_EQ(statuses[1], c.message) << c.what;
        EXPECT_EQ(statuses[1].find("搜索完成"), std::string::npos) << c.what;

        const SearchState after = stateCopy();
        EXPECT_EQ(after.pageText, before.pageText) << c.what;
        EXPECT_EQ(after.resultNames, before.resultNames);
        EXPECT_EQ(after.resultLinks, before.resultLinks);
        EXPECT_EQ(after.detailTexts, before.detailTexts);
        EXPECT_EQ(after.currentPage, before.currentPage);
        EXPECT_EQ(after.totalPages, before.totalPages);
        const auto rows = controls.rows();
        ASSERT_EQ(rows.size(), rowsBefore.size());
        for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].name, rowsBefore[i].name);
        EXPECT_EQ(controls.pageCaption(), captionBefore);
    }
}

std::function<std::unique_ptr<TestServer>()> serving(Reply reply) {
    return [reply] { return std::make_unique<TestServer>(reply); };
}

Reply partialBody(Ending ending) {
    Reply reply{response("HTTP/1.1 200 OK", "Content-Type: text/html\r\n", std::string(20000, 'x'))};
    reply.sendLimit = 2000;
    reply.ending = ending;
    return reply;
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedExchange,
    ::testing::Values(
        FailureCase{"nothing listens", nullptr, nullptr, "无法连接到搜索站点（连接被拒绝）。请稍后再试。", false},
        FailureCase{"not found", serving(Reply{response("HTTP/1.1 404 Not Found", "", "<html>gone</html>")}),
                    nullptr, "HTTP 404", true},
        FailureCase{"server error", serving(Reply{response("HTTP/1.1 500 Internal Server Error", "", "oops")}),
                    nullptr, "HTTP 500", true},
        FailureCase{"stalled mid-body", serving(partialBody(Ending::stall)),
                    [](FetchLimits& l) { l.stallTimeout = std::chrono::milliseconds(300); }, "长时间没有回应", true},
        FailureCase{"closed mid-body", serving(partialBody(Ending::close)), nullptr, "中途断开", true},
        FailureCase{"page too large", serving(Reply{resultPage("big", 200, "1/1")}),
                    [](FetchLimits& l) { l.maxBodyBytes = 4096; }, "页面太大", true},
        FailureCase{"redirect loop", serving(Reply{response("HTTP/1.1 302 Found", "Location: /search?q=x\r\n", "")}),
                    [](FetchLimits& l) { l.maxRedirects = 3; }, "跳转次数太多", true}),
    [](const ::testing::TestParamInfo<FailureCase>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

// A page that arrived but holds no results is no failure: it reports 0.
TEST_F(Commands, PageWithoutResultsReportsZero) {
    TestServer server(std::vector<Reply>{Reply{resultPage("r", 4, "1/3")},
                                         Reply{htmlPage("<p>没有找到相关资源。</p>\n")}});
    useSite(server.url(""));
    searchFirstPage();
    ASSERT_EQ(controls.rows().size(), 4u);
    showNextPage();
    EXPECT_TRUE(controls.rows().empty());
    EXPECT_EQ(utf8(controls.lastStatus()), summaryUtf8(0, "0"));
    EXPECT_EQ(utf8(controls.pageCaption()), " 1/3 ");
    const SearchState state = stateCopy();
    EXPECT_EQ(state.currentPage, 2);
    EXPECT_EQ(state.resultNames.size(), 0);
    EXPECT_NE(utf8(state.pageText).find("没有找到"), std::string::npos);
}

// A page served in GBK is taken as it is; a UTF-8 one is converted.
TEST_F(Commands, GbkAndUtf8PagesGiveTheSameNames) {
    const std::string body = "<table><tr><td><a href=\"/d?h=1&amp;q=x\">流浪地球 &amp; 三体</a></td></tr></table>\n"
                             "<a onclick=\"c(this, f)\" href=\"magnet:?xt=urn:btih:1\" title=\"magnet链接下载\">m</a>\n";
    const std::string gbkBytes = gbk(body).bytes();
    TestServer server(std::vector<Reply>{
        Reply{response("HTTP/1.1 200 OK", "Content-Type: text/html; charset=gbk\r\n", gbkBytes)},
        Reply{response("HTTP/1.1 200 OK", "Content-Type: text/html; charset=utf-8\r\n", body)}});
    useSite(server.url(""));
    for (int i = 0; i < 2; ++i) {
        searchFirstPage();
        const auto rows = controls.rows();
        ASSERT_EQ(rows.size(), 1u) << i;
        EXPECT_EQ(utf8(rows[0].name), "流浪地球 & 三体") << i;
        EXPECT_EQ(utf8(rows[0].link), "magnet:?xt=urn:btih:1") << i;
    }
}

}  // namespace
}  // namespace quillmoss::searchtest
