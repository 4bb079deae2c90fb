// Manual-reset events that can be waited on together.
//
// Every event belongs to a cWaitHub: one mutex and one condition variable
// shared by all events that a thread may want to wait for at once. Setting an
// event wakes every waiter of its hub, and WaitAny checks the flags under the
// hub's mutex, so waiting on several events with a time limit needs no polling.
#pragma once

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <memory>
#include <mutex>

class cWaitHub {
public:
    std::mutex Mutex;
    std::condition_variable Cond;
};

class cEvent {
public:
    explicit cEvent(std::shared_ptr<cWaitHub> hub = std::make_shared<cWaitHub>()) : Hub(std::move(hub)) {}
    cEvent(const cEvent&) = delete;
    cEvent& operator=(const cEvent&) = delete;

    void Set() {
        {
            std::lock_guard<std::mutex> lock(Hub->Mutex);
            Flag = true;
        }
        Hub->Cond.notify_all();
    }
    void Reset() {
        std::lock_guard<std::mutex> lock(Hub->Mutex);
        Flag = false;
    }
    bool IsSet() const {
        std::lock_guard<std::mutex> lock(Hub->Mutex);
        return Flag;
    }
    // Waits until this event is set; false when the time ran out.
    bool Wait(std::chrono::microseconds limit) {
        std::unique_lock<std::mutex> lock(Hub->Mutex);
        return Hub->Cond.wait_for(lock, limit, [this] { return Flag; });
    }
    const std::shared_ptr<cWaitHub>& GetHub() const { return Hub; }

    // Waits until any of the events (all of the same hub) is set. Returns the
    // index of the first one set, in the order given, or -1 on time-out.
    // A negative limit waits without time limit.
    static int WaitAny(std::initializer_list<cEvent*> events, std::chrono::microseconds limit) {
        if (events.size() == 0) return -1;
        cWaitHub& hub = *(*events.begin())->Hub;
        std::unique_lock<std::mutex> lock(hub.Mutex);
        int found = -1;
        auto check = [&] {
            int i = 0;
            for (cEvent* e : events) {
                if (e->Flag) {
                    found = i;
                    return true;
                }
                ++i;
            }
            return false;
        };
        if (limit.count() < 0) hub.Cond.wait(lock, check);
        else hub.Cond.wait_for(lock, limit, check);
        return found;
    }

private:
    std::shared_ptr<cWaitHub> Hub;
    bool Flag = false;  // guarded by Hub->Mutex
};
