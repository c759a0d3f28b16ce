#include "app/worker.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace quillmoss {
namespace {

// One thread takes the commands in order. It starts with the first command
// and is joined by stopWorker(); a process that never starts a command never
// starts the thread.
class CommandQueue {
public:
    ~CommandQueue() { stop(); }

    bool push(Command command) {
        std::lock_guard lock(mutex_);
        if (stopped_) return false;
        queue_.push_back(std::move(command));
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        wake_.notify_all();
        return true;
    }

    void stop() {
        std::thread finishing;
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
            queue_.clear();
            finishing = std::move(thread_);
            wake_.notify_all();
        }
        if (finishing.joinable() && finishing.get_id() != std::this_thread::get_id()) finishing.join();
        else if (finishing.joinable()) finishing.detach();
    }

    void waitIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopped_ || !queue_.empty(); });
            if (queue_.empty()) break;  // stopped
            Command command = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
            lock.unlock();
            command();
            command = nullptr;
            lock.lock();
            busy_ = false;
            if (queue_.empty()) idle_.notify_all();
        }
        busy_ = false;
        idle_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Command> queue_;
    std::thread thread_;
    bool busy_ = false;
    bool stopped_ = false;
};

CommandQueue& commandQueue() {
    static CommandQueue queue;
    return queue;
}

}  // namespace

bool startWorker(Command command) { return commandQueue().push(std::move(command)); }

void stopWorker() { commandQueue().stop(); }

void waitForWorkerIdle() { commandQueue().waitIdle(); }

}  // namespace quillmoss
