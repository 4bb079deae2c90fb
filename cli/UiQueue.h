// The command-line program's "user-interface thread": the main thread runs
// the link's notifications one at a time while it waits, so every
// notification, and every touch of the settings records, happens on one
// thread, as in the windowed program.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class cUiQueue {
public:
    // Called on the link thread: runs fn on the main thread and waits until
    // it has run.
    void Invoke(const std::function<void()>& fn);
    // Called on the main thread: runs what is queued, then waits for more,
    // until `done` holds or `limit` has passed (returns done()) or `cut`
    // holds (checked at least every 20 ms; returns false).
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                  const std::function<bool()>& cut = {});
    // Runs what is queued now and returns.
    void RunPending();

private:
    struct sJob {
        const std::function<void()>* Fn;
        bool Done = false;
    };
    void RunJobs(std::unique_lock<std::mutex>& lock);

    std::mutex Mutex;
    std::condition_variable Cond;
    std::deque<sJob*> Jobs;
};
