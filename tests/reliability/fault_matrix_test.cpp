// Every way the index site can fail, end to end through the real window: a
// good search first, then the same button against the fault. A failed
// exchange must say why in the status box and keep the list, the state and
// the page counter; a page that arrived but holds no results reports 0. In
// every case the window keeps answering while the command runs.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <string>

#include "app/search_state.h"
#include "app/worker.h"
#include "demo-site/demo_site.h"
#include "http/fetch.h"
#include "http/fetch_testing.h"
#include "reliability_harness.h"
#include "search/fetch_failure.h"
#include "search/report.h"
#include "search/search_testing.h"
#include "support/test_server.h"
#include "text/codepage.h"

namespace quillmoss::reliability {
namespace {

namespace ts = quillmoss::testsupport;
using std::chrono::milliseconds;

const DateTime kReportTime{2015, 3, 7, 14, 5, 9};
constexpr milliseconds kHeld{250};  // how long a slow server sits on its reply
// Far above kHeld, so that only a real stall hits it, also on a busy machine.
constexpr milliseconds kStallTimeout{1200};

// One result in the layout of the index site's pages (UTF-8).
std::string resultBlock(const std::string& name, const std::string& magnet) {
    return "<table class=\"name\"><tr><td><a href=\"/detail?hash=AB&amp;q=x\">" + name +
           "</a></td></tr></table>\n"
           "<div class=\"links\"><a class=\"magnet\" onclick=\"return copyLink(this, f)\" href=\"" + magnet +
           "\" title=\"magnet链接下载\">磁力链接</a></div>\n"
           "<div class=\"files\">[云端下载] <b>文件列表</b><pre>\nfile.mkv  1.2 GB\n</pre></div>\n";
}

std::string page(const std::string& results, const std::string& pager) {
    std::string html = "<html><head><meta charset=\"utf-8\"></head><body>\n" + results;
    if (!pager.empty()) html += "<table class=\"pager\"><tr><td>上一个</td><td>" + pager + "</td><td>下一个</td></tr></table>\n";
    return html + "</body></html>\n";
}

std::string utf8Page(const std::string& body) {
    return ts::response("HTTP/1.1 200 OK", "Content-Type: text/html; charset=utf-8\r\n", body);
}

std::string randomBytes(size_t n, uint32_t seed) {
    std::mt19937 generator(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

const std::string kGoodBody = page(resultBlock("Good One", "magnet:?xt=urn:btih:11&amp;dn=one") +
                                       resultBlock("Good Two", "magnet:?xt=urn:btih:22&amp;dn=two"),
                                   "1/1");

FetchOutcome failedWith(FetchLimit limit) {
    FetchOutcome outcome;
    outcome.limit = limit;
    return outcome;
}

FetchOutcome failedWith(FetchFailure failure) {
    FetchOutcome outcome;
    outcome.failure = failure;
    return outcome;
}

FetchOutcome answeredWith(int32_t status) {
    FetchOutcome outcome;
    outcome.completed = true;
    outcome.httpStatus = status;
    return outcome;
}

struct FaultCase {
    const char* name;
    // The reply of a local server (given its port), or, when empty, `address`.
    std::function<ts::Reply(uint16_t port)> reply;
    std::function<std::string()> address;
    // The server sits on the reply, so the window is seen answering meanwhile.
    bool held = false;
    // A failure names this cause; otherwise the page reports `rows` results.
    std::optional<FetchOutcome> cause;
    int rows = 0;
};

// gtest names a failing case by this instead of its bytes.
void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.name; }

ts::Reply heldReply(std::string bytes) {
    ts::Reply reply;
    reply.bytes = std::move(bytes);
    reply.delay = kHeld;
    return reply;
}

const FaultCase kCases[] = {
    {"ConnectionRefused", {}, [] { return "http://127.0.0.1:" + std::to_string(ts::unusedPort()); }, false,
     failedWith(FetchFailure::connectionRefused)},
    // A 64-byte label is not a valid DNS name, so the resolver refuses it
    // locally and no query leaves the machine (a .invalid name would still be
    // sent to the configured name server).
    {"HostDoesNotResolve", {}, [] { return "http://" + std::string(64, 'q') + ".invalid"; }, false,
     failedWith(FetchFailure::hostNotFound)},
    {"ResetMidBody",
     [](uint16_t) {
         ts::Reply reply = heldReply(utf8Page(kGoodBody));
         reply.sendLimit = reply.bytes.size() / 2;
         reply.ending = ts::Ending::reset;
         return reply;
     },
     {}, true, failedWith(FetchFailure::connectionLost)},
    {"StalledBeforeFirstByte",
     [](uint16_t) {
         ts::Reply reply;
         reply.bytes = utf8Page(kGoodBody);
         reply.sendLimit = 0;
         reply.ending = ts::Ending::stall;
         return reply;
     },
     {}, true, failedWith(FetchLimit::stalled)},
    {"StalledMidBody",
     [](uint16_t) {
         ts::Reply reply;
         reply.bytes = utf8Page(kGoodBody);
         reply.sendLimit = reply.bytes.size() - 40;
         reply.ending = ts::Ending::stall;
         return reply;
     },
     {}, true, failedWith(FetchLimit::stalled)},
    {"MovedInALoop",
     [](uint16_t port) {
         ts::Reply reply;
         reply.bytes = ts::response("HTTP/1.1 301 Moved Permanently",
                                    "Location: http://127.0.0.1:" + std::to_string(port) + "/again\r\n", "");
         return reply;
     },
     {}, false, failedWith(FetchLimit::tooManyRedirects)},
    {"OversizedHeaderBlock",
     [](uint16_t) {
         return heldReply(ts::response("HTTP/1.1 200 OK", "X-Filler: " + std::string(200 << 10, 'h') + "\r\n", kGoodBody));
     },
     {}, true, failedWith(FetchLimit::headerTooLarge)},
    {"OversizedBodyWithLength",
     [](uint16_t) { return heldReply(utf8Page(kGoodBody + std::string(2 << 20, ' '))); }, {}, true,
     failedWith(FetchLimit::bodyTooLarge)},
    {"OversizedBodyWithoutLength",
     [](uint16_t) {
         return heldReply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n" + kGoodBody +
                          std::string(2 << 20, ' '));
     },
     {}, true, failedWith(FetchLimit::bodyTooLarge)},
    {"ServerError500",
     [](uint16_t) {
         return heldReply(ts::response("HTTP/1.1 500 Internal Server Error", "Content-Type: text/html\r\n",
                                       page(resultBlock("Not A Result", "magnet:?xt=urn:btih:99"), "1/1")));
     },
     {}, true, answeredWith(500)},
    {"BinaryGarbageInsteadOfHttp",
     [](uint16_t) { return heldReply("\x16\x03\x01" + randomBytes(4096, 7)); }, {}, true,
     failedWith(FetchFailure::badResponse)},
    // Pages that did arrive: not failures.
    {"EmptyPage", [](uint16_t) { return heldReply(ts::response("HTTP/1.1 200 OK", "", "")); }, {}, true,
     std::nullopt, 0},
    {"BinaryGarbagePage",
     [](uint16_t) {
         return heldReply(ts::response("HTTP/1.1 200 OK", "Content-Type: application/octet-stream\r\n",
                                       randomBytes(64 << 10, 11)));
     },
     {}, true, std::nullopt, 0},
    {"InvalidUtf8Page",
     [](uint16_t) {
         // Stray continuation bytes, a cut-off sequence, bytes UTF-8 never uses.
         const std::string bad = "Bad\x80\xBF\xE4\xB8\xFF\xFE\xC0\xAFName";
         return heldReply(utf8Page(page("\xF0\x9F\n" + resultBlock(bad, "magnet:?xt=urn:btih:33&amp;dn=bad") + "\xED\xA0\x80\n", "1/1")));
     },
     {}, true, std::nullopt, 1},
};

struct Snapshot {
    Text pageText;
    int32_t currentPage = 0;
    int32_t totalPages = 0;
    QString caption;
    std::vector<std::pair<QString, QString>> rows;

