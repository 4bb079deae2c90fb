// zvbasic-cli's commands, with their output passed in: the program hands
// them its standard output and standard error, the tests their own buffers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "formats/CaptureData.h"

#include "report/Report.h"

#include "cli/CliSession.h"

struct sCliOutput {
    // Writes to standard output; returns 0, or the errno of a write that
    // failed (a closed pipe, a full disk).
    std::function<int(const std::string&)> Out;
    // Writes one or more whole lines to standard error.
    std::function<void(const std::string&)> Err;
    // Standard error is a terminal (the progress draws a bar).
    bool ErrTerminal = false;
    // Paints the fitting report as PDF into `pdf` (false with `error` when
    // it could not); empty in a build without Qt, which makes no PDF.
    std::function<bool(const Report::sContent&, const Capture::sCaptureData*, std::string& pdf, std::string& error)>
        Pdf;
};

// Runs one command line (without the program name) and returns the exit
// code. With --json, standard output gets exactly one JSON value for the
// run (a live watch: one object per line), warnings go into it as a
// "warnings" list and stay on standard error as plain text. `line` is what
// the link talks through (empty: the serial port, see sCliLine).
int RunCliCommand(const std::vector<std::string>& args, const sCliOutput& output, const sCliLine& line = {});
