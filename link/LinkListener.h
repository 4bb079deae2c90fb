// The receiving end of the link thread's notifications. Every screen is one;
// the core tests use plain listeners.
#pragma once

#include <bit>
#include <cstdint>
#include <functional>

enum : int32_t {
    RQ_CONNECT = 0x10000000,
    RQ_CHECK = 0x10000001,
    RQ_IDENTIFY = 0x10000002,
    RQ_READ_SETTINGS = 0x10000003,
    RQ_WRITE_SETTINGS = 0x10000004,
    RQ_CONFIG_POLL = 0x10000005,
    RQ_VIS_POLL = 0x10000006,
    RQ_IDLE_POLL = 0x10000007,
};

// LinkEvent phases by request. The visualisation and idle polls report the
// live value number (eLive) as their phase.
namespace Phase {
constexpr int32_t Start = 0;       // every request: the transaction starts (value 0)
constexpr int32_t Attempt = 1;     // RQ_CONNECT: attempt counter 1..9, 0, 1, ...
constexpr int32_t Connected = 2;   // RQ_CONNECT: 1 answered, 0 connecting stopped
constexpr int32_t IdVersion = 1;   // RQ_IDENTIFY: EcuIdVersion
constexpr int32_t AskVersion = 2;  // RQ_IDENTIFY: the version command follows (value 0)
constexpr int32_t Version = 3;     // RQ_IDENTIFY: EcuVersion
constexpr int32_t Checked = 1;     // RQ_CHECK: value 1, the link answered
constexpr int32_t Progress = 1;    // settings read: fraction bits; write: step 0, 1, ...
constexpr int32_t Done = 2;        // read: 1 complete; write: 0 store follows, 1 stored
constexpr int32_t ConfigTps = 0;   // RQ_CONFIG_POLL: throttle raw
constexpr int32_t ConfigRpm = 1;   // RQ_CONFIG_POLL: engine speed period code
}  // namespace Phase

class cLinkListener {
public:
    virtual ~cLinkListener() = default;

    // Written by the link thread just before each LinkEvent delivery; only
    // meaningful while that LinkEvent runs.
    int32_t LinkRequest = -1;
    int32_t LinkPhase = -1;
    int32_t LinkValue = -1;

    virtual void LinkEvent() {}
    virtual void SettingsLoaded() {}
    virtual void RequestFailed() {}
    virtual void SendError() {}
    virtual void NoReply() {}
    virtual void BadReply() {}
    virtual void LinkIdle(bool /*idle*/) {}

    // How the link delivers LinkIdle: to this listener, and (screens) to
    // every listener nested in it.
    virtual void DeliverLinkIdle(bool idle) { LinkIdle(idle); }
};

// Runs a function on the user-interface thread and returns when it has run.
using tUiInvoker = std::function<void(const std::function<void()>&)>;

// The settings-read progress travels as a 32-bit float in the integer's bits.
inline int32_t ProgressToValue(float f) { return std::bit_cast<int32_t>(f); }
inline float ValueToProgress(int32_t v) { return std::bit_cast<float>(v); }
