// End to end with the real window on the offscreen platform: keyword typed,
// buttons clicked, commands on the worker as the tool wires them, pages from
// the demo site and from the raw test server.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTest>
#include <QTreeView>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/search_state.h"
#include "app/worker.h"
#include "demo-site/catalogue.h"
#include "demo-site/demo_site.h"
#include "http/fetch.h"
#include "search/commands.h"
#include "search/search_testing.h"
#include "support/test_server.h"
#include "text/codepage.h"

namespace quillmoss {
namespace {

using testsupport::Reply;
using testsupport::response;
using testsupport::TestServer;

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

// What the status box shows, with its line and blank forms made plain.
std::string shownText(const QTextBrowser& box) {
    QString text = box.toPlainText();
    text.replace(QChar(0x2028), QChar(u'\n')).replace(QChar(0x2029), QChar(u'\n')).replace(QChar(0xA0), QChar(u' '));
    return utf8(text);
}

std::string shownSummary(int rows, const std::string& estimate) {
    return "2015年3月7日14时5分9秒\n搜索完成：本页共有资源" + std::to_string(rows) + "个\n          预计共有资源：" +
           estimate + "个";
}

struct Row {
    std::string name;
    std::string link;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) { return out << "{" << row.name << " | " << row.link << "}"; }

class SearchWindow : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard lock(searchStateMutex());
            searchState() = SearchState{};
        }
        AppWiring wiring;
        wiring.searchFirstPage = searchFirstPage;
        wiring.showPreviousPage = showPreviousPage;
        wiring.showNextPage = showNextPage;
        window = std::make_unique<MainWindow>(windowHandlers(wiring));
        installControls(window.get());
        onMainWindowCreated();
        window->show();
        setReportClockForTesting([] { return DateTime{2015, 3, 7, 14, 5, 9}; });
        ASSERT_TRUE(site.start());
        setIndexSiteBaseForTesting(Text(site.baseUrl().c_str()));
    }

    void TearDown() override {
        waitForWorkerIdle();
        installControls(nullptr);
        window.reset();
        site.stop();
        setReportClockForTesting({});
        setIndexSiteBaseForTesting(std::nullopt);
    }

    template <typename Widget>
    Widget* control(const char* name) const {
        Widget* widget = window->findChild<Widget*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    void type(const std::string& keyword) { control<QLineEdit>("编辑框1")->setText(QString::fromStdString(keyword)); }

    // Clicks a button, waits for its command on the worker, then lets the
    // window apply what the command wrote (one queued flush).
    void press(const char* button) {
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
        waitForWorkerIdle();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    std::vector<Row> rows() const {
        const QAbstractItemModel* model = control<QTreeView>("超级列表框1")->model();
        std::vector<Row> out;
        for (int r = 0; r < model->rowCount(); ++r)
            out.push_back({utf8(model->index(r, 0).data().toString()), utf8(model->index(r, 1).data().toString())});
        return out;
    }
    std::string caption() const { return utf8(control<QLabel>("标签2")->text()); }
    std::string status() const { return shownText(*control<QTextBrowser>("简单超文本框1")); }
    static int32_t currentPage() {
        std::lock_guard lock(searchStateMutex());
        return searchState().currentPage;
    }
    std::string lastTarget() const {
        const auto targets = site.requestTargets();
        return targets.empty() ? std::string() : targets.back();
    }

    std::unique_ptr<MainWindow> window;
    demo::DemoSite site;
};

// A Chinese and an ASCII keyword: the URL the site got, the rows as the page
// displays them (no markup, '&' decoded in names and links), label and summary.
TEST_F(SearchWindow, SearchListsTheSitesResults) {
    struct Case {
        const char* keyword;
        const char* target;
    };
    const Case cases[] = {
        {"长安", "/search?info_hash=&q=%E9%95%BF%E5%AE%89"},
        {"Tom & Jerry", "/search?info_hash=&q=Tom%20%26%20Jerry"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyword);
        type(c.keyword);
        press("按钮1");
        EXPECT_EQ(lastTarget(), c.target);

        std::vector<Row> expected;
        for (const demo::CatalogueEntry* entry : demo::findEntries(c.keyword))
            expected.push_back({entry->name, demo::magnetLink(*entry)});
        ASSERT_EQ(expected.size(), 10u);
        EXPECT_EQ(rows(), expected);
        EXPECT_NE(rows()[0].link.find("&tr=udp%3A%2F%2F"), std::string::npos);
        EXPECT_EQ(caption(), " 1/1 ");
        EXPECT_EQ(status(), shownSummary(10, "10"));
        EXPECT_EQ(currentPage(), 1);
    }
}

// The buttons as a user pages through an empty keyword's 30 pages, then the
// first-page button with a new keyword.
TEST_F(SearchWindow, PagingButtonsFollowThePressTable) {
    struct Press {
        const char* button;
        const char* keyword;  // typed before the press
        const char* target;
        const char* caption;
        int currentPage;
        std::string firstName;  // empty: no rows
    };
    const auto& all = demo::catalogue();
    const Press presses[] = {
        {"按钮1", "", "/search?info_hash=&q=", " 1/30 ", 1, all[0].name},
        {"按钮2", "", "/search?q=&p=1", " 1/30 ", 2, all[10].name},
        {"按钮2", "", "/search?q=&p=2", " 2/30 ", 3, all[20].name},
        {"按钮3", "", "/search?q=&p=2", " 3/30 ", 2, all[20].name},
        {"按钮3", "", "/search?q=&p=1", " 2/30 ", 1, all[10].name},
        {"按钮3", "", "/search?q=&p=0", " 1/30 ", 0, all[0].name},
        {"按钮3", "", "/search?q=&p=-1", " 0/30 ", -1, ""},
        {"按钮2", "", "/search?q=&p=-1", " -1/30 ", 0, ""},
        {"按钮4", "琅琊榜", "/search?info_hash=&q=%E7%90%85%E7%90%8A%E6%A6%9C", " 1/1 ", 1, "琅琊榜 第01集"},
    };
    for (const Press& p : presses) {
        SCOPED_TRACE(std::string(p.button) + " " + p.target);
        type(p.keyword);
        press(p.button);
        EXPECT_EQ(lastTarget(), p.target);
        EXPECT_EQ(caption(), p.caption);
        EXPECT_EQ(currentPage(), p.currentPage);
        const auto shown = rows();
        if (p.firstName.empty()) {
            EXPECT_TRUE(shown.empty());
        } else {
            ASSERT_EQ(shown.size(), 10u);
            EXPECT_EQ(shown[0].name, p.firstName);
        }
    }
    // A moved page's summary estimates from the first page's count.
    type("");
    press("按钮1");
    press("按钮2");
    EXPECT_EQ(status(), shownSummary(10, "300"));
}

// With the site gone, every button says so and leaves everything as it was.
TEST_F(SearchWindow, StoppedSiteKeepsListLabelAndCounter) {
    type("1080p");
    press("按钮1");
    press("按钮2");
    const auto rowsBefore = rows();
    const std::string captionBefore = caption();
    ASSERT_EQ(rowsBefore.size(), 10u);
    ASSERT_EQ(currentPage(), 2);
    Text pageBefore;
    {
        std::lock_guard lock(searchStateMutex());
        pageBefore = searchState().pageText;
    }

    site.stop();
    for (const char* button : {"按钮2", "按钮3", "按钮1", "按钮4"}) {
        SCOPED_TRACE(button);
        press(button);
        EXPECT_EQ(status(), "无法连接到搜索站点（连接被拒绝）。请稍后再试。");
        EXPECT_EQ(rows(), rowsBefore);
        EXPECT_EQ(caption(), captionBefore);
        EXPECT_EQ(currentPage(), 2);
        std::lock_guard lock(searchStateMutex());
        EXPECT_EQ(searchState().pageText, pageBefore);
    }
}

// Pages the demo site does not make, from the raw test server.
struct PageCase {
    const char* what;
    std::string headers;  // Content-Type line
    std::string body;     // UTF-8; sent in GBK when the headers say so
    std::vector<Row> rows;
    const char* caption;
};

void PrintTo(const PageCase& c, std::ostream* out) { *out << c.what; }

std::string nameLine(const std::string& name) {
    return "<table><tr><td><a href=\"/d?h=1&amp;q=x\">" + name + "</a></td></tr></table>";
}
std::string linkLine(const std::string& link, const char* title = "magnet链接下载") {
    return "<a onclick=\"c(this, f)\" href=\"" + link + "\" title=\"" + title + "\">m</a>";
}
const std::string kUtf8 = "Content-Type: text/html; charset=utf-8\r\n";
const std::string kGbk = "Content-Type: text/html; charset=gbk\r\n";
const std::string kPager = "<table><tr><td>上一个</td><td>1/4</td><td>下一个</td></tr></table>\n";

class RawPages : public SearchWindow, public ::testing::WithParamInterface<PageCase> {};

TEST_P(RawPages, ShowWhatThePageHolds) {
    const PageCase& c = GetParam();
    const std::string body = c.headers == kGbk ? gbkFromUtf8(c.body).bytes() : c.body;
    TestServer server(Reply{response("HTTP/1.1 200 OK", c.headers, body)});
    setIndexSiteBaseForTesting(Text(server.url("").c_str()));
    type("x");
    press("按钮1");
    EXPECT_EQ(rows(), c.rows) << c.what;
    EXPECT_EQ(caption(), c.caption) << c.what;
    EXPECT_EQ(status(), shownSummary(static_cast<int>(c.rows.size()),
                                     std::to_string(c.rows.size() * (std::string(c.caption) == " 1/4 " ? 4 : 0))))
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, RawPages,
    ::testing::Values(
        PageCase{"3 names and 5 links", kUtf8,
                 nameLine("a") + "\n" + nameLine("b") + "\n" + nameLine("c") + "\n" + linkLine("magnet:1") + "\n" +
                     linkLine("magnet:2") + "\n" + linkLine("magnet:3") + "\n" + linkLine("magnet:4") + "\n" +
                     linkLine("magnet:5") + "\n" + kPager,
                 {{"a", "magnet:1"}, {"b", "magnet:2"}, {"c", "magnet:3"}}, " 1/4 "},
        PageCase{"more names than links", kUtf8,
                 nameLine("a") + "\n" + nameLine("b") + "\n" + nameLine("c") + "\n" + linkLine("magnet:1") + "\n" + kPager,
                 {{"a", "magnet:1"}, {"b", ""}, {"c", ""}}, " 1/4 "},
        PageCase{"two results on one line", kUtf8,
                 nameLine("a") + nameLine("b") + "\n" + linkLine("magnet:1") + linkLine("magnet:2") + "\n" + kPager,
                 {{"a", "magnet:1"}}, " 1/4 "},
        PageCase{"upper-case MAGNET链接下载", kUtf8,
                 nameLine("a") + "\n" + linkLine("magnet:1", "MAGNET链接下载") + "\n" + kPager, {{"a", "magnet:1"}},
                 " 1/4 "},
        PageCase{"no pager", kUtf8, nameLine("a") + "\n" + linkLine("magnet:1") + "\n", {{"a", "magnet:1"}}, "  "},
        PageCase{"a GBK page", kGbk,
                 nameLine("<b>三体</b> 广播剧 &amp; 全集") + "\n" + linkLine("magnet:?xt=1&amp;tr=t") + "\n" + kPager,
                 {{"三体 广播剧 & 全集", "magnet:?xt=1&tr=t"}}, " 1/4 "}),
    [](const ::testing::TestParamInfo<PageCase>& info) { return "page" + std::to_string(info.index); });

}  // namespace
}  // namespace quillmoss

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    quillmoss::initHttp();
    quillmoss::createSearchState();
    const int result = RUN_ALL_TESTS();
    quillmoss::stopWorker();
    quillmoss::releaseSearchState();
    return result;
}
