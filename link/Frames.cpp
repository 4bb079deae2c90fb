#include "link/Frames.h"

#include <chrono>

#include "serial/BytePort.h"

#include "link/Settings.h"

bool IsValidReply(const uint8_t command[3], const uint8_t reply[3]) {
    if (reply[2] != FRAME_END) return false;
    const uint8_t code = command[0];
    if (code == CMD_CHECK) return reply[0] == CHECK_ANSWER;
    if (code == CMD_STORE && command[1] == STORE_DATA) return reply[0] == CMD_STORE && reply[1] == STORE_DATA;
    const uint8_t cls = CommandClass(code);
    return (cls == CMD_WRITE || cls == CMD_LIVE || cls == CMD_READ) && reply[0] == code;
}

bool SendFrame(cBytePort& port, const uint8_t frame[3], int ecuVersion) {
    const std::chrono::milliseconds pause(Ecu::BytePauseMs(ecuVersion));
    // The pause comes before every byte, the first included; the ECU needs it
    // between the bytes it receives. A stop ends the pause before the first
    // byte at once; once that byte is out the frame is finished, pauses and
    // all (at most two pauses and two write limits), since half a frame left
    // in the ECU's receiver would swallow the next program's handshake.
    if (port.WaitAny({&port.GetStopEvent()}, pause) >= 0) return false;
    if (!port.WriteByte(frame[0])) return false;
    cEvent never(port.GetStopEvent().GetHub());  // only the time ends these pauses
    for (int i = 1; i < 3; ++i) {
        port.WaitAny({&never}, pause);
        if (!port.FinishByte(frame[i])) return false;
    }
    return true;
}

int ReceiveReply(cBytePort& port, uint8_t reply[3]) {
    int count = 0;
    while (count < 3) {
        uint8_t byte;
        if (!port.ReadByte(byte)) break;
        reply[count++] = byte;
    }
    return count;
}

bool Exchange(cBytePort& port, int ecuVersion, cExchangeSink& sink, uint8_t code, uint8_t data, uint8_t& reply) {
    // Missing reply bytes stay 0, so a short reply fails the trailer test.
    uint8_t buffer[3] = {0, 0, 0};
    const uint8_t frame[3] = {code, data, FRAME_END};
    if (!SendFrame(port, frame, ecuVersion)) {
        sink.RaiseSendError();
        return false;
    }
    if (ReceiveReply(port, buffer) == 0) {
        sink.RaiseNoReply();
        return false;
    }
    if (!IsValidReply(frame, buffer)) {
        sink.RaiseBadReply();
        return false;
    }
    reply = buffer[1];
    return true;
}
