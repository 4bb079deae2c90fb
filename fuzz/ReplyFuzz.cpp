// Reply reception from the serial line: the bytes of the input arrive on a
// pseudo-terminal that the program's own port reads, three at a time as the
// link receives replies, with and without line-error marking. Every byte
// must come through once, in order (a data byte 0xFF too, which the terminal
// driver escapes while marking is on), and judging each reply must be safe.
//
// Input: byte 0 bit 0 = marking on, bit 1 = keep a last short reply (which
// costs a read time-out; otherwise the line is cut to whole replies); bytes
// 1-2 = the command and data byte the replies answer; the rest is the line.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "serial/ComPort.h"

#include "link/Frames.h"

#include "fuzz/FuzzKit.h"

namespace {

struct sLine {
    int Master = -1;
    cComPort Port;
    sLine() {
        Master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (Master < 0 || ::grantpt(Master) != 0 || ::unlockpt(Master) != 0) fuzzkit::Fail("pseudo-terminal");
        Port.Open(::ptsname(Master));
        Port.SetBaudRate(1200);  // also raw mode, as the link sets it
        Port.SetTimeouts(200, 200);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static sLine line;
    if (size < 3) return 0;
    const bool marking = data[0] & 1;
    const uint8_t command[3] = {data[1], data[2], FRAME_END};
    const uint8_t* stream = data + 3;
    const bool shortLast = data[0] & 2;
    const size_t length = shortLast ? size - 3 : (size - 3) / 3 * 3;
    // The terminal queue holds 4 KiB; a reply is three bytes.
    if (length > 1024) return 0;

    line.Port.SetAbortOnError(marking);
    line.Port.ClearAndPurgeRx();
    if (length > 0 && ::write(line.Master, stream, length) != ssize_t(length)) fuzzkit::Fail("write to the line");

    std::vector<uint8_t> received;
    while (received.size() < length) {
        uint8_t reply[3] = {0, 0, 0};
        const int n = ReceiveReply(line.Port, reply);
        FUZZ_CHECK(n >= 0 && n <= 3);
        if (n == 0) break;
        received.insert(received.end(), reply, reply + n);
        if (n == 3 && IsValidReply(command, reply)) FUZZ_CHECK(reply[2] == FRAME_END);
    }
    FUZZ_CHECK(received.size() == length);
    FUZZ_CHECK(length == 0 || std::memcmp(received.data(), stream, length) == 0);
    return 0;
}
