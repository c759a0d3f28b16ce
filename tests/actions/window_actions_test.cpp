// The result actions in the real window (offscreen), wired as the tool wires
// them, driven by clicks on the list and the menu. What reaches the desktop
// is observed through QDesktopServices' URL handlers; whether a handler is
// registered is asked of the real xdg-mime, against a desktop made by main().
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>

#include <memory>
#include <string>
#include <vector>

#include "../app/desktop_recorder.h"
#include "../app/window_fixture.h"
#include "actions/actions_testing.h"
#include "actions/result_actions.h"
#include "app/application.h"
#include "app/search_state.h"
#include "temp_desktop.h"
#include "text/codepage.h"

namespace quillmoss {
namespace {

using testing::DesktopRecorder;
using testing::gbk;

const Text kPlayBase("http://play.test:8080");

struct PageRow {
    const char* nameUtf8;
    const char* link;
    const char* detail;  // nullptr: the page has no block for this row
};

// Names, links and blocks of one page. Blocks belong to rows by position
// only, so the names deliberately say nothing about their blocks.
const std::vector<PageRow> kPage = {
    {"纪录片 合集", "magnet:?xt=urn:btih:0000000000000000000000000000000000000000&dn=zero", "<pre>block A</pre>"},
    {"", "magnet:?xt=urn:btih:1111111111111111111111111111111111111111", "<pre>block B</pre>"},
    {"Second", "magnet:?xt=urn:btih:2222222222222222222222222222222222222222&dn=two&tr=udp://t.example:80",
     "<pre>block C</pre>"},
    {"web link", "http://ads.example/landing", "<pre>block D</pre>"},
    {"thunder", "thunder://QUFodHRwOi8vZXhhbXBsZS5vcmcvYS56aXBaWg==", "<pre>block E</pre>"},
    {"no block", "magnet:?xt=urn:btih:5555555555555555555555555555555555555555", nullptr},
};

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

class WindowActionsTest : public testing::WindowTest {
protected:
    void SetUp() override {
        AppWiring wiring;
        wiring.onResultRightClick = onResultRightClick;
        wiring.onResultDoubleClick = onResultDoubleClick;
        wiring.sendToMagnetHandler = sendToMagnetHandler;
        wiring.copyLink = copyLink;
        wiring.playOnline = playOnline;
        wiring.showDetails = showDetails;
        makeWindow(windowHandlers(wiring));
        setCloudPlayBaseForTesting(kPlayBase);
        recorder_ = std::make_unique<DesktopRecorder>();

        std::lock_guard lock(searchStateMutex());
        searchState().detailTexts.clear();
        clearRows();
        for (const PageRow& row : kPage) {
            if (row.detail != nullptr) searchState().detailTexts.append(Text(row.detail));
            const int32_t at = appendRow();
            setCellText(at, 0, gbk(row.nameUtf8));
            setCellText(at, 1, Text(row.link));
        }
    }

    void TearDown() override {
        recorder_.reset();
        setCloudPlayBaseForTesting(std::nullopt);
        testing::WindowTest::TearDown();
    }

    QTreeView* list() { return get<QTreeView>("超级列表框1"); }

    QPoint rowCentre(int row) { return list()->visualRect(list()->model()->index(row, 0)).center(); }

    // A click through the window system, as a user's would arrive.
    void clickList(Qt::MouseButton button, QPoint inViewport, bool twice = false) {
        const QPoint at = list()->viewport()->mapTo(&window(), inViewport);
        if (twice) QTest::mouseDClick(window().windowHandle(), button, {}, at);
        else QTest::mouseClick(window().windowHandle(), button, {}, at);
    }

    // Right-click on the row, then pick the menu item named `item`.
    void chooseFromMenu(int row, const char* item) {
        clickList(Qt::RightButton, rowCentre(row));
        QMenu* menu = window().resultMenu();
        ASSERT_TRUE(menu->isVisible());
        QAction* action = menu->findChild<QAction*>(QString::fromUtf8(item));
        ASSERT_NE(action, nullptr);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        QCoreApplication::processEvents();  // the item's action runs queued, after the menu closed
    }

    std::string shownStatus() { return utf8(get<QTextBrowser>("简单超文本框1")->toPlainText()); }

    std::vector<std::string> desktopUrls() const {
        std::vector<std::string> urls;
        for (const QByteArray& url : recorder_->urls()) urls.push_back(url.toStdString());
        return urls;
    }

