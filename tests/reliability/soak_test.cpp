// Hundreds of quick presses of the four buttons, mixed with result actions on
// the window thread (row clicks, the result menu, double-clicks), against the
// demo site. The commands queue up behind each other while the actions read
// the list and the state; at the end the page counter, the caption, the list
// and the requests the site received must be what the presses add up to.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "actions/actions_testing.h"
#include "actions/result_actions.h"
#include "app/search_state.h"
#include "app/worker.h"
#include "demo-site/demo_site.h"
#include "http/fetch.h"
#include "reliability_harness.h"
#include "search/page_parser.h"
#include "search/search_testing.h"
#include "text/url_encode.h"

namespace quillmoss::reliability {
namespace {

int fromEnvironment(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

enum class Press { search, firstPage, previous, next };

const char* buttonOf(Press press) {
    switch (press) {
    case Press::search: return "按钮1";
    case Press::firstPage: return "按钮4";
    case Press::previous: return "按钮3";
    case Press::next: return "按钮2";
    }
    return "";
}

// The page counter's rules: a search or the first-page button sets it to 1
// and takes the page count from the site; next asks for p = counter and then
// counts up, previous asks for p = counter - 1 and then counts down; the
// label shows the counter before the move.
struct PressModel {
    int32_t counter = 1;  // set when the window was created
    int32_t totalPages = 0;
    std::string caption;
    std::vector<std::string> targets;  // what the site must have received, in order

    void apply(Press press, const std::string& keyword, int32_t sitePages) {
        switch (press) {
        case Press::search:
        case Press::firstPage:
            targets.push_back("/search?info_hash=&q=" + keyword);
            counter = 1;
            totalPages = sitePages;
            caption = " 1/" + std::to_string(sitePages) + " ";
            break;
        case Press::next:
            targets.push_back("/search?q=" + keyword + "&p=" + std::to_string(counter));
            caption = " " + std::to_string(counter) + "/" + std::to_string(totalPages) + " ";
            counter += 1;
            break;
        case Press::previous:
            targets.push_back("/search?q=" + keyword + "&p=" + std::to_string(counter - 1));
            caption = " " + std::to_string(counter) + "/" + std::to_string(totalPages) + " ";
            counter -= 1;
            break;
        }
    }
};

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(demo_.start());
        setIndexSiteBaseForTesting(Text(demo_.baseUrl()));
        setCloudPlayBaseForTesting(Text(demo_.baseUrl()));
    }

    void TearDown() override {
        setIndexSiteBaseForTesting(std::nullopt);
        setCloudPlayBaseForTesting(std::nullopt);
    }

    // Clicks a visible row of the list, when there is one.
    bool clickRow(std::mt19937& random, Qt::MouseButton which) {
        QTreeView* list = resultList();
        const int rows = list->model()->rowCount();
        if (rows == 0) return false;
        const QModelIndex index = list->model()->index(static_cast<int>(random() % std::min(rows, 8)), 0);
        const QRect rect = list->visualRect(index);
        if (!rect.isValid()) return false;
        if (which == Qt::RightButton) {
            // What a right press produces on the desktop: the mouse context-menu request.
            QContextMenuEvent request(QContextMenuEvent::Mouse, rect.center(), list->viewport()->mapToGlobal(rect.center()));
            QApplication::sendEvent(list->viewport(), &request);
        } else if (random() % 4 == 0) {
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        } else {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        }
        return true;
    }

    // Picks an item of the result menu if it opened, as the user would.
    void chooseFromMenu(std::mt19937& random) {
        QCoreApplication::processEvents();
        QMenu* menu = window().resultMenu();
        if (!menu->isVisible()) return;
        const QList<QAction*> items = menu->actions();
        QAction* item = items.at(static_cast<int>(random() % items.size()));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        if (menu->isVisible()) menu->hide();
        ++menuChoices_;
    }

    demo::DemoSite demo_;
    int menuChoices_ = 0;
};

TEST_F(Soak, QuickPressesAndActionsAddUp) {
    const int presses = fromEnvironment("QUILLMOSS_SOAK_PRESSES", 500);
    const auto seed = static_cast<uint32_t>(fromEnvironment("QUILLMOSS_SOAK_SEED", 20150307));
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(presses) + " presses");
    DesktopRecorder desktop;

