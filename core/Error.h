// The error record raised by start-up, the serial port, the link thread and
// the calibration screen, and the readable text of a system error code.
#pragma once

#include <cstdint>
#include <string>

std::string SystemErrorText(int32_t code);

struct sError {
    std::string File;   // source unit: ZVBasic, ComPort, CommThread, Calib
    std::string Line;   // location, decimal digits
    int32_t Code = -1;  // system error code, -1 when no system call failed
    std::string Text;   // SystemErrorText(Code), empty when Code is -1

    sError(std::string file, int line) : File(std::move(file)), Line(std::to_string(line)) {}
    sError(std::string file, int line, int32_t code)
        : File(std::move(file)),
          Line(std::to_string(line)),
          Code(code),
          Text(SystemErrorText(code)) {}
};
