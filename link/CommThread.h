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
    // Called with the name on every port open (program settings' Port).
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
    // (private members are added by the implementation)
};
