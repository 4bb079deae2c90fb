// Three-byte command frames, their pacing, reading a reply and judging it.
#pragma once

#include <cstdint>

#include "link/Protocol.h"

class cBytePort;

// Where an exchange reports its single failure notification.
class cExchangeSink {
public:
    virtual ~cExchangeSink() = default;
    virtual void RaiseSendError() = 0;
    virtual void RaiseNoReply() = 0;
    virtual void RaiseBadReply() = 0;
};

// The one validity rule for all commands.
bool IsValidReply(const uint8_t command[3], const uint8_t reply[3]);

// Sends the three bytes, each after the pause for `ecuVersion` (50 ms below
// 32 and while it is 0, 10 ms from 32). The pause before the first byte ends
// early, with false, when the port's stop event is set; a frame begun is
// finished whatever the stop event says. False as soon as a byte is refused.
// Port errors are raised as sError.
bool SendFrame(cBytePort& port, const uint8_t frame[3], int ecuVersion);

// Reads up to three reply bytes, stopping at the first that does not come
// within the port's time limit; returns the count.
int ReceiveReply(cBytePort& port, uint8_t reply[3]);

// The whole transaction: send, receive, judge. On failure exactly one of
// SendError, NoReply, BadReply goes to `sink`. On success `data` is the
// reply's byte 1.
bool Exchange(cBytePort& port, int ecuVersion, cExchangeSink& sink, uint8_t code, uint8_t data, uint8_t& reply);
