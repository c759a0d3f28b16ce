// Start-up and shutdown of the tool: what main() runs once its libraries are
// ready. Everything here runs on the main thread, which is the window thread.
#pragma once

#include <functional>

#include "app/worker.h"

namespace quillmoss {

class MainWindow;
struct WindowHandlers;

// The commands and handlers the window's events run. An empty entry makes
// its event do nothing.
struct AppWiring {
    // Run on the worker, one at a time in the order of the presses.
    Command searchFirstPage;   // 按钮1 and 按钮4
    Command showPreviousPage;  // 按钮3
    Command showNextPage;      // 按钮2
    // Run on the window thread.
    std::function<void()> onResultRightClick;
    std::function<void()> onResultDoubleClick;
    std::function<void()> sendToMagnetHandler;
    std::function<void()> copyLink;
    std::function<void()> playOnline;
    std::function<void()> showDetails;
    // Makes an exchange in flight (and every later one) return at once; run
    // first when the window has closed so that the worker stops promptly.
    std::function<void()> abortExchanges;
    // Runs on the window thread once the window is shown, before the event
    // loop starts (tests and benchmarks drive the window from here).
    std::function<void(MainWindow&)> onWindowShown;
};

// The window's handlers for a wiring: the buttons start their commands on the
// worker, the list and menu events call their handlers directly.
WindowHandlers windowHandlers(const AppWiring& wiring);

// The window's creation-complete event: the page counter is set to 1 and the
// start-up skin is attached. Window thread, the search state must exist.
void onMainWindowCreated();

// Runs the tool: the program directory becomes the current directory, the
// search state is created, the window is built, shown centred and handed to
// the control operations, and the event loop runs until the window closes.
// Then exchanges are aborted, the worker is stopped, the controls are removed
// and the search state is released once. Returns the exit code, 0.
// Call once per process (the worker cannot restart).
int runApplication(int& argc, char** argv, const AppWiring& wiring);

}  // namespace quillmoss
