// One serial device, opened by name and used a byte at a time at 1200 baud
// 8N1, raw, without flow control. Owned and used by the link thread; only
// SignalStop, IsStopSignalled, GetStopEvent and GetPortName may be called
// from other threads.
#pragma once

#include <termios.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Error.h"

#include "serial/BytePort.h"
#include "serial/Event.h"
#include "serial/LineMarks.h"

class cComPort : public cBytePort {
public:
    // The stop event is created on `hub`, so the owner can wait on it together
    // with its own events.
    explicit cComPort(std::shared_ptr<cWaitHub> hub = std::make_shared<cWaitHub>());
    ~cComPort() override;
    cComPort(const cComPort&) = delete;
    cComPort& operator=(const cComPort&) = delete;

    // Called with the name on every Open, whether it succeeds or not, so the
    // program settings remember the last port tried.
    void SetNameSink(std::function<void(const std::string&)> sink) override { NameSink = std::move(sink); }

    void Open(const std::string& name) override;  // raises sError (ComPort)
    void Close() override;
    std::string GetPortName() const override;  // safe from any thread
    bool IsOpen() const { return Fd >= 0; }

    void SetBaudRate(int baud) override;
    void SetAbortOnError(bool on) override;
    void SetTimeouts(int readLimitMs, int writeLimitMs) override;
    void SetQueueSizes(int inSize, int outSize) override;
    void ClearAndPurgeRx() override;
    void ClearAndPurgeTx() override;
    bool ReadByte(uint8_t& byte) override;
    bool WriteByte(uint8_t byte) override;
    bool FinishByte(uint8_t byte) override;

    // Sets the stop event and wakes a ReadByte or WriteByte waiting on the
    // line at once. While the event is set, ReadByte returns false at once.
    // Setting the event directly through GetStopEvent does not cut a wait on
    // the line short; use SignalStop for that. The port never clears it.
    void SignalStop() override;
    bool IsStopSignalled() const { return StopEvent.IsSet(); }
    cEvent& GetStopEvent() override { return StopEvent; }
    bool HasFailed() const { return Failed; }
    // errno of the last Open whose open() call failed (EACCES when the user
    // may not use the device), EBUSY when another program holds the device,
    // 0 after an Open that got past both; safe from any thread.
    int LastOpenError() const override { return OpenError.load(); }

    // Serial devices present (USB adapters, on-board ports that have a
    // device) and the names listed in the environment variable ZVBASIC_PORTS
    // (colon-separated), in one list sorted by PortNames::Less.
    static std::vector<std::string> EnumeratePorts();
    // The same listing under other roots for /dev and /sys (tests use a fake
    // tree). An empty root lists no devices from it.
    static std::vector<std::string> EnumeratePorts(const std::string& devRoot, const std::string& sysRoot);

private:
    [[noreturn]] void Fail(int line, int code);
    void RequireOpen(int line) const;
    void SetName(const std::string& name);
    // Waits for `events` on the device or the stop wake-up until `deadline`.
    // Returns the device's poll events, 0 on time-out, -1 when the stop event
    // is set (never when `despiteStop`: the wake-up is not waited for then).
    // Raises sError when poll itself fails.
    int WaitDevice(short events, std::chrono::steady_clock::time_point deadline, int line, bool despiteStop = false);
    bool Write(uint8_t byte, bool despiteStop);
    // One raw byte from the device within `deadline`: 1 got it, 0 time-out or
    // stop. Raises sError (failed flag) on a device error or a dropped line.
    int ReadRaw(uint8_t& byte, std::chrono::steady_clock::time_point deadline);
    void DrainWake();

    int Fd = -1;
    std::atomic<int> OpenError{0};
    int WakeRead = -1;  // self-pipe: SignalStop writes a byte to wake a poll
    int WakeWrite = -1;
    mutable std::mutex NameMutex;
    std::string Name;
    cEvent StopEvent;
    bool Failed = false;
    bool Written = false;  // a byte has been written since Open
    bool AbortOnError = false;
    int ReadLimitMs = 100;
    int WriteLimitMs = 100;
    cLineMarkDecoder Marks;  // line-error marks while abort-on-error is on
    termios SavedLine{};     // the device's line settings when it was opened
    std::function<void(const std::string&)> NameSink;
};
