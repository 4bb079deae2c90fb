// Decoding of the terminal driver's line-error marks.
//
// With PARMRK and INPCK set, the driver hands a byte received with a framing
// or parity error to the reader as 0xFF 0x00 <byte>, a break as 0xFF 0x00
// 0x00, and a real data byte 0xFF as 0xFF 0xFF. The port sets these flags only
// while abort-on-error is on, and turns every mark into a line error.
#pragma once

#include <cstdint>

class cLineMarkDecoder {
public:
    enum class eResult { Data, NeedMore, LineError };

    // Feeds one byte from the driver. Data: `out` holds a received byte.
    // NeedMore: part of a mark, feed the next byte. LineError: a mark (or a
    // sequence that is no valid mark) ended.
    eResult Feed(uint8_t in, uint8_t& out) {
        switch (State) {
        case eState::Idle:
            if (in == 0xFF) {
                State = eState::GotFF;
                return eResult::NeedMore;
            }
            out = in;
            return eResult::Data;
        case eState::GotFF:
            if (in == 0xFF) {
                State = eState::Idle;
                out = 0xFF;
                return eResult::Data;
            }
            if (in == 0x00) {
                State = eState::GotMark;
                return eResult::NeedMore;
            }
            State = eState::Idle;
            return eResult::LineError;
        case eState::GotMark:
        default: State = eState::Idle; return eResult::LineError;
        }
    }
    // True while part of a mark has been fed.
    bool InMark() const { return State != eState::Idle; }
    void Reset() { State = eState::Idle; }

private:
    enum class eState { Idle, GotFF, GotMark };
    eState State = eState::Idle;
};
