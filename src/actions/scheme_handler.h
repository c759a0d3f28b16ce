// Asks the desktop which program it has registered for a URL scheme, the way
// xdg-open itself decides where a link goes. Qt-free; any thread.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace quillmoss {

struct HandlerQuery {
    // Run directly (searched on PATH when it holds no '/'), never through a shell.
    std::string program = "xdg-mime";
    // The query runs on the window thread: a stuck helper is killed after this.
    std::chrono::milliseconds timeout{2000};
};

// The desktop-file id that `xdg-mime query default x-scheme-handler/<scheme>`
// names, or an empty string when none is known: nothing registered, the
// program missing, failing or too slow, or a scheme that is not well formed.
std::string defaultSchemeHandler(std::string_view scheme, const HandlerQuery& query = {});

}  // namespace quillmoss
