// The receiving end of the link thread's notifications. Every screen is one;
// the core tests use plain listeners.
#pragma once

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
inline int32_t ProgressToValue(float f) {
    int32_t v;
    static_assert(sizeof v == sizeof f);
    __builtin_memcpy(&v, &f, sizeof v);
    return v;
}
inline float ValueToProgress(int32_t v) {
    float f;
    __builtin_memcpy(&f, &v, sizeof f);
    return f;
}