    std::unique_ptr<DesktopRecorder> recorder_;
};

TEST_F(WindowActionsTest, RightClickOpensTheMenuOnlyOnARowWithAName) {
    QMenu* menu = window().resultMenu();
    struct Case {
        const char* what;
        QPoint at;
        bool opens;
    } cases[] = {
        {"beside the rows, nothing selected", rowCentre(5) + QPoint(0, 80), false},
        {"row without a name", rowCentre(1), false},
        {"named row", rowCentre(2), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clickList(Qt::RightButton, c.at);
        EXPECT_EQ(menu->isVisible(), c.opens);
        EXPECT_EQ(QApplication::activePopupWidget() != nullptr, c.opens);
        if (menu->isVisible()) QTest::keyClick(menu, Qt::Key_Escape);
    }
    EXPECT_TRUE(desktopUrls().empty());
}

// Each item does its work with the row's link, then the row's own block
// (by position) replaces the status box.
TEST_F(WindowActionsTest, MenuItemsActOnTheRowsLinkAndShowItsBlock) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    struct Case {
        const char* item;
        int row;
        std::vector<std::string> desktop;  // what reaches QDesktopServices
        const char* clipboard;             // nullptr: left alone
        const char* shown;
    } cases[] = {
        {"sendToMagnetHandler", 0, {kPage[0].link}, nullptr, "block A"},
        {"copyLink", 2, {}, kPage[2].link, "block C"},
        {"playOnline", 0, {"http://play.test:8080/?u=" + std::string(kPage[0].link)}, nullptr, "block A"},
        {"showDetails", 2, {}, nullptr, "block C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        recorder_.reset();  // the old one unregisters its handlers when it goes
        recorder_ = std::make_unique<DesktopRecorder>();
        clipboard->setText(QStringLiteral("before"));
        setStatusContent(toBytes(Text("before")));

        chooseFromMenu(c.row, c.item);

        ASSERT_TRUE(QTest::qWaitFor([&] { return shownStatus() != "before"; }));
        EXPECT_EQ(shownStatus(), c.shown);
        EXPECT_EQ(desktopUrls(), c.desktop);
        EXPECT_EQ(utf8(clipboard->text()), c.clipboard ? c.clipboard : "before");
    }
}

TEST_F(WindowActionsTest, DoubleClickPlaysTheRowOnline) {
    clickList(Qt::LeftButton, rowCentre(2), true);
    EXPECT_EQ(desktopUrls(), std::vector<std::string>{"http://play.test:8080/?u=" + std::string(kPage[2].link)});
    EXPECT_EQ(shownStatus(), "block C");
}

// A row past the page's last block: the address still opens, and the status
// box keeps what it showed.
TEST_F(WindowActionsTest, RowWithoutABlockLeavesTheStatusBox) {
    setStatusContent(toBytes(gbk("搜索完成")));
    clickList(Qt::LeftButton, rowCentre(5), true);
    EXPECT_EQ(desktopUrls(), std::vector<std::string>{"http://play.test:8080/?u=" + std::string(kPage[5].link)});
    EXPECT_EQ(shownStatus(), "搜索完成");
}

// The notice goes first, the row's block follows it.
void expectNotice(const std::string& shown, const char* keyword, const char* block) {
    const auto at = shown.find(block);
    ASSERT_NE(at, std::string::npos) << shown;
    EXPECT_GT(at, 0u) << shown;
    EXPECT_NE(shown.substr(0, at).find(keyword), std::string::npos) << shown;
}

TEST_F(WindowActionsTest, WebLinkIsNotHandedOnAndTheUserIsToldWhy) {
    chooseFromMenu(3, "sendToMagnetHandler");
    EXPECT_TRUE(desktopUrls().empty());
    EXPECT_TRUE(recorder_->launched().isEmpty());
    expectNotice(shownStatus(), "不是磁力链接", "block D");
}

// main() registered a magnet handler only; xdg-mime knows none for thunder:.
TEST_F(WindowActionsTest, UnregisteredSchemeIsHandedOnWithANotice) {
    chooseFromMenu(4, "sendToMagnetHandler");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder_->launched().isEmpty(); }));
    EXPECT_EQ(recorder_->launched(), QStringList{QString::fromUtf8(kPage[4].link)});
    expectNotice(shownStatus(), "迅雷链接", "block E");
    EXPECT_NE(shownStatus().find("没有登记"), std::string::npos);
}

}  // namespace
}  // namespace quillmoss

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    // Before Qt starts: every program started from here sees this desktop only.
    quillmoss::testing::TempDesktop desktop;
    desktop.registerHandler("test-magnet", {"x-scheme-handler/magnet"});
    desktop.exportEnvironment();
    QApplication application(argc, argv);
    quillmoss::installFontSubstitutions();
    quillmoss::createSearchState();
    const int result = RUN_ALL_TESTS();
    quillmoss::releaseSearchState();
    return result;
}
