// One serial device, opened by name and used a byte at a time at 1200 baud
// 8N1, raw, without flow control. Owned and used by the link thread; only
// SignalStop, IsStopSignalled, GetStopEvent and GetPortName may be called
// from other threads.
//
// The system side lives in one file per system: ComPortPosix.cpp (a terminal
// device) and ComPortWin32.cpp (a Windows COM port); ComPort.cpp holds what
// both share.
#pragma once

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
    bool IsOpen() const;

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
    // may not use the device, ENOENT when there is no such port), EBUSY when
    // another program holds the device, 0 after an Open that got past both;
    // on Windows the system's refusal is given as the same errno values.
    // Safe from any thread.
    int LastOpenError() const override { return OpenError.load(); }

    // Serial devices present (on Linux USB adapters and on-board ports that
    // have a device, on Windows the COM ports of the system's table of serial
    // devices) and the names listed in the environment variable
    // ZVBASIC_PORTS (separated by ExtraPortSeparator), in one list sorted by
    // PortNames::Less.
    static std::vector<std::string> EnumeratePorts();
    // Linux: the same listing under other roots for /dev and /sys (tests use
    // a fake tree). An empty root lists no devices from it.
    static std::vector<std::string> EnumeratePorts(const std::string& devRoot, const std::string& sysRoot);
    // The names in ZVBASIC_PORTS: ':' on Linux, ';' on Windows (where a
    // colon may be part of a name).
    static const char ExtraPortSeparator;
    // `devices` with the names of ZVBASIC_PORTS added, sorted, repeats dropped.
    static std::vector<std::string> WithExtraPorts(std::vector<std::string> devices);

private:
    struct sSys;  // the system's handles, in the system's own file

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

    std::unique_ptr<sSys> Sys;
    std::atomic<int> OpenError{0};
    mutable std::mutex NameMutex;
    std::string Name;
    cEvent StopEvent;
    bool Failed = false;
    bool Written = false;  // a byte has been written since Open
    bool AbortOnError = false;
    int ReadLimitMs = 100;
    int WriteLimitMs = 100;
    cLineMarkDecoder Marks;  // line-error marks while abort-on-error is on
    std::function<void(const std::string&)> NameSink;
};
