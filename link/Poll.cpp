// Live values: the configuration screen's poll (RQ_CONFIG_POLL), the
// visualisation poll (RQ_VIS_POLL) and the idle poll the thread runs by
// itself while connected.
#include <iterator>

#include "link/CommThread.h"

double cCommThread::PollCycleSeconds(int ecuVersion) {
    // One frame: three bytes out, each after the pacing pause, and three
    // bytes back; a byte is ten bits on the line (8N1).
    const double byteMs = 10.0 * 1000.0 / BaudRate;
    const double frameMs = 3 * (Ecu::BytePauseMs(ecuVersion) + byteMs) + 3 * byteMs;
    const double stepMs = double(IdleWait.count()) + frameMs;
    return double(std::size(LivePollParams)) * stepMs / 1000.0;
}

uint8_t cCommThread::LiveValue(int k, uint8_t raw) const {
    // ECUs below version 25 report the engine speed period doubled.
    if (k == LiveRPM && Ecu::RpmDoubled(EcuVersion)) return uint8_t(raw >> 1);
    return raw;
}

bool cCommThread::ConfigPoll() {
    uint8_t reply = 0;
    for (;;) {
        if (Terminate) return false;
        if (Stop.IsSet()) return true;
        if (!FlushUpdates()) return false;
        if (!Exchange(LiveCommand(LiveTPS), 0x00, reply)) return false;
        RaiseLinkEvent(RQ_CONFIG_POLL, Phase::ConfigTps, reply);
        if (!Ecu::NewProtocol(EcuVersion)) continue;
        if (!FlushUpdates()) return false;
        if (!Exchange(LiveCommand(LiveRPM), 0x00, reply)) return false;
        RaiseLinkEvent(RQ_CONFIG_POLL, Phase::ConfigRpm, reply);  // as sent, not halved
    }
}

bool cCommThread::VisPoll() {
    uint8_t reply = 0;
    for (;;) {
        for (int k : LivePollParams) {
            if (Terminate) return false;
            if (Stop.IsSet()) return true;
            if (!FlushUpdates()) return false;
            if (!Exchange(LiveCommand(k), 0x00, reply)) return false;
            RaiseLinkEvent(RQ_VIS_POLL, k, LiveValue(k, reply));
        }
    }
}

bool cCommThread::IdlePollStep() {
    if (Pending.IsSet()) return true;  // a request is waiting: serve it first
    if (!FlushUpdates()) return false;
    {
        std::lock_guard<std::timed_mutex> lock(RequestLock);
        if (Pending.IsSet() || Busy.IsSet()) return true;
        CurrentRequest = RQ_IDLE_POLL;
    }
    int index = IdlePollIndex.load();
    if (index < 0 || index >= LIVE_POLL_COUNT) index = 0;
    const int k = LivePollParams[index];
    uint8_t reply = 0;
    if (!Exchange(LiveCommand(k), 0x00, reply)) return false;
    RaiseLinkEvent(RQ_IDLE_POLL, k, LiveValue(k, reply));
    IdlePollIndex = (index + 1) % LIVE_POLL_COUNT;
    return true;
}
