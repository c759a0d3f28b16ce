// Start-up to the first paint of the main window, on the offscreen platform:
// the window alone in a running application, and a whole new process through
// runApplication as the executable starts it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/application.h"
#include "app/main_window.h"
#include "app/skin.h"

extern char** environ;

namespace quillmoss {
namespace {

constexpr const char* kChildFlag = "--first-paint-child";

// Calls back when the watched widget has been painted for the first time.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<void()> painted) : painted_(std::move(painted)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && painted_) {
            auto painted = std::move(painted_);
            painted_ = nullptr;
            painted();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> painted_;
};

void windowToFirstPaint(benchmark::State& state, bool attachSkinToo) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        bool painted = false;
        FirstPaint watch([&] { painted = true; });
        {
            MainWindow window({});
            window.installEventFilter(&watch);
            if (attachSkinToo) attachSkin(kStartupSkin);
            window.show();
            while (!painted) QCoreApplication::processEvents(QEventLoop::AllEvents);
            const auto end = std::chrono::steady_clock::now();
            state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        }
        QCoreApplication::processEvents();
    }
}

void BM_WindowToFirstPaint(benchmark::State& state) { windowToFirstPaint(state, false); }
void BM_WindowWithSkinToFirstPaint(benchmark::State& state) { windowToFirstPaint(state, true); }

// The time from spawning a process until its window has painted, as the
// child reports through a pipe.
void BM_ProcessStartToFirstPaint(benchmark::State& state) {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        state.SkipWithError("cannot find the benchmark's own executable");
        return;
    }
    self[length] = '\0';
    for (auto _ : state) {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) {
            state.SkipWithError("pipe failed");
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
        std::string flag = kChildFlag;
        char* argv[] = {self, flag.data(), nullptr};
        const auto start = std::chrono::steady_clock::now();
        pid_t child = 0;
        const int spawned = posix_spawn(&child, self, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        char byte = 0;
        const ssize_t got = spawned == 0 ? read(pipeFds[0], &byte, 1) : -1;
        const auto end = std::chrono::steady_clock::now();
        close(pipeFds[0]);
        int status = 0;
        if (spawned == 0) waitpid(child, &status, 0);
        if (got != 1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the child did not paint its window and exit cleanly");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

// The child: the tool's start-up with no commands; reports the first paint
// on descriptor 3 and closes its window.
int runChild(int argc, char** argv) {
    AppWiring wiring;
    FirstPaint* watch = nullptr;
    wiring.onWindowShown = [&](MainWindow& window) {
        watch = new FirstPaint([&window] {
            const char byte = 1;
            (void)!write(3, &byte, 1);
            QTimer::singleShot(0, &window, [&window] { window.close(); });
        });
        watch->setParent(&window);
        window.installEventFilter(watch);
    };
    return runApplication(argc, argv, wiring);
}

}  // namespace
}  // namespace quillmoss

BENCHMARK(quillmoss::BM_WindowToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(quillmoss::BM_WindowWithSkinToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(quillmoss::BM_ProcessStartToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (argc >= 2 && std::strcmp(argv[1], quillmoss::kChildFlag) == 0) return quillmoss::runChild(argc, argv);
    QApplication application(argc, argv);
    quillmoss::installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