    static Snapshot take() {
        Snapshot s;
        {
            std::lock_guard lock(searchStateMutex());
            s.pageText = searchState().pageText;
            s.currentPage = searchState().currentPage;
            s.totalPages = searchState().totalPages;
        }
        s.caption = pageLabel()->text();
        s.rows = shownRows();
        return s;
    }
};

class FaultMatrix : public ::testing::TestWithParam<FaultCase> {
protected:
    static void SetUpTestSuite() {
        FetchLimits limits;
        limits.connectTimeout = milliseconds(2000);
        limits.stallTimeout = kStallTimeout;
        limits.maxBodyBytes = 1 << 20;
        limits.maxHeaderBytes = 64 << 10;
        setFetchLimitsForTesting(limits);
        setReportClockForTesting([] { return kReportTime; });
    }

    static void TearDownTestSuite() {
        setFetchLimitsForTesting(defaultFetchLimits());
        setReportClockForTesting({});
        setIndexSiteBaseForTesting(std::nullopt);
    }

    void SetUp() override {
        ASSERT_TRUE(demo_.start());
        setIndexSiteBaseForTesting(Text(demo_.baseUrl()));
        keywordBox()->setText(QStringLiteral("中国"));
        // The demo site has 20 results for it: 10 on this page of 2.
        press("按钮1");
        const QString summary = shownAs(statusSummary(kReportTime, 10, 20.0));
        ASSERT_TRUE(waitUntil([&] { return statusText() == summary; })) << utf8(statusText());
        before_ = Snapshot::take();
        ASSERT_EQ(before_.rows.size(), 10u);
        ASSERT_EQ(before_.caption, QStringLiteral(" 1/2 "));
    }

