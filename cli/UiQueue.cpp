#include "cli/UiQueue.h"

void cUiQueue::Invoke(const std::function<void()>& fn) {
    sJob job{&fn};
    std::unique_lock<std::mutex> lock(Mutex);
    Jobs.push_back(&job);
    Cond.notify_all();
    Cond.wait(lock, [&] { return job.Done; });
}

void cUiQueue::RunJobs(std::unique_lock<std::mutex>& lock) {
    while (!Jobs.empty()) {
        sJob* job = Jobs.front();
        Jobs.pop_front();
        lock.unlock();
        (*job->Fn)();
        lock.lock();
        job->Done = true;
        Cond.notify_all();
    }
}

void cUiQueue::RunPending() {
    std::unique_lock<std::mutex> lock(Mutex);
    RunJobs(lock);
}

bool cUiQueue::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                        const std::function<bool()>& cut) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<std::mutex> lock(Mutex);
    for (;;) {
        RunJobs(lock);
        lock.unlock();
        const bool finished = done();
        const bool stop = !finished && cut && cut();
        lock.lock();
        if (finished) return true;
        if (stop) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        const auto slice = std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(20));
        Cond.wait_for(lock, slice, [&] { return !Jobs.empty(); });
    }
}
