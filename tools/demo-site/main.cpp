// quillmoss-demo-site [--port N]: serves the demo index site on 127.0.0.1
// until SIGINT or SIGTERM.
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <pthread.h>

#include "demo-site/demo_site.h"

#ifndef QUILLMOSS_DEMO_PORT
#define QUILLMOSS_DEMO_PORT 47810
#endif

namespace {

int usage(const char* program) {
    std::fprintf(stderr, "usage: %s [--port N]   (N from 0 to 65535; 0 picks a free port; default %d)\n",
                 program, QUILLMOSS_DEMO_PORT);
    return 2;
}

bool parsePort(const char* text, int& port) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 65535) return false;
    port = static_cast<int>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int port = QUILLMOSS_DEMO_PORT;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            if (!parsePort(argv[++i], port)) return usage(argv[0]);
        } else if (arg.rfind("--port=", 0) == 0) {
            if (!parsePort(argv[i] + 7, port)) return usage(argv[0]);
        } else {
            return usage(argv[0]);
        }
    }

    // Block the stop signals before any thread exists, so that every serving
    // thread inherits the mask and only sigwait() below receives them.
    // A shell starts background jobs with SIGINT ignored; we want it anyway.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    quillmoss::demo::DemoSite site;
    if (!site.start(port)) {
        std::fprintf(stderr, "quillmoss-demo-site: cannot listen on 127.0.0.1:%d: %s\n", port,
                     std::strerror(errno));
        return 1;
    }
    std::printf("quillmoss-demo-site: listening on %s/\n", site.baseUrl().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    site.stop();
    std::printf("quillmoss-demo-site: stopped (%s)\n", received == SIGINT ? "SIGINT" : "SIGTERM");
    return 0;
}