    void TearDown() override { setIndexSiteBaseForTesting(std::nullopt); }

    // Presses a button and waits for its command, checking on the way that
    // the window answers: a callback posted meanwhile runs, and while a held
    // reply is pending it runs before the command has finished.
    void press(const char* buttonName, const ts::TestServer* heldBy = nullptr) {
        const size_t requestsBefore = heldBy != nullptr ? heldBy->requestCount() : 0;
        QTest::mouseClick(button(buttonName), Qt::LeftButton);
        if (heldBy != nullptr) {
            ASSERT_TRUE(waitUntil([&] { return heldBy->requestCount() > requestsBefore; })) << "no request arrived";
        }
        bool ran = false;
        QString statusWhenRun;
        QTimer::singleShot(0, &window(), [&] {
            ran = true;
            statusWhenRun = statusText();
        });
        ASSERT_TRUE(waitUntil([&] { return ran; })) << "the window never ran a posted callback";
        if (heldBy != nullptr) {
            const bool search = std::string_view(buttonName) == "按钮1";
            EXPECT_EQ(statusWhenRun, QString::fromUtf8(search ? "开始搜索。。。。网络资源较多，请稍等。" : "跳转中。。"))
                << "the command ended before the window ran a posted callback";
        }
        // The control operations never wait for the window thread, so it
        // may block here; the queued updates are applied afterwards.
        waitForWorkerIdle();
    }

    demo::DemoSite demo_;
    Snapshot before_;
};

TEST_P(FaultMatrix, ReportsTheFaultAndKeepsTheWindowUsable) {
    const FaultCase& fault = GetParam();
    std::atomic<uint16_t> port{0};
    std::unique_ptr<ts::TestServer> server;
    if (fault.reply) {
        server = std::make_unique<ts::TestServer>(
            [&fault, &port](const ts::RecordedRequest&) { return fault.reply(port.load()); });
        port.store(server->port());
        setIndexSiteBaseForTesting(Text(server->url("").c_str()));
    } else {
        setIndexSiteBaseForTesting(Text(fault.address()));
    }
    const ts::TestServer* held = fault.held ? server.get() : nullptr;

    press("按钮1", held);

    if (fault.cause) {
        const QString message = shownAs(fetchFailureMessage(*fault.cause));
        EXPECT_TRUE(waitUntil([&] { return statusText() == message; })) << utf8(statusText());
        const Snapshot after = Snapshot::take();
        EXPECT_EQ(after.rows, before_.rows) << "the previous results must stay listed";
        EXPECT_EQ(after.pageText, before_.pageText);
        EXPECT_EQ(after.currentPage, 1);
        EXPECT_EQ(after.caption, before_.caption);

        // A paging command fails the same way and does not move the counter.
        press("按钮2", held);
        EXPECT_TRUE(waitUntil([&] { return statusText() == message; })) << utf8(statusText());
        const Snapshot paged = Snapshot::take();
        EXPECT_EQ(paged.rows, before_.rows);
        EXPECT_EQ(paged.currentPage, 1);
        EXPECT_EQ(paged.totalPages, before_.totalPages);
        EXPECT_EQ(paged.caption, before_.caption);
    } else {
        const double estimate = fault.rows > 0 ? 1.0 * fault.rows : 0.0;  // their pager says 1/1
        const QString summary = shownAs(statusSummary(kReportTime, fault.rows, estimate));
        EXPECT_TRUE(waitUntil([&] { return statusText() == summary; })) << utf8(statusText());
        const Snapshot after = Snapshot::take();
        EXPECT_EQ(static_cast<int>(after.rows.size()), fault.rows);
        EXPECT_EQ(after.currentPage, 1);
        EXPECT_EQ(after.caption, fault.rows > 0 ? QStringLiteral(" 1/1 ") : QStringLiteral("  "));
        if (fault.rows > 0) {
            // What is left of the damaged name around the bytes that were replaced.
            EXPECT_TRUE(after.rows[0].first.startsWith(QStringLiteral("Bad"))) << after.rows[0].first.toStdString();
            EXPECT_TRUE(after.rows[0].first.endsWith(QStringLiteral("Name"))) << after.rows[0].first.toStdString();
            EXPECT_EQ(after.rows[0].second, QStringLiteral("magnet:?xt=urn:btih:33&dn=bad"));
        }
    }

    // The fault is gone: the same button simply works again.
    setIndexSiteBaseForTesting(Text(demo_.baseUrl()));
    press("按钮1");
    const QString summary = shownAs(statusSummary(kReportTime, 10, 20.0));
    EXPECT_TRUE(waitUntil([&] { return statusText() == summary && shownRows() == before_.rows; }))
        << utf8(statusText());
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillmoss::reliability
