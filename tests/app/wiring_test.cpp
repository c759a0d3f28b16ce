#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <QWindow>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/worker.h"
#include "window_fixture.h"

namespace quillmoss::testing {
namespace {

// What ran, in order, and whether two commands ever ran at once.
class Journal {
public:
    void record(const std::string& what) {
        std::lock_guard lock(mutex_);
        entries_.push_back(what);
    }
    std::vector<std::string> entries() {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    // A command that records its name while it runs.
    Command command(std::string name) {
        return [this, name] {
            const int running = ++inFlight_;
            int seen = maxInFlight_.load();
            while (running > seen && !maxInFlight_.compare_exchange_weak(seen, running)) {}
            waitIfHeld();
            record(name);
            --inFlight_;
        };
    }
    std::function<void()> handler(std::string name) {
        return [this, name] { record(name); };
    }
    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        released_.notify_all();
    }
    int maxInFlight() const { return maxInFlight_.load(); }
    int inFlight() const { return inFlight_.load(); }

private:
    void waitIfHeld() {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return !held_; });
    }

    std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
    std::vector<std::string> entries_;
    std::atomic<int> inFlight_{0};
    std::atomic<int> maxInFlight_{0};
};

class WiringTest : public WindowTest {
protected:
    void SetUp() override {
        AppWiring wiring;
        wiring.searchFirstPage = journal_.command("searchFirstPage");
        wiring.showPreviousPage = journal_.command("showPreviousPage");
        wiring.showNextPage = journal_.command("showNextPage");
        wiring.onResultRightClick = [this] { journal_.record("rightClick row " + std::to_string(selectedRow())); };
        wiring.onResultDoubleClick = [this] { journal_.record("doubleClick row " + std::to_string(selectedRow())); };
        for (const char* name : {"sendToMagnetHandler", "copyLink", "playOnline", "showDetails"}) {
            auto action = [this, name = std::string(name)] {
                journal_.record(name + (window().resultMenu()->isVisible() ? " (menu open)" : ""));
            };
            if (name == std::string("sendToMagnetHandler")) wiring.sendToMagnetHandler = action;
            if (name == std::string("copyLink")) wiring.copyLink = action;
            if (name == std::string("playOnline")) wiring.playOnline = action;
            if (name == std::string("showDetails")) wiring.showDetails = action;
        }
        makeWindow(windowHandlers(wiring));
    }

    void TearDown() override {
        journal_.release();
        waitForWorkerIdle();
        WindowTest::TearDown();
    }

    // A click through the window system, as a user's would arrive.
    void clickList(Qt::MouseButton button, QPoint inViewport, bool twice = false) {
        auto* list = get<QTreeView>("超级列表框1");
        const QPoint at = list->viewport()->mapTo(&window(), inViewport);
        if (twice) QTest::mouseDClick(window().windowHandle(), button, {}, at);
        else QTest::mouseClick(window().windowHandle(), button, {}, at);
    }

    QPoint rowCentre(int row) {
        auto* list = get<QTreeView>("超级列表框1");
        return list->visualRect(list->model()->index(row, 0)).center();
    }

    Journal journal_;
};

TEST_F(WiringTest, EachButtonStartsItsCommandOnTheWorker) {
    const struct {
        const char* button;
        const char* command;
    } cases[] = {{"按钮1", "searchFirstPage"},
                 {"按钮4", "searchFirstPage"},
                 {"按钮3", "showPreviousPage"},
                 {"按钮2", "showNextPage"}};
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        QTest::mouseClick(get<QPushButton>(c.button), Qt::LeftButton);
        expected.push_back(c.command);
    }
    waitForWorkerIdle();
    EXPECT_EQ(journal_.entries(), expected);
}

TEST_F(WiringTest, QuickPressesRunOneAtATimeInPressOrder) {
    const char* buttons[] = {"按钮1", "按钮2", "按钮3", "按钮4"};
    const char* commands[] = {"searchFirstPage", "showNextPage", "showPreviousPage", "searchFirstPage"};
    // The first command holds the worker while every other press arrives, so
    // commands started in parallel would be seen running together.
    journal_.hold();
    std::vector<std::string> expected;
    for (int i = 0; i < 60; ++i) {
        const int which = (i * 7 + i / 5) % 4;
        QTest::mouseClick(get<QPushButton>(buttons[which]), Qt::LeftButton);
        expected.push_back(commands[which]);
    }
    ASSERT_TRUE(QTest::qWaitFor([this] { return journal_.inFlight() == 1; }));
    journal_.release();
    waitForWorkerIdle();
    EXPECT_EQ(journal_.entries(), expected);
    EXPECT_EQ(journal_.maxInFlight(), 1);
}

