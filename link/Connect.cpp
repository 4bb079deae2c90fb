// Finding the ECU and learning its version: the handshake (RQ_CONNECT), the
// identification (RQ_IDENTIFY) and the link check (RQ_CHECK).
#include "link/CommThread.h"

namespace {
constexpr int kHandshakePauseMs = 200;
// A second's worth of bytes at 1200 baud: a line that is not quiet after
// these is not waited for any longer in this attempt.
constexpr int kMaxDroppedBytes = 120;
}  // namespace

bool cCommThread::WaitQuietLine() {
    Port->SetTimeouts(QuietMs, WriteLimitMs);
    bool quiet = false;
    uint8_t byte = 0;
    for (int dropped = 0; dropped <= kMaxDroppedBytes; ++dropped) {
        if (!Port->ReadByte(byte)) {
            quiet = !Port->GetStopEvent().IsSet();
            break;
        }
    }
    Port->SetTimeouts(ReadLimitMs, WriteLimitMs);
    return quiet;
}

bool cCommThread::Connect() {
    RaiseLinkEvent(RQ_CONNECT, Phase::Start, 0);
    EcuVersion = 0;  // frames are paced at 50 ms until identification
    EcuIdVersion = 0;
    Port->SetAbortOnError(false);  // line noise must not block the port while hunting

    cEvent& portStop = Port->GetStopEvent();
    int attempt = 0;
    // A new port name ends the hunt too, so the cycle moves to that port.
    while (!Terminate && !Stop.IsSet() && !PortChanged.IsSet() && !portStop.IsSet()) {
        attempt = (attempt + 1) % 10;
        RaiseLinkEvent(RQ_CONNECT, Phase::Attempt, attempt);
        Port->ClearAndPurgeTx();
        Port->ClearAndPurgeRx();
        // The pause before the handshake ends with the quiet-line wait, which
        // is part of it: bytes still on their way (the reply to a frame that
        // a program before this one sent and left, the late answer to an
        // earlier attempt) must not pass for the answer to this handshake.
        if (!Pause(kHandshakePauseMs - QuietMs, true)) continue;  // stopped: the loop ends
        if (!WaitQuietLine()) continue;

        if (!Port->WriteByte(HANDSHAKE_BYTE)) {
            RaiseSendError();
            return false;
        }
        bool matched = true;
        for (uint8_t expected : HANDSHAKE_ANSWER) {
            uint8_t byte = 0;
            if (!Port->ReadByte(byte)) {
                if (portStop.IsSet()) return false;
                matched = false;
                break;
            }
            if (byte != expected) {
                matched = false;
                break;
            }
        }
        if (matched) {
            RaiseLinkEvent(RQ_CONNECT, Phase::Connected, 1);
            Port->SetAbortOnError(true);
            return true;
        }
    }

    RaiseLinkEvent(RQ_CONNECT, Phase::Connected, 0);
    {
        std::lock_guard<std::timed_mutex> lock(QueueLock);
        Updates = {};
    }
    return false;
}

bool cCommThread::Identify() {
    RaiseLinkEvent(RQ_IDENTIFY, Phase::Start, 0);
    uint8_t reply = 0;
    if (!Exchange(CMD_ID_VERSION, 0x00, reply)) return false;
    EcuIdVersion = reply;
    RaiseLinkEvent(RQ_IDENTIFY, Phase::IdVersion, reply);
    RaiseLinkEvent(RQ_IDENTIFY, Phase::AskVersion, 0);
    if (!Exchange(CMD_VERSION, 0x00, reply)) return false;
    EcuVersion = reply;
    RaiseLinkEvent(RQ_IDENTIFY, Phase::Version, reply);
    return true;
}

bool cCommThread::Check() {
    RaiseLinkEvent(RQ_CHECK, Phase::Start, 0);
    uint8_t reply = 0;
    if (!Exchange(CMD_CHECK, 0x00, reply)) return false;
    RaiseLinkEvent(RQ_CHECK, Phase::Checked, 1);
    return true;
}