    // "&" has 60 results, 6 pages: next and previous walk through real pages
    // and past both ends of them.
    const std::string keyword = "&";
    const std::string encoded = urlEncode(Text(keyword), true, true).bytes();
    constexpr int32_t kSitePages = 6;
    keywordBox()->setText(QString::fromStdString(keyword));

    PressModel model;
    model.caption = pageLabel()->text().toStdString();
    int actions = 0;
    for (int i = 0; i < presses; ++i) {
        const Press press = [&] {
            // Mostly paging, so the counter wanders well away from 1.
            const uint32_t r = random() % 10;
            return r < 1 ? Press::search : r < 2 ? Press::firstPage : r < 6 ? Press::next : Press::previous;
        }();
        QTest::mouseClick(button(buttonOf(press)), Qt::LeftButton);
        model.apply(press, encoded, kSitePages);

        // Between the presses: the user works with whatever the list shows.
        switch (random() % 6) {
        case 0:
            if (clickRow(random, Qt::LeftButton)) ++actions;
            break;
        case 1:
            if (clickRow(random, Qt::RightButton)) {
                ++actions;
                chooseFromMenu(random);
            }
            break;
        case 2:
            // Let the queued list updates in now and then.
            QTest::qWait(static_cast<int>(random() % 3));
            break;
        default:
            QCoreApplication::processEvents();
            break;
        }
    }

    // The commands run one after another in the order of the presses.
    ASSERT_TRUE(waitUntil([&] { return demo_.requestTargets().size() >= model.targets.size(); },
                          std::chrono::seconds(120)))
        << demo_.requestTargets().size() << " of " << model.targets.size() << " requests arrived";
    waitForWorkerIdle();
    EXPECT_EQ(demo_.requestTargets(), model.targets);

    {
        std::lock_guard lock(searchStateMutex());
        EXPECT_EQ(searchState().currentPage, model.counter);
        EXPECT_EQ(searchState().totalPages, model.totalPages);
    }
    EXPECT_TRUE(waitUntil([&] { return pageLabel()->text().toStdString() == model.caption; }))
        << "caption " << utf8(pageLabel()->text()) << ", expected " << model.caption;

    // The list shows the page of the last request, as the site serves it.
    const ParsedPage last = parsePage(fetchUrl(Text(demo_.baseUrl() + model.targets.back())));
    std::vector<std::pair<QString, QString>> expected;
    for (int32_t i = 1; i <= last.resultNames.size(); ++i) {
        expected.emplace_back(toQString(last.resultNames.at(i)),
                              i <= last.resultLinks.size() ? toQString(last.resultLinks.at(i)) : QString());
    }
    EXPECT_TRUE(waitUntil([&] { return shownRows() == expected; }))
        << shownRows().size() << " rows shown, " << expected.size() << " expected";
    EXPECT_EQ(rowCount(), static_cast<int32_t>(expected.size()));
    for (int32_t row = 0; row < static_cast<int32_t>(expected.size()); ++row) {
        EXPECT_EQ(toQString(cellText(row, 0)), expected[static_cast<size_t>(row)].first);
        EXPECT_EQ(toQString(cellText(row, 1)), expected[static_cast<size_t>(row)].second);
    }

    // Everything handed to the desktop came from the list: magnet links of
    // the catalogue, or its cloud-play page for one (for no link at all when
    // a double-click met a list that a command had just emptied).
    QCoreApplication::processEvents();
    const QString cloudPlay = QString::fromStdString(demo_.baseUrl() + "/?u=");
    const QString magnet = QStringLiteral("magnet:?xt=urn:btih:");
    for (const QUrl& url : desktop.urls()) {
        const QString address = url.toString();
        EXPECT_TRUE(address.startsWith(magnet) || address == cloudPlay || address.startsWith(cloudPlay + magnet))
            << utf8(address);
    }
    const QString clipboard = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(clipboard.isEmpty() || clipboard.startsWith(QStringLiteral("magnet:?xt=urn:btih:"))) << utf8(clipboard);
    // The mix really happened (a fixed seed makes it the same every run).
    EXPECT_GT(actions, presses / 10);
    RecordProperty("actions", actions);
    RecordProperty("menuChoices", menuChoices_);
    RecordProperty("desktopHandOvers", static_cast<int>(desktop.urls().size()));
}

}  // namespace
}  // namespace quillmoss::reliability
