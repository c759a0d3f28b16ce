#include "actions/scheme_handler.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>
#include <thread>

extern char** environ;

namespace quillmoss {
namespace {

using Clock = std::chrono::steady_clock;

// RFC 3986 scheme: a letter, then letters, digits, '+', '-' or '.'.
bool isWellFormedScheme(std::string_view scheme) {
    if (scheme.empty() || scheme.size() > 64) return false;
    auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!isAlpha(scheme.front())) return false;
    for (char c : scheme) {
        if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

int millisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The first line of the helper's output, without surrounding blanks.
std::string firstLine(const std::string& output) {
    std::string_view line(output);
    line = line.substr(0, line.find('\n'));
    const auto blank = " \t\r";
    auto first = line.find_first_not_of(blank);
    if (first == std::string_view::npos) return {};
    auto last = line.find_last_not_of(blank);
    return std::string(line.substr(first, last - first + 1));
}

class FileActions {
public:
    FileActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
    ~FileActions() { if (ok_) posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    bool ok() const { return ok_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

class SpawnAttributes {
public:
    SpawnAttributes() { ok_ = posix_spawnattr_init(&attributes_) == 0; }
    ~SpawnAttributes() { if (ok_) posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    bool ok() const { return ok_; }
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
    bool ok_ = false;
};

// Waits for the child until the deadline; kills its whole process group
// (xdg-mime is a shell script with children of its own) once it has passed.
// Returns the wait status, or nullopt when the child had to be killed.
std::optional<int> reap(pid_t pid, Clock::time_point deadline) {
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return status;
        // Already reaped elsewhere (SIGCHLD ignored by the host program): the
        // output was read to its end, so take it as a clean exit.
        if (done < 0 && errno == ECHILD) return 0;
        if (done < 0 && errno != EINTR) return std::nullopt;
        if (done == 0 && Clock::now() >= deadline) break;
        if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(-pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return std::nullopt;
}

}  // namespace

std::string defaultSchemeHandler(std::string_view scheme, const HandlerQuery& query) {
    if (!isWellFormedScheme(scheme) || query.program.empty()) return {};
    std::string mimeType = "x-scheme-handler/" + lowerAscii(scheme);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    const int readEnd = pipeFds[0];
    const int writeEnd = pipeFds[1];

    FileActions actions;
    SpawnAttributes attributes;
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaultSignals;
    sigemptyset(&defaultSignals);
    for (int sig : {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGQUIT, SIGTERM}) sigaddset(&defaultSignals, sig);

    bool prepared =
        actions.ok() && attributes.ok() &&
        posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) == 0 &&
        posix_spawn_file_actions_adddup2(actions.get(), writeEnd, 1) == 0 &&
        posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0) == 0 &&
        posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                       POSIX_SPAWN_SETSIGDEF) == 0 &&
        posix_spawnattr_setpgroup(attributes.get(), 0) == 0 &&
        posix_spawnattr_setsigmask(attributes.get(), &noSignals) == 0 &&
        posix_spawnattr_setsigdefault(attributes.get(), &defaultSignals) == 0;

    pid_t pid = -1;
    int spawnError = EINVAL;
    if (prepared) {
        std::string arg0 = query.program, arg1 = "query", arg2 = "default";
        std::array<char*, 5> argv{arg0.data(), arg1.data(), arg2.data(), mimeType.data(), nullptr};
        spawnError = posix_spawnp(&pid, query.program.c_str(), actions.get(), attributes.get(),
                                  argv.data(), environ);
    }
    close(writeEnd);
    if (spawnError != 0) {
        close(readEnd);
        return {};
    }

    const auto deadline = Clock::now() + query.timeout;
    constexpr size_t kOutputLimit = 4096;  // a desktop-file id is short; drain, keep little
    std::string output;
    bool finished = false;
    for (;;) {
        pollfd fd{readEnd, POLLIN, 0};
        int ready = poll(&fd, 1, millisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;  // time is up (or poll failed)
        char chunk[512];
        ssize_t got = read(readEnd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            finished = got == 0;
            break;
        }
        if (output.size() < kOutputLimit) output.append(chunk, static_cast<size_t>(got));
    }
    close(readEnd);

    std::optional<int> status = reap(pid, finished ? deadline : Clock::now());
    if (!finished || !status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) return {};
    return firstLine(output);
}

}  // namespace quillmoss
