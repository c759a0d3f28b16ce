#include "app/application.h"

#include <QApplication>
#include <QScreen>

#include <filesystem>
#include <system_error>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/search_state.h"
#include "app/skin.h"
#include "text/text.h"

namespace quillmoss {
namespace {

std::function<void()> startsOnWorker(const Command& command) {
    if (!command) return {};
    return [command] { startWorker(command); };
}

void enterProgramDirectory() {
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(runDirectory().bytes()), error);
}

void centreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

}  // namespace

WindowHandlers windowHandlers(const AppWiring& wiring) {
    WindowHandlers handlers;
    handlers.searchPressed = startsOnWorker(wiring.searchFirstPage);
    handlers.firstPagePressed = startsOnWorker(wiring.searchFirstPage);
    handlers.previousPagePressed = startsOnWorker(wiring.showPreviousPage);
    handlers.nextPagePressed = startsOnWorker(wiring.showNextPage);
    handlers.resultRightClick = wiring.onResultRightClick;
    handlers.resultDoubleClick = wiring.onResultDoubleClick;
    handlers.sendToMagnetHandler = wiring.sendToMagnetHandler;
    handlers.copyLink = wiring.copyLink;
    handlers.playOnline = wiring.playOnline;
    handlers.showDetails = wiring.showDetails;
    return handlers;
}

void onMainWindowCreated() {
    {
        std::lock_guard lock(searchStateMutex());
        searchState().currentPage = 1;
    }
    attachSkin(kStartupSkin);
}

int runApplication(int& argc, char** argv, const AppWiring& wiring) {
    enterProgramDirectory();
    createSearchState();
    int exitCode = 0;
    {
        QApplication application(argc, argv);
        // Lets the desktop match the running window with its launcher and icon.
        QGuiApplication::setDesktopFileName(QStringLiteral(QUILLMOSS_APP_ID));
        installFontSubstitutions();
        MainWindow window(windowHandlers(wiring));
        installControls(&window);
        onMainWindowCreated();
        centreOnScreen(window);
        window.show();
        if (wiring.onWindowShown) wiring.onWindowShown(window);
        exitCode = QApplication::exec();

        // The worker may be inside an exchange: abort it so that stopping is
        // quick, and take the controls away only once no command can call them.
        if (wiring.abortExchanges) wiring.abortExchanges();
        stopWorker();
        installControls(nullptr);
    }
    releaseSearchState();
    return exitCode;
}

}  // namespace quillmoss
