// The whole road to the desktop: the real window on a real X server (Xvfb),
// Qt's own xdg-open launch, the real xdg-open and xdg-mime, and handler
// programs registered in a desktop of the test's making. The link provably
// arrives at the program registered for it.
//
// Qt's offscreen platform opens no URLs at all, so this runs on xcb; main()
// starts a private Xvfb and sets the environment before Qt starts.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>

#include <array>
#include <optional>
#include <string>

#include "../app/window_fixture.h"
#include "actions/actions_testing.h"
#include "actions/result_actions.h"
#include "app/application.h"
#include "app/search_state.h"
#include "temp_desktop.h"

extern char** environ;

namespace quillmoss {
namespace {

testing::TempDesktop* desktop = nullptr;

const char kMagnet[] = "magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567&dn=demo&tr=udp://t.example:80";
const char kPlayBase[] = "http://127.0.0.1:9/play";

class DesktopPathTest : public testing::WindowTest {
protected:
    void SetUp() override {
        AppWiring wiring;
        wiring.onResultDoubleClick = onResultDoubleClick;
        wiring.sendToMagnetHandler = sendToMagnetHandler;
        makeWindow(windowHandlers(wiring));
        setCloudPlayBaseForTesting(Text(kPlayBase));
        std::lock_guard lock(searchStateMutex());
        searchState().detailTexts.clear();
        searchState().detailTexts.append(Text("<pre>the files</pre>"));
        clearRows();
        const int32_t row = appendRow();
        setCellText(row, 0, Text("demo"));
        setCellText(row, 1, Text(kMagnet));
    }

    void TearDown() override {
        setCloudPlayBaseForTesting(std::nullopt);
        testing::WindowTest::TearDown();
    }

    QPoint firstRowInWindow() {
        auto* list = get<QTreeView>("超级列表框1");
        return list->viewport()->mapTo(&window(), list->visualRect(list->model()->index(0, 0)).center());
    }

    std::string shownStatus() {
        return get<QTextBrowser>("简单超文本框1")->toPlainText().toUtf8().toStdString();
    }
};

TEST_F(DesktopPathTest, MagnetLinkReachesTheRegisteredHandler) {
    QTest::mouseClick(window().windowHandle(), Qt::LeftButton, {}, firstRowInWindow());
    ASSERT_EQ(selectedRow(), 0);
    sendToMagnetHandler();
    EXPECT_TRUE(desktop->waitForReceived("test-magnet", kMagnet)) << desktop->received("test-magnet");
    // xdg-mime knows the handler, so the block shows without a notice.
    EXPECT_EQ(shownStatus(), "the files");
    EXPECT_EQ(desktop->received("test-browser"), "");
}

TEST_F(DesktopPathTest, DoubleClickReachesTheRegisteredBrowser) {
    QTest::mouseDClick(window().windowHandle(), Qt::LeftButton, {}, firstRowInWindow());
    const std::string address = std::string(kPlayBase) + "/?u=" + kMagnet;
    EXPECT_TRUE(desktop->waitForReceived("test-browser", address)) << desktop->received("test-browser");
    EXPECT_EQ(desktop->received("test-magnet"), "");
}

// A private X server for this process; stopped when it goes.
class Xvfb {
public:
    bool start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);  // -displayfd 3
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::array<std::string, 8> args{"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "800x600x24"};
        std::array<char*, 9> argv{};
        for (size_t i = 0; i < args.size(); ++i) argv[i] = args[i].data();
        const int error = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (error != 0) {
            close(fds[0]);
            pid_ = -1;
            return false;
        }
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return false;
        display_ = ":" + number;
        return true;
    }

    ~Xvfb() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }

    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace
}  // namespace quillmoss

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

    quillmoss::testing::TempDesktop desktop;
    desktop.registerHandler("test-magnet", {"x-scheme-handler/magnet"});
    desktop.registerHandler("test-browser", {"x-scheme-handler/http", "x-scheme-handler/https"});
    desktop.exportEnvironment();
    quillmoss::desktop = &desktop;

    quillmoss::Xvfb xvfb;
    if (!xvfb.start()) {
        std::fprintf(stderr, "could not start Xvfb (scripts/setup.sh installs it)\n");
        return 1;
    }
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    unsetenv("WAYLAND_DISPLAY");

    int result = 1;
    {
        QApplication application(argc, argv);
        quillmoss::installFontSubstitutions();
        quillmoss::createSearchState();
        result = RUN_ALL_TESTS();
        quillmoss::releaseSearchState();
    }
    return result;
}
