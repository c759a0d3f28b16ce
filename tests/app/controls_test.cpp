#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTreeView>

#include <atomic>
#include <thread>

#include "desktop_recorder.h"
#include "window_fixture.h"

namespace quillmoss::testing {
namespace {

using ControlsTest = WindowTest;

QString shown(QTreeView* list, int row, int column) {
    return list->model()->index(row, column).data().toString();
}

TEST_F(ControlsTest, RowsReadBackWholeAndOutOfRangeReadsAreEmpty) {
    auto* list = get<QTreeView>("超级列表框1");
    EXPECT_EQ(appendRow(), 0);
    EXPECT_EQ(appendRow(), 1);
    const Text longName = gbk("名称") + blankText(3000) + Text("end");
    setCellText(0, 0, longName);
    setCellText(0, 1, Text("magnet:?xt=urn:btih:0"));
    setCellText(1, 1, Text("magnet:?xt=urn:btih:1"));
    setCellText(5, 0, Text("no such row"));
    setCellText(1, 2, Text("no such column"));

    EXPECT_EQ(rowCount(), 2);
    EXPECT_EQ(cellText(0), longName);  // column 0 when left out
    EXPECT_EQ(cellText(0, 1), Text("magnet:?xt=urn:btih:0"));
    EXPECT_EQ(cellText(1, 0), Text());
    const struct {
        int32_t row, column;
    } outside[] = {{-1, 0}, {-1, 1}, {2, 0}, {100, 1}, {0, 2}, {0, -1}};
    for (const auto& c : outside) EXPECT_EQ(cellText(c.row, c.column), Text()) << c.row << "," << c.column;

    // Written on the window thread, the list shows it at once.
    ASSERT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(shown(list, 0, 0), qs("名称") + QString(3000, QLatin1Char(' ')) + QStringLiteral("end"));
    EXPECT_EQ(shown(list, 1, 1), QStringLiteral("magnet:?xt=urn:btih:1"));

    clearRows();
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(list->model()->rowCount(), 0);
    EXPECT_EQ(list->model()->columnCount(), 2);
    EXPECT_EQ(appendRow(), 0);
}

TEST_F(ControlsTest, SelectionFollowsTheListAndClearRowsDropsItAtOnce) {
    auto* list = get<QTreeView>("超级列表框1");
    for (int i = 0; i < 3; ++i) setCellText(appendRow(), 0, toText(i));
    EXPECT_EQ(selectedRow(), -1);
    list->selectionModel()->setCurrentIndex(list->model()->index(2, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(selectedRow(), 2);

    // From a worker: the selection is gone before the window thread has
    // seen the change, and a click into the stale rows does not bring it back.
    std::thread([] {
        clearRows();
        for (int i = 0; i < 3; ++i) appendRow();
    }).join();
    EXPECT_EQ(selectedRow(), -1);
    list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(selectedRow(), -1);
    QCoreApplication::processEvents();
    EXPECT_EQ(list->model()->rowCount(), 3);
    EXPECT_TRUE(list->selectionModel()->selectedRows().isEmpty());
    list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(selectedRow(), 1);
}

TEST_F(ControlsTest, KeywordAndCaptionKeepTheirExactBytes) {
    auto* box = get<QLineEdit>("编辑框1");
    EXPECT_EQ(keywordText(), Text());
    QTest::keyClicks(box, QStringLiteral("ab c"));
    EXPECT_EQ(keywordText(), Text("ab c"));
    box->setText(qs("变形金刚 4"));
    EXPECT_EQ(keywordText(), gbk("变形金刚 4"));
    box->clear();
    EXPECT_EQ(keywordText(), Text());

    auto* label = get<QLabel>("标签2");
    const Text caption = gbk("第1页/共12页");
    setPageCaption(caption);
    EXPECT_EQ(pageCaption(), caption);
    EXPECT_EQ(label->text(), qs("第1页/共12页"));
    // A caption is shown as text, never as markup.
    setPageCaption(Text("<b>2</b>"));
    EXPECT_EQ(label->text(), QStringLiteral("<b>2</b>"));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    // Bytes that are no GBK character are kept as they were set.
    const Text odd(std::string_view("\x81", 1));
    setPageCaption(odd);
    EXPECT_EQ(pageCaption(), odd);
}

// Workers write and read the controls while the window thread paints them
// and acts on them; in the end the widgets show what was written last.
TEST_F(ControlsTest, WorkerWritesWhileTheWindowThreadPaintsAndReads) {
    auto* list = get<QTreeView>("超级列表框1");
    auto* label = get<QLabel>("标签2");
    auto* status = get<QTextBrowser>("简单超文本框1");
    auto* box = get<QLineEdit>("编辑框1");
    constexpr int kRounds = 40;
    constexpr int kRows = 150;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int round = 0; round < kRounds; ++round) {
            const Text keyword = keywordText();
            clearRows();
            for (int i = 0; i < kRows; ++i) {
                const int32_t row = appendRow();
                setCellText(row, 0, gbk("结果") + toText(round) + Text("-") + toText(i));
                setCellText(row, 1, Text("magnet:?xt=urn:btih:") + toText(i) + keyword);
            }
            setPageCaption(toText(round) + Text("/") + toText(kRounds));
            (void)pageCaption();
            setStatusContent(toBytes(gbk("第") + toText(round) + gbk("轮\r\n完成")));
            (void)cellText(rowCount() - 1, 1);
        }
        done = true;
    });
    int repaint = 0;
    while (!done) {
        list->viewport()->repaint();
        label->repaint();
        status->viewport()->repaint();
        box->setText(QString::number(++repaint % 10));
        const int32_t rows = list->model()->rowCount();
        if (rows > 0) {
            list->selectionModel()->setCurrentIndex(list->model()->index(rows / 2, 0),
                                                    QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
        }
        (void)cellText(selectedRow(), 0);
        QCoreApplication::processEvents();
    }
    worker.join();
    QCoreApplication::processEvents();

    ASSERT_EQ(list->model()->rowCount(), kRows);
    EXPECT_EQ(shown(list, kRows - 1, 0), qs("结果39-149"));
    EXPECT_EQ(label->text(), QStringLiteral("39/40"));
    EXPECT_EQ(status->toPlainText(), qs("第39轮\n完成"));
    EXPECT_EQ(rowCount(), kRows);
}

TEST_F(ControlsTest, ThousandsOfRowsFromAWorkerReachTheListInOneUpdate) {
    auto* list = get<QTreeView>("超级列表框1");
    QAbstractItemModel* model = list->model();
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changes(model, &QAbstractItemModel::dataChanged);
    std::thread([] {
        clearRows();
        for (int i = 0; i < 5000; ++i) {
            const int32_t row = appendRow();
            setCellText(row, 0, toText(i));
            setCellText(row, 1, Text("magnet:?xt=urn:btih:") + toText(i));
        }
    }).join();
    EXPECT_EQ(model->rowCount(), 0);  // nothing has reached the window thread yet
    QCoreApplication::processEvents();
    EXPECT_EQ(resets.count() + inserts.count() + changes.count(), 1);
    ASSERT_EQ(model->rowCount(), 5000);
    EXPECT_EQ(shown(list, 4999, 1), QStringLiteral("magnet:?xt=urn:btih:4999"));

    // Later cell edits of rows the list holds are one update as well.
    changes.clear();
    std::thread([] {
        for (int i = 10; i < 20; ++i) setCellText(i, 0, Text("edited"));
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(shown(list, 19, 0), QStringLiteral("edited"));
    EXPECT_EQ(shown(list, 20, 0), QStringLiteral("20"));
}

TEST_F(ControlsTest, ClipboardGetsTheTextAsUnicode) {
    setClipboardText(gbk("magnet:?xt=urn:btih:AB&dn=中文"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), qs("magnet:?xt=urn:btih:AB&dn=中文"));
    std::thread([] { setClipboardText(Text("from worker")); }).join();
    ASSERT_TRUE(QTest::qWaitFor([] { return QGuiApplication::clipboard()->text() == QStringLiteral("from worker"); }));
}

TEST_F(ControlsTest, MousePositionIsThePointersAndWorkersGetTheLastOneSeen) {
    QCursor::setPos(123, 45);
    const ScreenPoint here = mousePosition();
    EXPECT_EQ(here.x, 123);
    EXPECT_EQ(here.y, 45);
    ScreenPoint seen;
    std::thread([&] { seen = mousePosition(); }).join();
    EXPECT_EQ(seen.x, 123);
    EXPECT_EQ(seen.y, 45);
}

class LinkTest : public WindowTest {
protected:
    DesktopRecorder desktop_;
};

TEST_F(LinkTest, OnlyDownloadLinksReachTheDesktop) {
    const struct {
        const char* address;
        const char* toQt;      // what QDesktopServices gets, or nullptr
        const char* launched;  // what xdg-open gets, or nullptr
    } cases[] = {
        {"magnet:?xt=urn:btih:ABCDEF&dn=a%20b&tr=udp://t:1/announce",
         "magnet:?xt=urn:btih:ABCDEF&dn=a%20b&tr=udp://t:1/announce", nullptr},
        {"MAGNET:?xt=urn:btih:ABC", "magnet:?xt=urn:btih:ABC", nullptr},
        // Case-sensitive base64 and "|" fields that QUrl would alter.
        {"thunder://QUFodHRwOi8vZXhhbXBsZS5jb20vQS5tcDRaWg==", nullptr,
         "thunder://QUFodHRwOi8vZXhhbXBsZS5jb20vQS5tcDRaWg=="},
        {"ed2k://|file|Name.avi|123|ABCDEF0123|/", nullptr, "ed2k://|file|Name.avi|123|ABCDEF0123|/"},
        {"http://127.0.0.1/x", nullptr, nullptr},
        {"https://example.org/", nullptr, nullptr},
        {"file:///etc/passwd", nullptr, nullptr},
        {"javascript:alert(1)", nullptr, nullptr},
        {"about:blank", nullptr, nullptr},
        {"data:text/html,magnet:", nullptr, nullptr},
        {" magnet:?xt=urn:btih:ABC", nullptr, nullptr},
        {"/tmp/magnet:x", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    QStringList expectedLaunches;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const size_t before = desktop_.urls().size();
        navigateHiddenBrowser(Text(c.address));
        const std::vector<QByteArray> urls = desktop_.urls();
        if (c.toQt != nullptr) {
            ASSERT_EQ(urls.size(), before + 1);
            EXPECT_EQ(urls.back(), QByteArray(c.toQt));
        } else {
            EXPECT_EQ(urls.size(), before);
        }
        if (c.launched != nullptr) expectedLaunches << QString::fromUtf8(c.launched);
    }
    // Launches run in processes of their own and were started in order: once
    // the expected ones have logged, any stray earlier one has too.
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop_.launched().size() >= expectedLaunches.size(); }));
    QStringList launched = desktop_.launched();
    launched.sort();
    expectedLaunches.sort();
    EXPECT_EQ(launched, expectedLaunches);
    EXPECT_TRUE(get<QWidget>("超文本浏览框1")->geometry().right() < 0);
}

TEST_F(LinkTest, DefaultBrowserOpensOnlyWebAddressesUnchanged) {
    const struct {
        const char* address;
        const char* opened;  // nullptr: nothing is opened
    } cases[] = {
        {"http://127.0.0.1:47810/?u=magnet:?xt=urn:btih:AB&dn=x&amp;y",
         "http://127.0.0.1:47810/?u=magnet:?xt=urn:btih:AB&dn=x&amp;y"},
        {"HTTPS://example.org/a", "https://example.org/a"},
        {"magnet:?xt=urn:btih:AB", nullptr},
        {"file:///etc/passwd", nullptr},
        {"javascript:alert(1)", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const size_t before = desktop_.urls().size();
        openInDefaultBrowser(Text(c.address));
        const std::vector<QByteArray> urls = desktop_.urls();
        if (c.opened != nullptr) {
            ASSERT_EQ(urls.size(), before + 1);
            EXPECT_EQ(urls.back(), QByteArray(c.opened));
        } else {
            EXPECT_EQ(urls.size(), before);
        }
    }
    // From a worker the address is carried to the window thread.
    std::thread([] { openInDefaultBrowser(Text("http://127.0.0.1/from-worker")); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const auto urls = desktop_.urls();
        return !urls.empty() && urls.back() == QByteArray("http://127.0.0.1/from-worker");
    }));
}

}  // namespace
}  // namespace quillmoss::testing
