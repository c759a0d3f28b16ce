// The result actions against a recording stand-in for the window, so every
// request they make of the desktop and every status write can be checked.
#include "actions/result_actions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "actions/actions_testing.h"
#include "app/controls.h"
#include "app/search_state.h"
#include "text/codepage.h"

#include "../search/recording_controls.h"
#include "temp_desktop.h"

namespace quillmoss {
namespace {

using testing::TempDir;
using testing::writeScript;

// The search tests' stand-in (rows and status contents, thread-safe) plus
// the selection, the mouse and a record of everything asked of the desktop.
class RecordingControls : public searchtest::RecordingControls {
public:
    using Base = searchtest::RecordingControls;

    void select(int32_t row) { std::lock_guard lock(mutex_); selected_ = row; }
    // Lets the other thread in between any two list calls, as a busy window would.
    void yieldBetweenCalls() { yield_ = true; }
    void setMouse(ScreenPoint at) { std::lock_guard lock(mutex_); mouse_ = at; }

    std::vector<ByteBuffer> statuses() const { return statusHistory(); }
    std::vector<Text> navigations() const { std::lock_guard lock(mutex_); return navigations_; }
    std::vector<Text> clipboard() const { std::lock_guard lock(mutex_); return clipboard_; }
    std::vector<Text> opened() const { std::lock_guard lock(mutex_); return opened_; }
    std::vector<ScreenPoint> popups() const { std::lock_guard lock(mutex_); return popups_; }

    void clearRows() override { pause(); Base::clearRows(); }
    void setCellText(int32_t row, int32_t column, const Text& text) override {
        pause();
        Base::setCellText(row, column, text);
    }
    Text cellText(int32_t row, int32_t column) override { pause(); return Base::cellText(row, column); }
    int32_t selectedRow() override { std::lock_guard lock(mutex_); return selected_; }
    void navigateHiddenBrowser(const Text& address) override {
        std::lock_guard lock(mutex_);
        navigations_.push_back(address);
    }
    void popupResultMenu(int32_t x, int32_t y) override {
        std::lock_guard lock(mutex_);
        popups_.push_back({x, y});
    }
    ScreenPoint mousePosition() override { std::lock_guard lock(mutex_); return mouse_; }
    void setClipboardText(const Text& text) override {
        std::lock_guard lock(mutex_);
        clipboard_.push_back(text);
    }
    void openInDefaultBrowser(const Text& address) override {
        std::lock_guard lock(mutex_);
        opened_.push_back(address);
    }

private:
    void pause() const {
        if (yield_) std::this_thread::yield();
    }

    std::atomic<bool> yield_{false};
    mutable std::mutex mutex_;
    int32_t selected_ = -1;
    ScreenPoint mouse_;
    std::vector<Text> navigations_, clipboard_, opened_;
    std::vector<ScreenPoint> popups_;
};

// A page as the worker commits it: state and list rows under the state mutex.
void commitPage(const std::vector<RecordingControls::Row>& rows, const std::vector<Text>& details) {
    std::lock_guard lock(searchStateMutex());
    SearchState& state = searchState();
    state.detailTexts.clear();
    for (const Text& detail : details) state.detailTexts.append(detail);
    clearRows();
    for (const auto& row : rows) {
        int32_t at = appendRow();
        setCellText(at, 0, row.name);
        setCellText(at, 1, row.link);
    }
}

const Text kPlayBase("http://play.test:8080");

const std::vector<RecordingControls::Row> kRows = {
    {gbkFromUtf8("第一个结果"), Text("magnet:?xt=urn:btih:aaaa&dn=first")},
    {Text("second"), Text("magnet:?xt=urn:btih:bbbb&dn=second")},
    {gbkFromUtf8("第三个"), Text("magnet:?xt=urn:btih:cccc&dn=third")},
};
const std::vector<Text> kDetails = {gbkFromUtf8("<pre>文件 0</pre>"), Text("<pre>files 1</pre>"),
                                    Text("<pre>files 2</pre>")};

class ResultActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setCloudPlayBaseForTesting(kPlayBase);
        useHandlerHelper("echo test-magnet.desktop\n");
        freshControls();
        commitPage(kRows, kDetails);
    }

    void TearDown() override {
        commitPage({}, {});
        installControls(nullptr);
        setCloudPlayBaseForTesting(std::nullopt);
        setHandlerQueryForTesting(std::nullopt);
    }

