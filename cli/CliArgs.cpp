#include "cli/CliArgs.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool IsCommand(const std::string& s) {
    for (const char* c :
         {"ports", "identify", "read", "write", "diff", "factory", "live", "capture", "backups", "report"})
        if (s == c) return true;
    return false;
}

bool PositiveCount(const std::string& text, long& value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v <= 0) return false;
    value = v;
    return true;
}

bool PositiveSeconds(const std::string& text, double& value) {
    if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v <= 0) return false;
    value = v;
    return true;
}

}  // namespace

bool ParseCliArgs(const std::vector<std::string>& args, sCliArgs& out, std::string& error) {
    out = sCliArgs{};
    std::vector<std::string> positional;
    bool sawCount = false, sawSeconds = false, sawOutput = false, sawReport = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // The value of an option: the next word, or what follows "=".
        auto value = [&](const char* name, std::string& v) {
            const std::string prefix = std::string(name) + "=";
            if (a.rfind(prefix, 0) == 0) {
                v = a.substr(prefix.size());
                return true;
            }
            if (i + 1 >= args.size()) {
                error = std::string(name) + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        auto is = [&](const char* name) { return a == name || a.rfind(std::string(name) + "=", 0) == 0; };

        if (a == "--help" || a == "-h") {
            out.Help = true;
        } else if (a == "--version") {
            out.Version = true;
        } else if (a == "--json") {
            out.Json = true;
        } else if (a == "--quiet" || a == "-q") {
            out.Quiet = true;
        } else if (a == "--no-backup") {
            out.NoBackup = true;
        } else if (a == "--latest") {
            out.Latest = true;
        } else if (is("--port")) {
            if (!value("--port", out.Port)) return false;
            if (out.Port.empty()) {
                error = "--port needs a device name";
                return false;
            }
        } else if (a == "-o" || is("--output")) {
            std::string v;
            if (a == "-o") {
                if (i + 1 >= args.size()) {
                    error = "-o needs a file name";
                    return false;
                }
                v = args[++i];
            } else if (!value("--output", v)) {
                return false;
            }
            if (v.empty()) {
                error = "-o needs a file name";
                return false;
            }
            out.File = v;
            sawOutput = true;
        } else if (is("--before") || is("--after") || is("--capture") || is("--vehicle") || is("--fitter") ||
                   is("--language")) {
            const std::string name = a.substr(0, a.find('='));
            std::string& target = name == "--before"    ? out.Before
                                  : name == "--after"   ? out.After
                                  : name == "--capture" ? out.CaptureFile
                                  : name == "--vehicle" ? out.Vehicle
                                  : name == "--fitter"  ? out.Fitter
                                                        : out.Language;
            if (!value(name.c_str(), target)) return false;
            const bool file = name == "--before" || name == "--after" || name == "--capture";
            if (file && target.empty()) {
                error = name + " needs a file name";
                return false;
            }
            if (name == "--language" && (target.empty() || target.find_first_of("/\\.") != std::string::npos)) {
                error = "--language needs a language code (de, en, pl, ru), not '" + target + "'";
                return false;
            }
            sawReport = true;
        } else if (a == "--no-store") {
            out.NoStore = true;
        } else if (a == "--yes") {
            out.Yes = true;
        } else if (a == "--csv") {
            out.Csv = true;
        } else if (is("--count")) {
            std::string v;
            if (!value("--count", v)) return false;
            if (!PositiveCount(v, out.Count)) {
                error = "--count needs a whole number above 0, not '" + v + "'";
                return false;
            }
            sawCount = true;
        } else if (is("--seconds")) {
            std::string v;
            if (!value("--seconds", v)) return false;
            if (!PositiveSeconds(v, out.Seconds)) {
                error = "--seconds needs a number above 0, not '" + v + "'";
                return false;
            }
            sawSeconds = true;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option '" + a + "'";
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (out.Help || out.Version) return true;
    if (positional.empty()) {
        error = "no command given";
        return false;
    }
    out.Command = positional[0];
    if (!IsCommand(out.Command)) {
        error = "unknown command '" + out.Command + "'";
        return false;
    }
    const std::string& c = out.Command;
    const size_t files = positional.size() - 1;
    const bool takesFile = c == "write" || c == "diff" || c == "capture";
    if (takesFile) {
        if (files != 1) {
            error = c + " needs exactly one file name";
            return false;
        }
        out.File = positional[1];
    } else if (files != 0) {
        error = c + " takes no argument '" + positional[1] + "'";
        return false;
    }
    auto misplaced = [&](bool used, const char* option, bool allowed) {
        if (used && !allowed) error = std::string(option) + " does not go with " + c;
        return used && !allowed;
    };
    if (misplaced(sawOutput, "-o", c == "read" || c == "report") ||
        misplaced(out.NoStore, "--no-store", c == "write") || misplaced(out.Yes, "--yes", c == "factory") ||
        misplaced(out.Csv, "--csv", c == "live") || misplaced(sawCount, "--count", c == "live") ||
        misplaced(sawSeconds, "--seconds", c == "capture") || misplaced(out.Latest, "--latest", c == "backups") ||
        misplaced(sawReport, "--before, --after, --capture, --vehicle, --fitter and --language", c == "report"))
        return false;
    if (c == "report") {
        if (!out.After.empty() && !out.Port.empty()) {
            error = "report takes the present settings from --after FILE or from --port, not both";
            return false;
        }
        if (out.File.empty() && !out.Json) {
            error = "report needs -o FILE.pdf (-o - writes the PDF to standard output) or --json";
            return false;
        }
        if (out.Json && out.File == "-") {
            error = "-o - (the PDF on standard output) and --json do not go together";
            return false;
        }
    }
    if (out.Csv && out.Json) {
        error = "--csv and --json do not go together";
        return false;
    }
    if (out.Json && c == "read" && out.File == "-") {
        error = "-o - (the vehicle file on standard output) and --json do not go together";
        return false;
    }
    if (out.Json && c == "capture" && out.File == "-") {
        error = "capture - (the records on standard output) and --json do not go together";
        return false;
    }
    return true;
}

const char* CliUsage() {
    return "Usage: zvbasic-cli [--port DEVICE] [--json] [--quiet] [--no-backup] COMMAND [ARGS]\n"
           "       zvbasic-cli --help | --version\n"
           "\n"
           "Commands:\n"
           "  ports                           list the serial ports\n"
           "  identify                        connect and show the ECU's version, identity and type\n"
           "  read [-o FILE.zv2]              read the settings; show them, or save a vehicle file\n"
           "                                  (-o - writes the vehicle file to standard output)\n"
           "  write FILE.zv2 [--no-store]     back the ECU up, write a vehicle file's settings into it,\n"
           "                                  store them and verify them by reading them back; the\n"
           "                                  file must be whole: 15 (or 13) lines of numbers 0 to 255\n"
           "  diff FILE.zv2                   compare a vehicle file with the ECU (exit 1 when different)\n"
           "  factory --yes                   back the ECU up, then restore its factory settings\n"
           "                                  (version 48 and above)\n"
           "  live [--count N] [--csv]        show live values as they arrive\n"
           "  capture FILE.dat [--seconds N]  record live values to a capture file until N seconds\n"
           "                                  have passed or Ctrl+C (capture - writes the records to\n"
           "                                  standard output)\n"
           "                                  When the ECU goes away during live or capture (a loose\n"
           "                                  connector), both reconnect for as long as it takes and go\n"
           "                                  on; a capture marks the time away with a gap line\n"
           "  backups [--latest]              list the automatic backups, newest first (time, ECU,\n"
           "                                  file); --latest prints only the newest file. Only whole\n"
           "                                  vehicle files named with a real date and time count\n"
           "  report --before FILE.zv2 [--after FILE.zv2] [--capture FILE.dat]\n"
           "         [--vehicle TEXT] [--fitter TEXT] [--language CODE] -o REPORT.pdf\n"
           "                                  the fitting report as PDF: the settings before and now,\n"
           "                                  changes marked, and the test drive of a capture; now is\n"
           "                                  --after or what the ECU holds (--port), before is the\n"
           "                                  file the job began with (-o - writes the PDF to standard\n"
           "                                  output; --json prints the report's content instead); in\n"
           "                                  the language of zvbasic.ini unless --language (de, en,\n"
           "                                  pl, ru) is given. Without --before it makes no report\n"
           "                                  (exit 6) and lists the older backups of that ECU, newest\n"
           "                                  first, with what each differs in from now: a backup may\n"
           "                                  be of another car of the same ECU model, or of this car\n"
           "                                  on another day, so only the fitter knows which one holds\n"
           "                                  the car before the job. A capture whose last line was\n"
           "                                  cut off (power lost) is taken without that line; its\n"
           "                                  duration is the time it recorded, not known for a\n"
           "                                  capture made before captures kept their time\n"
           "\n"
#ifdef _WIN32
           "Every settings read is backed up to %LOCALAPPDATA%\\zvbasic\\backups\\ unless the newest\n"
           "backup of that ECU holds the same values. Restore one with:\n"
           "zvbasic-cli write BACKUP.zv2\n"
#else
           "Every settings read is backed up to $XDG_DATA_HOME/zvbasic/backups/ (by default\n"
           "~/.local/share/zvbasic/backups/) unless the newest backup of that ECU holds the same\n"
           "values. Restore one with: zvbasic-cli write BACKUP.zv2\n"
#endif
           "\n"
           "Options:\n"
           "  --port DEVICE   serial port (default: the port saved in zvbasic.ini)\n"
           "  --json          print JSON (one object; one per line for live); every object of\n"
           "                  a command that made a backup names it in \"backup\", a failure's too\n"
           "  --quiet         no progress on standard error\n"
           "  --no-backup     make no automatic backup in this run; write and factory refuse\n"
           "                  to change the ECU without a backup unless this is given\n"
           "  --help          show this text\n"
           "  --version       show the program's version\n"
           "\n"
           "Exit codes: 0 success, 1 diff found differences, 2 usage error, 3 port cannot be opened,\n"
           "4 the ECU did not answer or answered wrongly when connecting, reading or writing (never\n"
           "later in live or capture), 5 a file (or standard output) could not be read or written, or no backup\n"
           "could be saved before write or factory, 6 report without --before (the backups that\n"
           "may hold the car before the job are listed), 130/143 ended by SIGINT/SIGTERM.\n"
           "Control characters in port and file names are shown as \\xNN.\n";
}
