// The worker that runs the search and paging commands. Commands run one at a
// time, in the order they were started, on one thread of their own, so the
// window thread never waits for them.
#pragma once

#include <functional>

namespace quillmoss {

using Command = std::function<void()>;

// Queues the command; false once stopWorker() has run (the command is dropped).
bool startWorker(Command command);

// Drops queued commands, waits for the running one to return and ends the
// worker thread. Callers abort any exchange in flight first so the wait is
// short. Safe to call more than once.
void stopWorker();

// Blocks until every command started so far has finished (tests).
void waitForWorkerIdle();

}  // namespace quillmoss