TEST_F(WiringTest, WindowAnswersInputWhileACommandRuns) {
    journal_.hold();
    QTest::mouseClick(get<QPushButton>("按钮1"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return journal_.inFlight() == 1; }));
    QTest::keyClicks(get<QLineEdit>("编辑框1"), QStringLiteral("typed"));
    EXPECT_EQ(keywordText(), Text("typed"));
    setCellText(appendRow(), 0, Text("row"));
    EXPECT_EQ(get<QTreeView>("超级列表框1")->model()->rowCount(), 1);
    EXPECT_EQ(journal_.inFlight(), 1);  // still running all along
    journal_.release();
    waitForWorkerIdle();
    EXPECT_EQ(journal_.entries(), std::vector<std::string>{"searchFirstPage"});
}

TEST_F(WiringTest, RightClickSelectsTheRowUnderThePointerThenRunsItsHandler) {
    clickList(Qt::RightButton, {50, 50});  // an empty list: still the list's right-click
    for (int i = 0; i < 4; ++i) setCellText(appendRow(), 0, toText(i));
    clickList(Qt::RightButton, rowCentre(2));
    clickList(Qt::RightButton, rowCentre(3) + QPoint(0, 60));  // below the rows: selection stays
    EXPECT_EQ(journal_.entries(), (std::vector<std::string>{"rightClick row -1", "rightClick row 2",
                                                            "rightClick row 2"}));
    EXPECT_FALSE(window().resultMenu()->isVisible());  // popping up is the handler's business
}

TEST_F(WiringTest, DoubleClickAnywhereInTheListRunsItsHandler) {
    clickList(Qt::LeftButton, {50, 50}, true);
    for (int i = 0; i < 3; ++i) setCellText(appendRow(), 0, toText(i));
    clickList(Qt::LeftButton, rowCentre(1), true);
    EXPECT_EQ(journal_.entries(), (std::vector<std::string>{"doubleClick row -1", "doubleClick row 1"}));
}

TEST_F(WiringTest, MenuPopsUpWithoutBlockingAndItemsRunAfterItClosed) {
    QMenu* menu = window().resultMenu();
    const struct {
        const char* item;
        Qt::MouseButton button;
    } cases[] = {{"sendToMagnetHandler", Qt::LeftButton},
                 {"copyLink", Qt::LeftButton},
                 {"playOnline", Qt::RightButton},  // either button picks an item
                 {"showDetails", Qt::LeftButton}};
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        popupResultMenu(120, 90);
        ASSERT_TRUE(menu->isVisible());  // popupResultMenu has returned: it did not block
        EXPECT_EQ(menu->geometry().topLeft(), QPoint(120, 90));
        QAction* action = menu->findChild<QAction*>(QString::fromUtf8(c.item));
        ASSERT_NE(action, nullptr);
        QTest::mouseClick(menu, c.button, {}, menu->actionGeometry(action).center());
        EXPECT_EQ(journal_.entries().size(), expected.size());  // not yet: it runs queued
        expected.push_back(c.item);
        ASSERT_TRUE(QTest::qWaitFor([&] { return journal_.entries().size() == expected.size(); }));
        EXPECT_FALSE(menu->isVisible());
    }
    EXPECT_EQ(journal_.entries(), expected);  // no "(menu open)": each ran after the menu closed

    popupResultMenu(120, 90);
    ASSERT_TRUE(menu->isVisible());
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_FALSE(menu->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(journal_.entries(), expected);  // dismissing runs nothing
}

TEST_F(WiringTest, NothingElseIsWired) {
    setCellText(appendRow(), 0, Text("b"));
    setCellText(appendRow(), 0, Text("a"));
    auto* list = get<QTreeView>("超级列表框1");
    QHeaderView* header = list->header();
    for (int section : {0, 1, 0}) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + 20, header->height() / 2));
    }
    for (const char* name : {"标签1", "标签2", "标签3", "按钮6", "简单超文本框1", "编辑框1", "超文本浏览框1"}) {
        QWidget* widget = get<QWidget>(name);
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(3, 3));
        QTest::mouseDClick(widget, Qt::LeftButton, {}, QPoint(3, 3));
    }
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(0));
    QCoreApplication::processEvents();
    waitForWorkerIdle();
    EXPECT_EQ(journal_.entries(), std::vector<std::string>{});
    // Header clicks do not sort.
    EXPECT_EQ(list->model()->index(0, 0).data().toString(), QStringLiteral("b"));
    EXPECT_EQ(list->model()->index(1, 0).data().toString(), QStringLiteral("a"));
}

}  // namespace
}  // namespace quillmoss::testing
