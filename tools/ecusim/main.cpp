// zvbasic-ecusim: an ECU on a pseudo-terminal, for trying the program without
// a vehicle. Prints the device path, then the frame log as it happens, and
// takes commands on standard input to inject faults.

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

#include "tools/ecusim/EcuSimulator.h"

namespace {

int SignalPipe[2] = {-1, -1};
std::mutex OutMutex;

void OnSignal(int) {
    uint8_t b = 1;
    [[maybe_unused]] ssize_t n = ::write(SignalPipe[1], &b, 1);
}

void Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(OutMutex);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Decimal or 0x hexadecimal.
bool ParseNumber(const std::string& text, int& value) {
    const char* b = text.data();
    const char* e = b + text.size();
    int base = 10;
    bool negative = false;
    if (b != e && *b == '-') {
        negative = true;
        ++b;
    }
    if (e - b > 2 && b[0] == '0' && (b[1] == 'x' || b[1] == 'X')) {
        b += 2;
        base = 16;
    }
    if (b == e) return false;
    auto [end, ec] = std::from_chars(b, e, value, base);
    if (ec != std::errc() || end != e) return false;
    if (negative) value = -value;
    return true;
}

std::string Hex(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFF);
    return buf;
}

const char* TypeName(int version) { return version >= 48 ? "ZORVA Basic +" : "ZORVA Basic"; }

void Usage(std::FILE* to) {
    std::fputs(
        "Usage: zvbasic-ecusim [options]\n"
        "Plays a ZORVA Basic ECU on a pseudo-terminal.\n"
        "\n"
        "  --version N        ECU version byte, reply to 0xD2 (default 0x30)\n"
        "  --id N             identity version byte, reply to 0xD4 (default 0x25)\n"
        "  --instant          answer at once instead of at 1200 baud byte time\n"
        "  --link PATH        make PATH a symbolic link to the device\n"
        "  --log PATH         also write the frame log to PATH\n"
        "  --fault NAME[:N]   start with a fault: silence, silence-after:N, partial,\n"
        "                     bad-trailer, wrong-echo, garbage, line-drop:N, refuse-store,\n"
        "                     away:MS (silent for MS milliseconds, then answering again)\n"
        "  --no-stdin         do not read commands from standard input\n"
        "  --help             show this text\n"
        "  --version          (without a number) show the simulator's version\n"
        "Numbers are decimal or 0x hexadecimal.\n"
        "\n"
        "Commands on standard input, one per line (a terminal is read only while the\n"
        "simulator runs in the foreground, so it can run in the background with &):\n"
        "  fault NAME[:N]     switch to a fault (fault none: answer normally)\n"
        "  live K RAW         pin live value K (1,3,5,6,7,8) to RAW; RAW -1 frees it\n"
        "  settings           show the working and stored settings by parameter\n"
        "  reopen             open a new pseudo-terminal (after a line drop)\n"
        "  quit               end (so do end of input, Ctrl-C and SIGTERM)\n",
        to);
}

std::string SettingsLine(const char* name, const std::array<uint8_t, 16>& s) {
    std::string line = name;
    for (int i = 0; i < 16; ++i) line += " " + std::to_string(s[i]);
    return line;
}

void PrintDevice(const cEcuSimulator& sim, const sSimOptions& opt) {
    Print("ECU simulator: version " + Hex(opt.Version) + " (" + TypeName(opt.Version) + "), id " + Hex(opt.IdVersion) +
          ", device " + sim.DevicePath());
    if (!opt.LinkPath.empty()) Print("link: " + opt.LinkPath + " -> " + sim.DevicePath());
}

