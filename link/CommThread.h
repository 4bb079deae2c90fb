// The link thread: owns the serial port, serves one request at a time,
// connects, identifies and reads the settings by itself, polls live values
// while idle, and tells the listeners (the screens) what happens through
// synchronous calls on the user-interface thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

#include "link/Frames.h"
#include "link/LinkListener.h"
#include "link/Settings.h"
#include "serial/ComPort.h"
#include "serial/Event.h"

class cCommThread : private cExchangeSink {
public:
    // The line speed, and the wait before each idle poll step.
    static constexpr int BaudRate = 1200;
    static constexpr std::chrono::milliseconds IdleWait{50};
    // The live values of the visualisation and idle polls, in polling order.
    static constexpr int LivePollParams[6] = {1, 3, 5, 7, 6, 8};

    // `invoker` runs a function on the user-interface thread and waits for it;
    // an empty invoker runs it directly on the link thread (core tests).
    // The thread starts at once and waits for a port name.
    explicit cCommThread(tUiInvoker invoker = {});
    ~cCommThread();  // calls Shutdown if it has not run
    cCommThread(const cCommThread&) = delete;
    cCommThread& operator=(const cCommThread&) = delete;

    // Listeners receive every notification in the order they were added.
    // Add them before the first SetPortName.
    void AddListener(cLinkListener* listener);
    // When set and returning true, LinkIdle(false) is not raised (the
    // program settings' Enabled flag). Read before every request served.
    void SetEnabledSource(std::function<bool()> enabled);
    // Called with the name on every port open (program settings' Port). It
    // runs on the user-interface thread, through the invoker.
    void SetPortNameSink(std::function<void(const std::string&)> sink);

    bool PostRequest(int32_t code);
    void QueueUpdate(sUpdate update);
    void StopRequest();
    bool IsBusy() const;
    int32_t GetCurrentRequest() const { return CurrentRequest.load(); }
    int GetEcuVersion() const { return EcuVersion.load(); }
    int GetEcuIdVersion() const { return EcuIdVersion.load(); }
    bool IsConnected() const { return Connected.load(); }
    cComPort& GetPort() { return *Port; }
    void SetPortName(const std::string& name);
    std::string GetPortName() const;

    // Ends the thread and waits for it. `pump` is called repeatedly while
    // waiting (the GUI passes one that processes pending events, so that a
    // delivery in flight can finish).
    void Shutdown(const std::function<void()>& pump = {});

    // Process-wide position of the next idle poll read.
    static std::atomic<int> IdlePollIndex;

private:
    // Exchange failures, delivered to every listener.
    void RaiseSendError() override;
    void RaiseNoReply() override;
    void RaiseBadReply() override;

    // Thread body and its levels.
    void Run();
    bool OpenPort();
    void RunCycle();
    bool Serve();
    bool RunTransaction(int32_t code);

    // Transactions; each returns the transaction's success.
    bool Connect();
    bool Check();
    bool Identify();
    bool ReadSettings();
    bool WriteSettings();
    bool ConfigPoll();
    bool VisPoll();
    // One idle poll read; left out (with success) when a posted request
    // arrived first.
    bool IdlePollStep();
    bool FlushUpdates();
    bool Exchange(uint8_t code, uint8_t data, uint8_t& reply);
    uint8_t LiveValue(int k, uint8_t raw) const;

    // Waits up to `ms` on the port's stop event (and, when `orStop`, on the
    // request stop and port-changed events); true when the full time passed.
    bool Pause(int ms, bool orStop);

    // Runs `fn` on the user-interface thread (through the invoker) and waits.
    void OnUi(const std::function<void()>& fn);
    // Delivers a notification to every listener in order, one invoker call
    // per listener. Nothing new is delivered once the thread is told to end.
    void Notify(const std::function<void(cLinkListener&)>& fn);
    void RaiseLinkEvent(int32_t request, int32_t phase, int32_t value);
    void RaiseLinkIdle(bool idle);
    // Sets the request to serve next, under the request lock.
    void SetPending(int32_t code);
    // Takes a timed lock within `limit`; false when the time ran out.
    static bool TryLockFor(std::unique_lock<std::timed_mutex>& lock, std::chrono::milliseconds limit);

    tUiInvoker Invoker;
    std::shared_ptr<cWaitHub> Hub;
    std::unique_ptr<cComPort> Port;

    // Manual-reset events, all on Hub together with the port's stop event.
    cEvent PortChanged{Hub};
    cEvent Pending{Hub};
    cEvent Busy{Hub};
    cEvent Stop{Hub};
    cEvent Ended{Hub};

    std::timed_mutex RequestLock;   // serialises posting and taking requests
    std::timed_mutex QueueLock;     // guards Updates
    std::queue<sUpdate> Updates;

    mutable std::mutex NameMutex;   // guards PortName
    std::string PortName;

    std::mutex ListenerMutex;       // guards the three below
    std::vector<cLinkListener*> Listeners;
    std::function<bool()> EnabledSource;
    std::function<void(const std::string&)> NameSink;

    std::atomic<int32_t> CurrentRequest{RQ_CONNECT};
    std::atomic<int> EcuVersion{0};
    std::atomic<int> EcuIdVersion{0};
    std::atomic<bool> Connected{false};
    std::atomic<bool> Terminate{false};
    bool Serving = false;           // link thread only: a transaction runs

    std::mutex ShutdownMutex;
    std::thread Thread;
};