    // A new, empty window stand-in for each case of a table.
    RecordingControls& freshControls() {
        installControls(nullptr);
        controls_ = std::make_unique<RecordingControls>();
        installControls(controls_.get());
        return *controls_;
    }

    // The handler query runs a helper of the test's own, so the answer does
    // not depend on what this machine has registered.
    void useHandlerHelper(const std::string& body) {
        HandlerQuery query;
        query.program = writeScript(dir_.path(), "helper" + std::to_string(helpers_++), body).string();
        setHandlerQueryForTesting(query);
    }

    std::unique_ptr<RecordingControls> controls_;
    TempDir dir_;
    int helpers_ = 0;
};

// Everything an action asked of the desktop, in one count.
size_t desktopRequests(const RecordingControls& controls) {
    return controls.navigations().size() + controls.clipboard().size() + controls.opened().size();
}

TEST_F(ResultActionsTest, RightClickOpensMenuOnlyOnNamedSelectedRow) {
    struct Case {
        const char* what;
        std::vector<RecordingControls::Row> rows;
        int32_t selected;
        bool opens;
    } cases[] = {
        {"named row", {{Text("name"), Text("magnet:?xt=1")}}, 0, true},
        {"no row selected", {{Text("name"), Text("magnet:?xt=1")}}, -1, false},
        {"row without a name but with a link", {{Text(""), Text("magnet:?xt=1")}}, 0, false},
        {"empty list", {}, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingControls& controls = freshControls();
        commitPage(c.rows, {});
        controls.select(c.selected);
        controls.setMouse({-12, 345});

        onResultRightClick();

        auto popups = controls.popups();
        ASSERT_EQ(popups.size(), c.opens ? 1u : 0u);
        if (c.opens) {
            EXPECT_EQ(popups[0].x, -12);
            EXPECT_EQ(popups[0].y, 345);
        }
        EXPECT_TRUE(controls.statuses().empty());
        EXPECT_TRUE(controls.navigations().empty());
    }
}

// Each action does its one piece of work with the selected row's link, and
// then shows the detail block at the row's position, whatever the row's name.
TEST_F(ResultActionsTest, ActionsUseTheRowsLinkAndItsDetailBlockByPosition) {
    struct Action {
        const char* what;
        std::function<void()> run;
        std::function<std::vector<Text>(const RecordingControls&)> effects;
        std::function<Text(const Text& link)> expected;
    } actions[] = {
        {"copyLink", copyLink, [](const RecordingControls& c) { return c.clipboard(); },
         [](const Text& link) { return link; }},
        {"sendToMagnetHandler", sendToMagnetHandler,
         [](const RecordingControls& c) { return c.navigations(); }, [](const Text& link) { return link; }},
        {"playOnline", playOnline, [](const RecordingControls& c) { return c.opened(); },
         [](const Text& link) { return kPlayBase + Text("/?u=") + link; }},
        {"onResultDoubleClick", onResultDoubleClick, [](const RecordingControls& c) { return c.opened(); },
         [](const Text& link) { return kPlayBase + Text("/?u=") + link; }},
    };
    for (const Action& action : actions) {
        for (int32_t row : {0, 2}) {
            SCOPED_TRACE(std::string(action.what) + " on row " + std::to_string(row));
            RecordingControls& controls = freshControls();
            commitPage(kRows, kDetails);
            controls.select(row);
            const Text link = kRows[row].link;

            action.run();

            EXPECT_EQ(action.effects(controls), std::vector<Text>{action.expected(link)});
            EXPECT_EQ(desktopRequests(controls), 1u);
            auto statuses = controls.statuses();
            ASSERT_EQ(statuses.size(), 1u);
            EXPECT_EQ(toText(statuses[0]), kDetails[row]);
        }
    }
}

TEST_F(ResultActionsTest, ShowDetailsShowsTheBlockAtTheRowsPosition) {
    controls_->select(1);
    showDetails();
    auto statuses = controls_->statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(toText(statuses[0]), kDetails[1]);
    EXPECT_EQ(desktopRequests(*controls_), 0u);
}

TEST_F(ResultActionsTest, PlayOnlineAppendsTheLinkUnencoded) {
    struct Case {
        const char* what;
        Text base;
        Text link;
        Text expected;
    } cases[] = {
        {"reserved characters and references kept",
         kPlayBase,
         Text("magnet:?xt=urn:btih:ABC&amp;dn=a+b%20c&tr=udp://t.example:80/announce#x"),
         Text("http://play.test:8080/?u=magnet:?xt=urn:btih:ABC&amp;dn=a+b%20c&tr=udp://t.example:80/announce#x")},
        {"GBK bytes kept", kPlayBase, Text("magnet:?dn=") + gbkFromUtf8("电影"),
         Text("http://play.test:8080/?u=magnet:?dn=") + gbkFromUtf8("电影")},
        {"configured trailing slash not doubled", Text("http://play.test/"), Text("magnet:?xt=1"),
         Text("http://play.test/?u=magnet:?xt=1")},
        {"row without a link", kPlayBase, Text(""), Text("http://play.test:8080/?u=")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingControls& controls = freshControls();
        setCloudPlayBaseForTesting(c.base);
        commitPage({{Text("n"), c.link}}, {Text("d")});
        controls.select(0);

        playOnline();

        EXPECT_EQ(controls.opened(), std::vector<Text>{c.expected});
    }
}

TEST(CloudPlayBaseTest, DefaultIsTheConfiguredServiceWithoutTrailingSlash) {
    const std::string base = cloudPlayBase().bytes();
    EXPECT_TRUE(base.starts_with("http://") || base.starts_with("https://")) << base;
    EXPECT_FALSE(base.ends_with("/")) << base;
}

// Without a selected row, or past the last detail block, nothing is read out
// of bounds and the status box keeps what it shows; the action's own work
// (copy, open, hand on) is still done.
TEST_F(ResultActionsTest, NoDetailBlockLeavesTheStatusBoxAlone) {
    struct Case {
        const char* what;
        size_t detailCount;  // of the three rows' blocks, how many the page had
        int32_t selected;
    } cases[] = {
        {"no row selected", 3, -1},
        {"fewer detail blocks than names", 2, 2},
        {"no detail blocks at all", 0, 0},
    };
    struct Action {
        const char* what;
        void (*run)();
        size_t desktopRequests;
    } actions[] = {
        {"showDetails", showDetails, 0},
        {"copyLink", copyLink, 1},
        {"playOnline", playOnline, 1},
        {"onResultDoubleClick", onResultDoubleClick, 1},
    };
    for (const Case& c : cases) {
        for (const Action& action : actions) {
            SCOPED_TRACE(std::string(c.what) + ", " + action.what);
            RecordingControls& controls = freshControls();
            std::vector<Text> details;
            for (size_t i = 0; i < c.detailCount; ++i) details.push_back(Text("block"));
            commitPage({{Text("a"), Text("magnet:?xt=a")}, {Text("b"), Text("magnet:?xt=b")},
                        {Text("c"), Text("magnet:?xt=c")}},
                       details);
            controls.select(c.selected);

            action.run();

            EXPECT_TRUE(controls.statuses().empty());
            EXPECT_EQ(desktopRequests(controls), action.desktopRequests);
        }
    }
}

TEST_F(ResultActionsTest, EmptyDetailBlockEmptiesTheStatusBox) {
    commitPage({{Text("a"), Text("magnet:?xt=a")}}, {Text("")});
    controls_->select(0);
    showDetails();
    auto statuses = controls_->statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_TRUE(statuses[0].empty());
}

// The status box for a notice: the notice first, then the row's detail block.
void expectNoticeAbove(const Text& status, const Text& detail, const char* keywordUtf8) {
    const std::string& bytes = status.bytes();
    ASSERT_TRUE(bytes.ends_with(detail.bytes())) << bytes;
    const std::string notice = bytes.substr(0, bytes.size() - detail.bytes().size());
    EXPECT_NE(notice.find(gbkFromUtf8(keywordUtf8).bytes()), std::string::npos)
        << "notice lacks " << keywordUtf8 << ": " << notice;
}

TEST_F(ResultActionsTest, MagnetHandlerRefusesLinksThatAreNotDownloadLinks) {
    struct Case {
        const char* what;
        Text link;
        int32_t selected;
        const char* keyword;  // what the notice must speak of
    } cases[] = {
        {"web page", Text("http://ads.example/landing"), 0, "不是磁力链接"},
        {"script", Text("javascript:alert(1)"), 0, "不是磁力链接"},
        {"local file", Text("file:///etc/passwd"), 0, "不是磁力链接"},
        {"scheme that only starts like magnet", Text("magnetic:?xt=1"), 0, "不是磁力链接"},
        {"row without a link", Text(""), 0, "没有下载地址"},
        {"no row selected", Text("magnet:?xt=1"), -1, "选中"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingControls& controls = freshControls();
        const Text detail("<pre>the block</pre>");
        commitPage({{Text("name"), c.link}}, {detail});
        controls.select(c.selected);

        sendToMagnetHandler();

        EXPECT_TRUE(controls.navigations().empty());
        auto statuses = controls.statuses();
        ASSERT_EQ(statuses.size(), 1u);
        // With no row selected there is no block to show under the notice.
        expectNoticeAbove(toText(statuses[0]), c.selected < 0 ? Text() : detail, c.keyword);
    }
}

TEST_F(ResultActionsTest, MagnetHandlerHandsOnEveryDownloadScheme) {
    for (const Text& link : {Text("MAGNET:?xt=urn:btih:AAAA"), Text("thunder://QUFodHRwOi8vZXhhbXBsZQ=="),
                             Text("ed2k://|file|a.avi|1|ABCD|/")}) {
        SCOPED_TRACE(link.bytes());
        RecordingControls& controls = freshControls();
        commitPage({{Text("name"), link}}, {Text("<pre>d</pre>")});
        controls.select(0);

        sendToMagnetHandler();

        EXPECT_EQ(controls.navigations(), std::vector<Text>{link});
        EXPECT_EQ(toText(controls.statuses().at(0)), Text("<pre>d</pre>"));
    }
}

// With no program known for the scheme the link is still handed on (the
// desktop may know more than xdg-mime says), and the user is told.
TEST_F(ResultActionsTest, MagnetHandlerSaysSoWhenNoProgramIsRegistered) {
    struct Case {
        const char* what;
        const char* helper;  // empty: the query program does not exist
        Text link;
        const char* keyword;
    } cases[] = {
        {"nothing registered", "exit 0\n", Text("magnet:?xt=urn:btih:bbbb"), "磁力链接"},
        {"query program missing", nullptr, Text("magnet:?xt=urn:btih:bbbb"), "磁力链接"},
        {"thunder link", "exit 0\n", Text("thunder://QUFodHRw"), "迅雷链接"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingControls& controls = freshControls();
        if (c.helper != nullptr) {
            useHandlerHelper(c.helper);
        } else {
            HandlerQuery query;
            query.program = (dir_.path() / "missing-xdg-mime").string();
            setHandlerQueryForTesting(query);
        }
        const Text detail = gbkFromUtf8("<pre>文件列表</pre>");
        commitPage({{Text("name"), c.link}}, {detail});
        controls.select(0);

        sendToMagnetHandler();

        EXPECT_EQ(controls.navigations(), std::vector<Text>{c.link});
        auto statuses = controls.statuses();
        ASSERT_EQ(statuses.size(), 1u);
        expectNoticeAbove(toText(statuses[0]), detail, c.keyword);
        expectNoticeAbove(toText(statuses[0]), detail, "没有登记");
    }
}

// A worker committing new pages while the user acts: the link used and the
// detail block shown always belong to the same page.
TEST_F(ResultActionsTest, LinkAndDetailBlockComeFromOnePageWhileResultsChange) {
    auto page = [](int generation) {
        std::vector<RecordingControls::Row> rows;
        std::vector<Text> details;
        for (int row = 0; row < 3; ++row) {
            std::string tag = "g" + std::to_string(generation) + "r" + std::to_string(row);
            rows.push_back({Text(tag), Text("magnet:?xt=" + tag)});
            details.push_back(Text("<pre>" + tag + "</pre>"));
        }
        return std::make_pair(rows, details);
    };
    {
        auto [rows, details] = page(0);
        commitPage(rows, details);
    }
    controls_->select(1);
    controls_->yieldBetweenCalls();
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (int generation = 1; !stop; ++generation) {
            auto [rows, details] = page(generation);
            commitPage(rows, details);
        }
    });
    for (int i = 0; i < 3000; ++i) copyLink();
    stop = true;
    worker.join();

    auto clipboard = controls_->clipboard();
    auto statuses = controls_->statuses();
    ASSERT_EQ(clipboard.size(), statuses.size());
    for (size_t i = 0; i < clipboard.size(); ++i) {
        const std::string link = clipboard[i].bytes();
        ASSERT_TRUE(link.starts_with("magnet:?xt=")) << "read a half-filled list: " << link;
        const std::string tag = link.substr(std::string("magnet:?xt=").size());
        ASSERT_EQ(toText(statuses[i]).bytes(), "<pre>" + tag + "</pre>");
    }
}

}  // namespace
}  // namespace quillmoss

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    quillmoss::createSearchState();
    int result = RUN_ALL_TESTS();
    quillmoss::releaseSearchState();
    return result;
}
