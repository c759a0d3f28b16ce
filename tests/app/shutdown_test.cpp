// The real start-up and close path, once per process: runApplication cannot
// run twice because the worker does not restart.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "app/application.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/search_state.h"
#include "app/skin.h"
#include "app/worker.h"
#include "text/codepage.h"

namespace quillmoss {
namespace {

// Stands in for an exchange against a server that never answers: it returns
// only when aborted (or, if the abort never comes, after a long while).
class StalledExchange {
public:
    bool waitForAbort() {
        std::unique_lock lock(mutex_);
        running_ = true;
        started_.notify_all();
        return aborted_cv_.wait_for(lock, std::chrono::seconds(30), [this] { return aborted_; });
    }
    void abort() {
        std::lock_guard lock(mutex_);
        aborted_ = true;
        aborted_cv_.notify_all();
    }
    bool running() {
        std::lock_guard lock(mutex_);
        return running_;
    }

private:
    std::mutex mutex_;
    std::condition_variable started_;
    std::condition_variable aborted_cv_;
    bool running_ = false;
    bool aborted_ = false;
};

TEST(Shutdown, ClosingDuringACommandAbortsItStopsTheWorkerAndReleasesTheStateOnce) {
    std::filesystem::current_path("/");
    StalledExchange exchange;
    std::atomic<bool> sawAbort{false};
    std::atomic<bool> finishedAfterAbort{false};
    std::atomic<int> aborts{0};
    std::string startDirectory;
    int pageAtStart = -1;
    int32_t skinAtStart = -1;
    bool stateEmptyAtStart = false;
    std::chrono::steady_clock::time_point closedAt;

    AppWiring wiring;
    wiring.searchFirstPage = [&] {
        setStatusContent(toBytes(gbkFromUtf8("开始搜索。。。。")));
        sawAbort = exchange.waitForAbort();
        // What a command does after a failed exchange: report, touch the state.
        setStatusContent(toBytes(Text("failed")));
        clearRows();
        (void)keywordText();
        std::lock_guard lock(searchStateMutex());
        searchState().pageText = Text();
        finishedAfterAbort = true;
    };
    wiring.abortExchanges = [&] {
        ++aborts;
        exchange.abort();
    };
    wiring.onWindowShown = [&](MainWindow& window) {
        startDirectory = std::filesystem::current_path().string();
        {
            std::lock_guard lock(searchStateMutex());
            pageAtStart = searchState().currentPage;
            stateEmptyAtStart = searchState().pageText.empty() && searchState().detailTexts.empty() &&
                                searchState().resultNames.empty() && searchState().resultLinks.empty() &&
                                searchState().totalPages == 0;
        }
        skinAtStart = attachedSkin();
        // Once the loop runs: press search, wait for the command, close.
        QTimer::singleShot(0, &window, [&] {
            QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("按钮1")), Qt::LeftButton);
            (void)QTest::qWaitFor([&] { return exchange.running(); }, 10000);
            closedAt = std::chrono::steady_clock::now();
            window.close();
        });
    };

    char name[] = "quillmoss_app_shutdown_test";
    char* argv[] = {name, nullptr};
    int argc = 1;
    const int exitCode = runApplication(argc, argv, wiring);
    const auto closeTook = std::chrono::steady_clock::now() - closedAt;

    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(startDirectory, std::filesystem::path(runDirectory().bytes()).string());
    EXPECT_EQ(pageAtStart, 1);
    EXPECT_EQ(skinAtStart, kStartupSkin);
    EXPECT_TRUE(stateEmptyAtStart);
    EXPECT_TRUE(exchange.running());
    EXPECT_EQ(aborts.load(), 1);
    EXPECT_TRUE(sawAbort) << "the running command was not aborted";
    EXPECT_TRUE(finishedAfterAbort) << "the command did not finish before the state went away";
    EXPECT_FALSE(searchStateExists());
    // The worker is gone for good and the controls are no longer installed.
    EXPECT_FALSE(startWorker([] {}));
    EXPECT_EQ(appendRow(), -1);
    EXPECT_EQ(keywordText(), Text());
    std::cout << "close to return: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(closeTook).count() << " ms\n";
}

}  // namespace
}  // namespace quillmoss
