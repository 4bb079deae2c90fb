// One serial device, opened by name and used a byte at a time at 1200 baud
// 8N1, raw, without flow control. Owned and used by the link thread; only
// SignalStop, IsStopSignalled, GetStopEvent and GetPortName may be called
// from other threads.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/Error.h"
#include "serial/Event.h"

class cComPort {
public:
    // The stop event is created on `hub`, so the owner can wait on it together
    // with its own events.
    explicit cComPort(std::shared_ptr<cWaitHub> hub = std::make_shared<cWaitHub>());
    ~cComPort();
    cComPort(const cComPort&) = delete;
    cComPort& operator=(const cComPort&) = delete;

    // Called with the name on every Open, whether it succeeds or not, so the
    // program settings remember the last port tried.
    void SetNameSink(std::function<void(const std::string&)> sink) { NameSink = std::move(sink); }

    void Open(const std::string& name);   // raises sError (ComPort)
    void Close();
    std::string GetPortName() const;      // safe from any thread
    bool IsOpen() const { return Fd >= 0; }

    void SetBaudRate(int baud);
    void SetAbortOnError(bool on);
    void SetTimeouts(int readLimitMs, int writeLimitMs);
    void SetQueueSizes(int inSize, int outSize);
    void ClearAndPurgeRx();
    void ClearAndPurgeTx();
    bool ReadByte(uint8_t& byte);
    bool WriteByte(uint8_t byte);

    void SignalStop() { StopEvent.Set(); }
    bool IsStopSignalled() const { return StopEvent.IsSet(); }
    cEvent& GetStopEvent() { return StopEvent; }
    bool HasFailed() const { return Failed; }

    // Serial devices present (USB adapters, on-board ports that have a
    // device), sorted without regard to case, followed by the names listed in
    // the environment variable ZVBASIC_PORTS (colon-separated).
    static std::vector<std::string> EnumeratePorts();

private:
    [[noreturn]] void Fail(int line, int code);
    void RequireOpen(int line) const;
    void HandleLineError(bool rxSide);

    int Fd = -1;
    mutable std::mutex NameMutex;
    std::string Name;
    cEvent StopEvent;
    bool Failed = false;
    bool AbortOnError = false;
    int ReadLimitMs = 100;
    int WriteLimitMs = 100;
    std::function<void(const std::string&)> NameSink;
};
