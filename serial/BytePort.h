// What the link needs of a serial line: open it by name, set it up, move
// single bytes within the line's time limits, purge it, and a stop event that
// ends every wait. cComPort is the real line; the link's tests put an
// in-memory ECU behind the same interface, with a faster clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "serial/Event.h"

class cBytePort {
public:
    virtual ~cBytePort() = default;

    // Called with the name on every Open, whether it succeeds or not.
    virtual void SetNameSink(std::function<void(const std::string&)> sink) = 0;
    // Port errors are raised as sError.
    virtual void Open(const std::string& name) = 0;
    virtual void Close() = 0;
    virtual std::string GetPortName() const = 0;  // safe from any thread
    // errno of the last Open that the system refused (EACCES when the user
    // may not use the device, EBUSY when another program holds it), 0
    // otherwise; safe from any thread.
    virtual int LastOpenError() const { return 0; }

    virtual void SetBaudRate(int baud) = 0;
    virtual void SetAbortOnError(bool on) = 0;
    virtual void SetTimeouts(int readLimitMs, int writeLimitMs) = 0;
    virtual void SetQueueSizes(int inSize, int outSize) = 0;
    virtual void ClearAndPurgeRx() = 0;
    virtual void ClearAndPurgeTx() = 0;
    // One byte, waiting at most the read limit; false when none came (or the
    // stop event is set).
    virtual bool ReadByte(uint8_t& byte) = 0;
    // False when the byte was refused.
    virtual bool WriteByte(uint8_t byte) = 0;
    // As WriteByte, but the stop event does not cut the wait short: the rest
    // of a frame already begun goes out whole, so the ECU's receiver is never
    // left holding half a frame. Bounded by the write limit all the same.
    virtual bool FinishByte(uint8_t byte) { return WriteByte(byte); }

    // Sets the stop event and cuts a wait on the line short.
    virtual void SignalStop() = 0;
    virtual cEvent& GetStopEvent() = 0;

    // Waits until one of `events` (all on the stop event's hub) is set, for at
    // most `limit` of the line's time: the index of the first one set, -1
    // when the time ran out. The link paces its bytes and idles with it.
    virtual int WaitAny(std::initializer_list<cEvent*> events, std::chrono::milliseconds limit) {
        return cEvent::WaitAny(events, limit);
    }
};