// One command line; false when the program should end.
bool RunCommand(cEcuSimulator& sim, const sSimOptions& opt, const std::string& line) {
    std::istringstream in(line);
    std::string word;
    if (!(in >> word)) return true;
    if (word == "quit" || word == "exit") return false;
    if (word == "fault") {
        std::string arg;
        eSimFault fault;
        int n = 0;
        if (in >> arg && ParseSimFault(arg, fault, n)) {
            sim.SetFault(fault, n);
        } else {
            Print(
                "? fault NAME[:N]: none, silence, silence-after:N, partial, bad-trailer, wrong-echo, garbage, "
                "line-drop:N, refuse-store, away:MS");
        }
    } else if (word == "live") {
        std::string ks, rs;
        int k = 0, raw = 0;
        if (in >> ks >> rs && ParseNumber(ks, k) && ParseNumber(rs, raw) && k >= 0 && k <= 15 && raw >= -1 &&
            raw <= 255) {
            sim.SetLive(k, raw);
            Print(raw < 0 ? "live " + std::to_string(k) + " follows the engine model"
                          : "live " + std::to_string(k) + " pinned to " + std::to_string(raw));
        } else {
            Print("? live K RAW (K 0..15, RAW 0..255 or -1)");
        }
    } else if (word == "settings") {
        Print(SettingsLine("working:", sim.Settings()));
        Print(SettingsLine("stored: ", sim.Stored()));
    } else if (word == "reopen") {
        try {
            sim.Reopen();
            PrintDevice(sim, opt);
        } catch (const std::exception& e) {
            Print(std::string("reopen failed: ") + e.what());
        }
    } else if (word == "help") {
        std::lock_guard<std::mutex> lock(OutMutex);
        Usage(stdout);
        std::fflush(stdout);
    } else {
        Print("? unknown command \"" + word + "\" (help lists them)");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    sSimOptions opt;
    opt.MaxLogEntries = 2000;  // the log is printed; keep only a little in memory
    bool readStdin = true;
    eSimFault startFault = eSimFault::None;
    int startAfter = 0;

    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zvbasic-ecusim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            out = argv[++i];
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--version" && (i + 1 >= argc || std::strncmp(argv[i + 1], "--", 2) == 0)) {
            // Without a number it asks for the simulator's own version.
            std::printf("zvbasic-ecusim %s\n", ZV_PROGRAM_VERSION);
            return 0;
        } else if (a == "--version" || a == "--id") {
            value(v);
            int n = 0;
            if (!ParseNumber(v, n) || n < 0 || n > 255) {
                std::fprintf(stderr, "zvbasic-ecusim: %s wants a number 0..255, not \"%s\"\n", a.c_str(), v.c_str());
                return 2;
            }
            (a == "--version" ? opt.Version : opt.IdVersion) = n;
        } else if (a == "--instant") {
            opt.Instant = true;
        } else if (a == "--link") {
            value(opt.LinkPath);
        } else if (a == "--log") {
            value(opt.LogPath);
        } else if (a == "--fault") {
            value(v);
            if (!ParseSimFault(v, startFault, startAfter)) {
                std::fprintf(stderr, "zvbasic-ecusim: unknown fault \"%s\"\n", v.c_str());
                return 2;
            }
        } else if (a == "--no-stdin") {
            readStdin = false;
        } else {
            std::fprintf(stderr, "zvbasic-ecusim: unknown option \"%s\" (--help lists them)\n", a.c_str());
            return 2;
        }
    }

    if (pipe(SignalPipe) != 0) {
        std::perror("zvbasic-ecusim: pipe");
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    cEcuSimulator sim(opt);
    sim.SetLogListener(Print);
    try {
        sim.Start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zvbasic-ecusim: %s\n", e.what());
        return 1;
    }
    PrintDevice(sim, opt);
    if (startFault != eSimFault::None) sim.SetFault(startFault, startAfter);

    // A terminal is read only while the simulator is in its foreground:
    // started with & from an interactive shell it would otherwise be stopped
    // at its first read ("Stopped (tty input)") and answer nothing. Brought
    // to the foreground with fg, it takes commands again. Should the shell
    // move it to the background between the look and the read, the read
    // fails (SIGTTIN ignored) instead of stopping it. A character device
    // that is no terminal (a script's & gives /dev/null) holds no commands
    // and is not read either, so its end does not end the simulator.
    const bool terminal = ::isatty(0) == 1;
    if (readStdin && !terminal) {
        struct stat st {};
        if (fstat(0, &st) == 0 && S_ISCHR(st.st_mode)) readStdin = false;
    }
    if (terminal) signal(SIGTTIN, SIG_IGN);
    const auto foreground = [&] {
        if (!terminal) return true;
        const pid_t owner = tcgetpgrp(0);
        return owner < 0 || owner == getpgrp();  // < 0: not our controlling terminal
    };

    std::string pending;
    bool running = true;
    while (running) {
        const bool take = readStdin && foreground();
        pollfd fds[2] = {{SignalPipe[0], POLLIN, 0}, {take ? 0 : -1, POLLIN, 0}};
        // In the background the look is repeated now and then.
        int n = poll(fds, 2, readStdin && terminal && !take ? 250 : -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) break;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[512];
            ssize_t got = ::read(0, buf, sizeof buf);
            if (got <= 0) {
                if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
                if (got < 0 && errno == EIO && terminal) continue;  // moved to the background meanwhile
                break;                                              // end of input
            }
            pending.append(buf, size_t(got));
            size_t nl;
            while (running && (nl = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                running = RunCommand(sim, opt, line);
            }
        }
    }
    sim.SetLogListener(nullptr);
    sim.Stop();
    Print("ECU simulator stopped");
    return 0;
}
