// zvbasic-cli's commands: backs up, restores and compares an ECU's settings
// with vehicle files, restores factory settings, shows live values and
// records capture files, through the same link thread and file formats as
// the windowed program.
#include "cli/CliCommands.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/Backup.h"
#include "core/Ini.h"
#include "core/RegularFile.h"
#include "core/Resources.h"
#include "core/SafeWrite.h"
#include "core/Translate.h"
#include "core/Version.h"

#include "serial/ComPort.h"

#include "link/Settings.h"

#include "formats/CaptureData.h"
#include "formats/CaptureFile.h"
#include "formats/VehicleFile.h"

#include "report/Report.h"
#include "report/ReportInput.h"

#include "cli/CliArgs.h"
#include "cli/CliFormat.h"
#include "cli/CliSession.h"

namespace {

const char* const kProgram = "zvbasic-cli";

// The folder of this executable: zvbasic.ini is looked for as the windowed
// program looks for it from its own folder (both are installed side by side).
std::string ExeDir() { return Resources::ExecutableDir(); }

std::string SavedPort() {
    cIni ini;
    if (!ini.Load(cIni::ReadPath(ExeDir()))) return std::string();
    return ini.Port;
}

// Writes a vehicle file the safe way: a temporary file renamed over the old
// one, so a failure leaves either the old file or the new one, never half.
bool SaveVehicleFile(const std::string& path, const sSettings& rec, std::string& error) {
    return VehicleFile::Write(path, rec, &error);
}

// Only a well-formed vehicle file is written into an ECU or compared with
// one: the lenient reader would fill a damaged file's gaps with defaults
// (or wrap a 300 to 44), and those are never meant. `text` gets the file.
bool CheckVehicleFile(const std::string& path, std::string& text, std::string& error) {
    std::string why;
    if (!VehicleFile::ReadText(path, text, why)) {
        error = "cannot read " + path + ": " + why;
        return false;
    }
    const VehicleFile::sStrictCheck check = VehicleFile::CheckStrict(text);
    if (check.WellFormed()) return true;
    error = path + " is not a whole vehicle file: line " + std::to_string(check.Line) + ": " +
            VehicleFile::LineFaultText(check.Fault);
    return false;
}

// A file the program is about to write (a vehicle file, a capture), looked
// at before connecting (see RegularFile::CheckOutput).
bool CheckOutputFile(const std::string& path, std::string& error) {
    std::string why;
    if (RegularFile::CheckOutput(path, why)) return true;
    error = "cannot write " + path + ": " + why;
    return false;
}

struct sContext {
    sContext(const sCliOutput& output, const sCliLine& line) : Output(output), Line(line) {}
    const sCliOutput& Output;
    const sCliLine& Line;
    sCliArgs Args;
    std::string Port;
    cProgress* Progress = nullptr;
    // The backup of the first settings read (empty: none, or it failed).
    std::string FirstBackup;
    bool BackupFailed = false;
    // With --json: the run's one result has gone to standard output (a
    // failure after it is carried in it or only told on standard error).
    bool JsonOut = false;
    bool ResultPrinted = false;
    // Warnings of the run, also carried in the JSON result.
    std::vector<std::string> Warnings;
    // errno of the first write to standard output that failed, 0 while none did.
    int OutError = 0;
};

// False when standard output is gone (a closed pipe, a full disk).
bool Print(sContext& c, const std::string& text) {
    if (c.OutError) return false;
    c.OutError = c.Output.Out(text);
    return c.OutError == 0;
}

// A line on standard error, after the program's name; control characters
// of the names in it (a port, a file) are shown escaped, so that a name
// never makes a second line or acts on the terminal.
void Note(const sContext& c, const std::string& text) {
    c.Output.Err(std::string(kProgram) + ": " + CliFormat::PlainText(text) + "\n");
}

// The command changes the ECU: its objects always say whether there is a
// backup ("backup": null when none was made).
bool ChangesEcu(const sContext& c) { return c.Args.Command == "write" || c.Args.Command == "factory"; }

// The run's one JSON object from its fields (without braces), with the
// backup the run made, whatever came after it (a script finds the file to
// put the car back from every object, a failure's too), and the warnings so
// far.
std::string JsonObject(const sContext& c, const std::string& fields) {
    std::string out = "{" + fields;
    if (!c.FirstBackup.empty() || ChangesEcu(c))
        out += std::string(fields.empty() ? "" : ",") +
               "\"backup\":" + (c.FirstBackup.empty() ? std::string("null") : CliFormat::JsonString(c.FirstBackup));
    if (!c.Warnings.empty()) {
        out += std::string(out.size() == 1 ? "" : ",") + "\"warnings\":[";
        for (size_t i = 0; i < c.Warnings.size(); ++i) out += (i ? "," : "") + CliFormat::JsonString(c.Warnings[i]);
        out += "]";
    }
    return out + "}\n";
}

// The command's one result object (JSON) or table.
bool PrintResult(sContext& c, const std::string& text) {
    c.ResultPrinted = true;
    return Print(c, text);
}

int Error(sContext& c, int code, const std::string& text) {
    Note(c, text);
    if (c.JsonOut && !c.ResultPrinted) {
        c.ResultPrinted = true;
        Print(c, JsonObject(c, "\"error\":" + CliFormat::JsonString(text) + ",\"exit\":" + std::to_string(code)));
    }
    return code;
}

// Something the fitter should know that does not end the command.
void Warn(sContext& c, const std::string& text) {
    Note(c, text);
    c.Warnings.push_back(text);
}

// The fields a result object gets when its command failed nevertheless.
std::string JsonErrorFields(int code, const std::string& text) {
    return ",\"error\":" + CliFormat::JsonString(text) + ",\"exit\":" + std::to_string(code);
}

// Backs up the settings just read, as the windowed program does after every
// completed read: the values read, in vehicle-file form. A failure is a
// warning, told once per run; a command that would change the ECU then
// refuses (BackupMissing).
void BackUp(sContext& c, const cCliSession& s) {
    if (c.Args.NoBackup) return;
    const Backup::sResult r =
        Backup::Save(Backup::Folder(), Ecu::VersionCaption(s.IdVersion(), s.Version()),
                     VehicleFile::Format(IncomingSettings), std::time(nullptr), VehicleFile::IsWhole);
    if (r.Outcome == Backup::eOutcome::Failed) {
        if (!c.BackupFailed) Warn(c, "no backup of the ECU's settings: " + r.Error);
        c.BackupFailed = true;
        return;
    }
    if (c.FirstBackup.empty()) c.FirstBackup = r.Path;
}

// Says where the ECU's settings are kept before a command changes them.
// Said under --quiet too: the one line a fitter needs to undo the change.
void TellBackup(const sContext& c) {
    if (c.FirstBackup.empty()) return;
    Note(c, "backup of the ECU's settings: " + c.FirstBackup);
}

// A command that changes the ECU goes on only with a backup of what it
// holds, unless the fitter said --no-backup.
bool BackupMissing(sContext& c) {
    if (c.Args.NoBackup || !c.FirstBackup.empty()) return false;
    Error(c, EXIT_FILE,
          "nothing was sent: the ECU's settings could not be backed up (--no-backup goes on without a backup)");
    return true;
}

// Connects and waits until the settings have been read (or the ECU
// identified, when `identifyOnly`); a completed read is backed up.
int Connect(sContext& c, cCliSession& s, bool identifyOnly) {
    std::string error;
    int rc = s.Open(c.Port, error);
    if (rc == EXIT_OK) rc = identifyOnly ? s.WaitIdentified(error) : s.WaitSettingsLoaded(error);
    if (rc != EXIT_OK && !error.empty()) Error(c, rc, error);
    if (rc == EXIT_OK && !identifyOnly) BackUp(c, s);
    return rc;
}

// Reads the settings once more (after a change); the read is backed up.
int ReadAgain(sContext& c, cCliSession& s, std::string& error) {
    const int rc = s.ReadAgain(error);
    if (rc == EXIT_OK) BackUp(c, s);
    return rc;
}

int Ended(sContext& c, int rc, const std::string& error) {
    if (!error.empty()) Error(c, rc, error);
    return rc;
}

// ---- commands -----------------------------------------------------------

int Ports(sContext& c) {
    const std::vector<std::string> ports = cComPort::EnumeratePorts();
    if (c.Args.Json) {
        std::string out = "{\"ports\":[";
        for (size_t i = 0; i < ports.size(); ++i) out += (i ? "," : "") + CliFormat::JsonString(ports[i]);
        PrintResult(c, out + "]}\n");
    } else {
        std::string out;
        for (const std::string& p : ports) out += CliFormat::PlainText(p) + "\n";
        PrintResult(c, out);
    }
    return EXIT_OK;
}

int Identify(sContext& c) {
    cCliSession s(*c.Progress, c.Line);
    int rc = Connect(c, s, true);
    if (rc != EXIT_OK) return rc;
    const int version = s.Version(), id = s.IdVersion();
    s.Close();
    if (c.Args.Json) PrintResult(c, JsonObject(c, CliFormat::IdentityJsonFields(c.Port, id, version)));
    else PrintResult(c, CliFormat::IdentityText(c.Port, id, version));
    return EXIT_OK;
}

std::string SettingsJsonObject(const sContext& c, const cCliSession& s, const sSettings& rec,
                               const std::string& extra = {}) {
    return JsonObject(c, CliFormat::IdentityJsonFields(c.Port, s.IdVersion(), s.Version()) + extra +
                             ",\"settings\":" + CliFormat::SettingsJson(rec, s.Version()));
}

int Read(sContext& c) {
    const bool toFile = !c.Args.File.empty() && c.Args.File != "-";
    std::string error;
    if (toFile && !CheckOutputFile(c.Args.File, error)) return Error(c, EXIT_FILE, error);
    cCliSession s(*c.Progress, c.Line);
    int rc = Connect(c, s, false);
    if (rc != EXIT_OK) return rc;
    // What the data transfer screen saves: the working image, which the
    // completed read has just set to what the ECU holds.
    const sSettings rec = WorkSettings;
    s.Close();
    if (c.Args.File == "-") {
        PrintResult(c, VehicleFile::Format(rec));
        return EXIT_OK;
    }
    if (toFile) {
        if (!SaveVehicleFile(c.Args.File, rec, error))
            return Error(c, EXIT_FILE, "cannot write " + c.Args.File + ": " + error);
        if (c.Args.Json)
            PrintResult(c, SettingsJsonObject(c, s, rec, ",\"file\":" + CliFormat::JsonString(c.Args.File)));
        return EXIT_OK;
    }
    PrintResult(c, c.Args.Json ? SettingsJsonObject(c, s, rec) : CliFormat::SettingsTable(rec, s.Version()));
    return EXIT_OK;
}

// Said once per run: a file of the older kind does not hold the cylinder and
// coil counts, so the ECU's own stay.
void OlderFileNote(sContext& c) {
    Warn(c, c.Args.File + " is an older vehicle file without the cylinder and coil counts: the ECU keeps its own");
}

int Write(sContext& c) {
    std::string error, text;
    if (!CheckVehicleFile(c.Args.File, text, error)) return Error(c, EXIT_FILE, error);
    sSettings file = sSettings{};
    VehicleFile::Parse(text, file);
    cCliSession s(*c.Progress, c.Line);
    int rc = Connect(c, s, false);
    if (rc != EXIT_OK) return rc;
    const int version = s.Version();
    if (c.Args.NoStore && !Ecu::NewProtocol(version))
        return Error(c, EXIT_USAGE,
                     "--no-store needs an ECU of version 48 or above (this one is " + std::to_string(version) +
                         "): older ECUs take settings only as a whole "
                         "block that ends with the store command");
    const std::string unholdable = CliFormat::UnholdableValue(file, version);
    if (!unholdable.empty()) return Error(c, EXIT_FILE, c.Args.File + ": " + unholdable);
    if (BackupMissing(c)) return EXIT_FILE;
    TellBackup(c);
    const sSettings before = EcuSettings;
    // "Load from file": the file into the working image and, from 48, the
    // updates onto the link's queue; a file of the older kind leaves the
    // ECU's cylinder and coil counts as they are.
    const bool counts = VehicleFile::LoadText(text, WorkSettings);
    if (!counts && Ecu::NewProtocol(version)) OlderFileNote(c);
    // The ECU has one byte for the switch level and the sensor: a linear
    // sensor rising from a level of 1 or below comes out as the code for no
    // sensor, and the ECU holds "not connected" then.
    if (WorkSettings.TPSType == 1 && Conv::TpsParamValue(WorkSettings) == 1)
        Warn(c, c.Args.File +
                    ": a linear throttle sensor rising from a switch level of 0.02 V or below is sent as the "
                    "ECU's code for no sensor: the ECU will hold the sensor as not connected");
    if (Ecu::NewProtocol(version))
        for (const sUpdate& u : VehicleFile::Updates(WorkSettings, counts)) s.Link().QueueUpdate(u);
    file = WorkSettings;
    // "Store in ECU", then read back; without the store the read's flush
    // sends the queued updates first.
    if (!c.Args.NoStore) {
        rc = s.Write(error);
        if (rc != EXIT_OK) return Ended(c, rc, error);
    }
    rc = ReadAgain(c, s, error);
    if (rc != EXIT_OK) return Ended(c, rc, error);
    const sSettings actual = EcuSettings;
    s.Close();
    const sSettings expected = CliFormat::ExpectedReadBack(before, file, version);
    const auto diffs = CliFormat::Differences(expected, actual);
    std::string failure;
    if (!diffs.empty()) {
        std::string list = CliFormat::DifferencesText(diffs, expected, actual, version);
        list.pop_back();
        for (char& ch : list)
            if (ch == '\n') ch = ';';
        failure = "verify failed, the ECU holds other values: " + list;
    }
    if (c.Args.Json)
        PrintResult(c, JsonObject(c, CliFormat::IdentityJsonFields(c.Port, s.IdVersion(), version) +
                                         ",\"file\":" + CliFormat::JsonString(c.Args.File) +
                                         ",\"stored\":" + (c.Args.NoStore ? "false" : "true") +
                                         ",\"verified\":" + (diffs.empty() ? "true" : "false") + ",\"differences\":" +
                                         CliFormat::DifferencesJson(diffs, expected, actual, version) +
                                         (failure.empty() ? std::string() : JsonErrorFields(EXIT_ECU, failure))));
    if (!failure.empty()) return Error(c, EXIT_ECU, failure);
    if (!c.Args.Json && !c.Args.Quiet)
        Note(c, c.Args.File + (c.Args.NoStore ? " written (not stored)" : " written, stored") + " and verified");
    return EXIT_OK;
}

int Diff(sContext& c) {
    std::string error, text;
    if (!CheckVehicleFile(c.Args.File, text, error)) return Error(c, EXIT_FILE, error);
    cCliSession s(*c.Progress, c.Line);
    int rc = Connect(c, s, false);
    if (rc != EXIT_OK) return rc;
    const int version = s.Version();
    const sSettings actual = EcuSettings;
    s.Close();
    sSettings file = actual;
    // Below 48 the ECU has no cylinder or coil count to keep.
    if (!VehicleFile::LoadText(text, file) && Ecu::NewProtocol(version)) OlderFileNote(c);
    // Compared as the ECU would hold the file: only what it carries counts.
    const sSettings expected = CliFormat::ExpectedReadBack(actual, file, version);
    const auto diffs = CliFormat::Differences(expected, actual);
    if (c.Args.Json)
        PrintResult(c, JsonObject(c, CliFormat::IdentityJsonFields(c.Port, s.IdVersion(), version) +
                                         ",\"file\":" + CliFormat::JsonString(c.Args.File) +
                                         ",\"equal\":" + (diffs.empty() ? "true" : "false") + ",\"differences\":" +
                                         CliFormat::DifferencesJson(diffs, expected, actual, version)));
    else PrintResult(c, CliFormat::DifferencesText(diffs, expected, actual, version));
    return diffs.empty() ? EXIT_OK : EXIT_DIFFERENT;
}

int Factory(sContext& c) {
    if (!c.Args.Yes) return Error(c, EXIT_USAGE, "factory overwrites every setting of the ECU; add --yes to do it");
    cCliSession s(*c.Progress, c.Line);
    int rc = Connect(c, s, false);
    if (rc != EXIT_OK) return rc;
    const int version = s.Version();
    if (!Ecu::NewProtocol(version))
        return Error(
            c, EXIT_USAGE,
            "factory settings need an ECU of version 48 or above (this one is " + std::to_string(version) + ")");
    if (BackupMissing(c)) return EXIT_FILE;
    TellBackup(c);
    // As the data transfer screen does it: the command goes out with the
    // flush at the start of the read, which then fetches the new settings.
    s.Link().QueueUpdate(Ecu::FactorySettingsUpdate());
    std::string error;
    rc = ReadAgain(c, s, error);
    if (rc != EXIT_OK) return Ended(c, rc, error);
    const sSettings rec = EcuSettings;
    s.Close();
    PrintResult(c, c.Args.Json ? SettingsJsonObject(c, s, rec) : CliFormat::SettingsTable(rec, version));
    return EXIT_OK;
}

// Feeds live values into a line of one polling cycle; `onCycle` runs after
// each level value (the last of a cycle) once every value of the cycle has
// come since the feed started or was cut, and returns false to end.
struct sLiveFeed {
    CliFormat::sLiveLine Line;
    int Version = 0;
    cCycleValues Cycle;  // a line only of values read since the last cut
    std::function<bool()> OnCycle;
    bool Take(int k, int raw) {
        Conv::TakeLiveValue(Line.Sample, k, raw, Version, WorkSettings.LambdaType);
        Cycle.Take(k);
        switch (k) {
        case LiveTPS:
            Line.TpsRaw = raw;
            Line.TpsFalling = Conv::TpsFalling(WorkSettings);
            break;
        case LiveFuel:
            if (raw >= 1 && raw <= 3) Line.Fuel = raw;
            break;
        case LiveLPGLevel:
            Line.Level = Conv::LevelIndex(raw, Version);
            if (!Cycle.Whole()) return true;
            return OnCycle();
        default: break;
        }
        return true;
    }
    // The link failed: the values of the cycle it cut are not used.
    void Cut() { Cycle.Cut(); }
};

// Says on standard error (unless quiet) that the link was lost, that it is
// still being tried now and then, and that it is back after how long; the
// feed drops the cycle the failure cut. `lost` runs first at the failure.
cCliSession::sPollEvents AwayNotes(const sContext& c, cCliSession& s, sLiveFeed& feed,
                                   const std::function<void()>& lost = {}) {
    cCliSession::sPollEvents events;
    events.Lost = [&c, &feed, lost](const std::string& why) {
        feed.Cut();
        if (lost) lost();
        if (!c.Args.Quiet) Note(c, why + "; reconnecting");
    };
    events.StillAway = [&c](double seconds) {
        if (!c.Args.Quiet) Note(c, "still away for " + CliFormat::Fixed(seconds, 0) + " s; reconnecting");
    };
    events.Back = [&c, &s, &feed](double seconds) {
        feed.Version = s.Version();
        if (!c.Args.Quiet) Note(c, "connected again after " + CliFormat::Fixed(seconds, 1) + " s away");
    };
    return events;
}

int Live(sContext& c) {
    cCliSession s(*c.Progress, c.Line);
    int rc = Connect(c, s, false);
    if (rc != EXIT_OK) return rc;
    sLiveFeed feed;
    feed.Version = s.Version();
    long lines = 0;
    if (c.Args.Csv) Print(c, CliFormat::LiveCsvHeader());
    else if (!c.Args.Json) Print(c, CliFormat::LiveHeader());
    // A reader that goes away (live | head) ends the watch like --count.
    feed.OnCycle = [&] {
        if (!Print(c, c.Args.Json  ? CliFormat::LiveJson(feed.Line)
                      : c.Args.Csv ? CliFormat::LiveCsv(feed.Line)
                                   : CliFormat::LiveText(feed.Line)))
            return false;
        return !(c.Args.Count > 0 && ++lines >= c.Args.Count);
    };
    rc = s.Poll([&](int k, int raw) { return feed.Take(k, raw); }, 0, AwayNotes(c, s, feed));
    s.Close();
    return rc;
}

int Capture(sContext& c) {
    std::string error;
    // "-": the records go to standard output, in the same format.
    const bool toOut = c.Args.File == "-";
    if (!toOut && !CheckOutputFile(c.Args.File, error)) return Error(c, EXIT_FILE, error);
    cCliSession s(*c.Progress, c.Line);
    int rc = Connect(c, s, false);
    if (rc != EXIT_OK) return rc;
    cCaptureFile file;
    if (toOut) {
        if (!Print(c, cCaptureFile::Header())) {
            s.Close();
            return Error(c, EXIT_FILE, std::string("cannot write standard output: ") + std::strerror(c.OutError));
        }
    } else if (!file.Open(c.Args.File)) {
        s.Close();
        return Error(c, EXIT_FILE, "cannot write " + c.Args.File + ": " + file.Error());
    }
    // The records are those of the visualisation screen: one per polling
    // cycle, written when the level arrives, from the same sample. A cycle
    // that a link glitch cut is not recorded.
    // The time the ECU was away goes into the file as a gap line before the
    // first record after it (or at the end, when the capture ends before the
    // ECU is back): from the failure to that record, so that a reader
    // spreads no record over it.
    sLiveFeed feed;
    feed.Version = s.Version();
    long records = 0, gaps = 0;
    double gapSeconds = 0;
    bool lost = false;
    std::chrono::steady_clock::time_point lostAt;
    int writeError = 0;
    const auto failed = [&] {
        writeError = toOut ? c.OutError : errno ? errno : EIO;
        return false;
    };
    feed.OnCycle = [&] {
        if (lost) {
            const double away = std::chrono::duration<double>(s.Now() - lostAt).count();
            if (toOut ? !Print(c, cCaptureFile::FormatGap(away)) : !file.WriteGap(away)) return failed();
            lost = false;
            ++gaps;
            gapSeconds += away;
        }
        if (toOut ? !Print(c, cCaptureFile::FormatRecord(feed.Line.Sample)) : !file.WriteRecord(feed.Line.Sample))
            return failed();
        ++records;
        return true;
    };
    // The time recorded is the poll's, from its start to its end.
    const auto started = s.Now();
    rc = s.Poll([&](int k, int raw) { return feed.Take(k, raw); }, c.Args.Seconds, AwayNotes(c, s, feed, [&] {
                    if (lost) return;
                    lost = true;
                    lostAt = s.Now();
                }));
    const double seconds = std::chrono::duration<double>(s.Now() - started).count();
    // Ended while the ECU was away (the time up, Ctrl-C): the time away up
    // to the end is a gap after the last record, not a time of records.
    if (lost && !writeError) {
        const double away = std::chrono::duration<double>(s.Now() - lostAt).count();
        if (toOut ? !Print(c, cCaptureFile::FormatGap(away)) : !file.WriteGap(away)) failed();
        ++gaps;
        gapSeconds += away;
    }
    s.Close();
    // Every record is flushed as written; closing ends the file with the
    // time it recorded (standard output gets the same line).
    file.Close(seconds);
    if (toOut && !writeError && !Print(c, cCaptureFile::FormatTime(seconds))) writeError = c.OutError;
    if (writeError) {
        rc = EXIT_FILE;
        error = "cannot write " + (toOut ? std::string("standard output") : c.Args.File) + ": " +
                std::strerror(writeError) + " (after " + std::to_string(records) + " records)";
    } else if (rc > 128) {
        error = std::string("ended by ") + (rc == 128 + SIGINT ? "SIGINT" : "SIGTERM");
    }
    const std::string away = gaps == 0 ? std::string()
                                       : " (" + std::to_string(gaps) + (gaps == 1 ? " gap, " : " gaps, ") +
                                             CliFormat::Fixed(gapSeconds, 1) + " s away)";
    if (!c.Args.Quiet && !c.Args.Json && !writeError)
        Note(c,
             std::to_string(records) + " records in " + (toOut ? std::string("standard output") : c.Args.File) + away);
    if (c.Args.Json)
        PrintResult(c, JsonObject(c, "\"file\":" + CliFormat::JsonString(c.Args.File) + ",\"records\":" +
                                         std::to_string(records) + ",\"seconds\":" + CliFormat::Fixed(seconds, 1) +
                                         ",\"gaps\":" + std::to_string(gaps) +
                                         ",\"gap_seconds\":" + CliFormat::Fixed(gapSeconds, 1) +
                                         (rc != EXIT_OK ? JsonErrorFields(rc, error) : std::string())));
    return Ended(c, rc, error);
}

// The automatic backups, newest first; with --latest only the newest path.
int Backups(sContext& c) {
    const std::string folder = Backup::Folder();
    const std::vector<Backup::sEntry> list = Backup::List(folder, VehicleFile::IsWhole);
    if (c.Args.Latest) {
        if (list.empty()) return Error(c, EXIT_FILE, "no backups in " + (folder.empty() ? "(no home folder)" : folder));
        PrintResult(c, c.Args.Json ? CliFormat::JsonString(list.front().Path) + "\n"
                                   : CliFormat::PlainText(list.front().Path) + "\n");
        return EXIT_OK;
    }
    std::string out;
    if (c.Args.Json) {
        out = "[";
        for (size_t i = 0; i < list.size(); ++i) {
            std::string time = list[i].Time;
            time[10] = 'T';
            out += std::string(i ? "," : "") + "{\"time\":" + CliFormat::JsonString(time) +
                   ",\"identity\":" + CliFormat::JsonString(list[i].Identity) +
                   ",\"path\":" + CliFormat::JsonString(list[i].Path) + "}";
        }
        out += "]\n";
    } else {
        for (const Backup::sEntry& e : list)
            out += e.Time + "  " + e.Identity + "  " + CliFormat::PlainText(e.Path) + "\n";
    }
    return PrintResult(c, out) ? EXIT_OK : EXIT_FILE;
}

// ---- report ---------------------------------------------------------------

// A file of the report (a column's vehicle file, the capture) that gives none.
std::string ReportFault(const std::string& path, const ReportInput::sFault& f) {
    using ReportInput::eFault;
    switch (f.Fault) {
    case eFault::CannotRead: return "cannot read " + path + ": " + f.Detail;
    case eFault::Damaged:
        return path + " is not a whole vehicle file: line " + std::to_string(f.Line) + ": " + f.Detail;
    case eFault::NotACapture:
        return path + " is not a capture file: " + std::to_string(f.Lines) +
               (f.Lines == 1 ? " line is" : " lines are") + " neither a record nor the header";
    case eFault::NoRecords: return path + " holds no capture records";
    case eFault::TooLarge: return path + " holds more records than this computer's memory can take";
    case eFault::None: break;
    }
    return path;
}

// The workshop's lines and the language of zvbasic.ini (or --language).
void ReportSettings(const sContext& c, Report::sInput& in) {
    cIni ini;
    ini.Load(cIni::ReadPath(ExeDir()));
    const std::string& language = c.Args.Language.empty() ? ini.Language : c.Args.Language;
    if (!language.empty()) Translate::SetLanguage(language);
    in.Workshop = ini.ReportName;
    in.Address = ini.ReportAddress;
}

// The most candidates for before listed on standard error (--json lists all).
constexpr size_t kCandidatesShown = 10;

// Without --before the report does not guess where the job began: a backup
// of this ECU may be another car's of the same model, or this car's from
// another day. It refuses and lists the backups that may be the settings
// before, newest first, with what each differs in from now.
int RefuseWithoutBefore(sContext& c, const Report::sInput& now) {
    const std::string identity = Ecu::VersionCaption(now.IdVersion, now.Version);
    const std::vector<ReportInput::sCandidate> candidates =
        ReportInput::BeforeCandidates(Backup::Folder(), now.IdVersion, now.Version, now.NowFile);
    std::string text =
        "report needs --before FILE.zv2: which backup holds the car before this job is not known (a "
        "backup of ECU " +
        identity + " may be of another car of that model, or of this car on another day); ";
    text += candidates.empty() ? "there is no older backup of ECU " + identity
                               : "the older backups of ECU " + identity + ", newest first:";
    std::vector<std::string> lines;
    std::string json = "\"error\":" + CliFormat::JsonString(text) + ",\"exit\":" + std::to_string(EXIT_NO_BEFORE) +
                       ",\"candidates\":[";
    for (size_t i = 0; i < candidates.size(); ++i) {
        const ReportInput::sCandidate& cand = candidates[i];
        Report::sInput in = now;
        in.Before = cand.Settings;
        in.Drive = nullptr;
        const Report::sContent content = Report::Build(in);
        std::string differs, diffJson;
        for (const Report::sRow& r : content.Rows) {
            if (!r.Changed) continue;
            differs += (differs.empty() ? "" : ", ") + r.Name + " " + r.Before + " (now " + r.Now + ")";
            diffJson += std::string(diffJson.empty() ? "" : ",") + "{\"field\":" + CliFormat::JsonString(r.Field) +
                        ",\"name\":" + CliFormat::JsonString(r.Name) +
                        ",\"before\":" + CliFormat::JsonString(r.Before) + ",\"now\":" + CliFormat::JsonString(r.Now) +
                        "}";
        }
        if (i < kCandidatesShown)
            lines.push_back("  " + cand.Entry.Time + "  " + cand.Entry.Path + ": " +
                            (differs.empty() ? std::string("the same as now") : "differs in " + differs));
        std::string time = cand.Entry.Time;
        time[10] = 'T';
        json += std::string(i ? "," : "") + "{\"time\":" + CliFormat::JsonString(time) +
                ",\"path\":" + CliFormat::JsonString(cand.Entry.Path) +
                ",\"changed\":" + std::to_string(content.ChangedCount) + ",\"differences\":[" + diffJson + "]}";
    }
    if (candidates.size() > kCandidatesShown)
        lines.push_back("  and " + std::to_string(candidates.size() - kCandidatesShown) + " older");
    Note(c, text);
    for (const std::string& line : lines) Note(c, line);
    if (c.JsonOut && !c.ResultPrinted) PrintResult(c, JsonObject(c, json + "]"));
    c.ResultPrinted = true;
    return EXIT_NO_BEFORE;
}

int MakeReport(sContext& c) {
    std::string error;
    const bool toOut = c.Args.File == "-";
    const bool pdf = !c.Args.File.empty();
    if (pdf && !c.Output.Pdf)
        return Error(c, EXIT_USAGE,
                     "this build of zvbasic-cli makes no PDF (it was built without Qt); --json prints the "
                     "report's content");
    // A language without a catalogue would give English without a word.
    Translate::Init(Resources::Folder() + "/locale");
    if (!c.Args.Language.empty()) {
        const std::vector<std::string> languages = Translate::AvailableLanguages();
        if (std::find(languages.begin(), languages.end(), c.Args.Language) == languages.end()) {
            std::string known;
            for (const std::string& code : languages) known += (known.empty() ? "" : ", ") + code;
            return Error(c, EXIT_USAGE, "--language " + c.Args.Language + ": no such language (" + known + ")");
        }
    }
    Report::sInput in;
    ReportInput::sFault fault;
    if (!c.Args.Before.empty() && !ReportInput::ReadSettings(c.Args.Before, in.Before, fault))
        return Error(c, EXIT_FILE, ReportFault(c.Args.Before, fault));
    if (!c.Args.After.empty() && !ReportInput::ReadSettings(c.Args.After, in.Now, fault))
        return Error(c, EXIT_FILE, ReportFault(c.Args.After, fault));
    Capture::sCaptureData drive;
    if (!c.Args.CaptureFile.empty()) {
        bool cutLine = false;
        if (!ReportInput::ReadDrive(c.Args.CaptureFile, drive, fault, cutLine))
            return Error(c, EXIT_FILE, ReportFault(c.Args.CaptureFile, fault));
        if (cutLine)
            Warn(c, "the last line of " + c.Args.CaptureFile +
                        " is cut off (the capture was stopped in the middle of a record): it is left out");
        in.Drive = &drive;
        in.DriveFile = c.Args.CaptureFile;
    }
    if (pdf && !toOut && !CheckOutputFile(c.Args.File, error)) return Error(c, EXIT_FILE, error);
    if (!c.Args.After.empty()) {
        in.NowFile = c.Args.After;
        if (!ReportInput::IdentityOfName(c.Args.After, in.IdVersion, in.Version) && !c.Args.Before.empty())
            ReportInput::IdentityOfName(c.Args.Before, in.IdVersion, in.Version);
    } else {
        c.Port = c.Args.Port.empty() ? SavedPort() : c.Args.Port;
        if (c.Port.empty())
            return Error(c, EXIT_USAGE,
                         "no serial port and no --after file: give one with --port DEVICE (zvbasic.ini names none)");
        cCliSession s(*c.Progress, c.Line);
        const int rc = Connect(c, s, false);
        if (rc != EXIT_OK) return rc;
        in.Now = EcuSettings;
        in.IdVersion = s.IdVersion();
        in.Version = s.Version();
        s.Close();
        in.NowFile = c.FirstBackup;
    }
    ReportSettings(c, in);
    if (c.Args.Before.empty()) {
        if (in.Version < 0)
            return Error(c, EXIT_NO_BEFORE,
                         "report needs --before FILE.zv2: the ECU of " + c.Args.After +
                             " is not known, so no backup of it can be offered");
        return RefuseWithoutBefore(c, in);
    }
    in.BeforeFile = c.Args.Before;
    in.Vehicle = c.Args.Vehicle;
    in.Fitter = c.Args.Fitter;
    in.Made = std::time(nullptr);
    const Report::sContent content = Report::Build(in);
    if (pdf) {
        std::string bytes;
        if (!c.Output.Pdf(content, in.Drive, bytes, error)) return Error(c, EXIT_FILE, "no report made: " + error);
        if (toOut) {
            if (!PrintResult(c, bytes))
                return Error(c, EXIT_FILE, std::string("cannot write standard output: ") + std::strerror(c.OutError));
        } else if (!SafeWrite::ReplaceFile(c.Args.File, bytes, &error)) {
            return Error(c, EXIT_FILE, "cannot write " + c.Args.File + ": " + error);
        }
    }
    if (c.Args.Json) {
        std::string json = Report::Json(content);
        json.pop_back();  // the line end
        json.pop_back();  // the closing brace: the run's warnings and file follow
        std::string fields =
            json.substr(1) + ",\"file\":" + (pdf ? CliFormat::JsonString(c.Args.File) : std::string("null"));
        PrintResult(c, JsonObject(c, fields));
    } else if (pdf && !toOut && !c.Args.Quiet) {
        Note(c, "report written to " + c.Args.File);
    }
    return EXIT_OK;
}

int Run(sContext& c) {
    cProgress progress(c.Args.Quiet, c.Output.ErrTerminal);
    c.Progress = &progress;
    if (c.Args.Command == "ports") return Ports(c);
    if (c.Args.Command == "backups") return Backups(c);
    if (c.Args.Command == "report") return MakeReport(c);

    c.Port = c.Args.Port.empty() ? SavedPort() : c.Args.Port;
    if (c.Port.empty())
        return Error(c, EXIT_USAGE, "no serial port: give one with --port DEVICE (zvbasic.ini names none)");

    int rc = EXIT_OK;
    const std::string& cmd = c.Args.Command;
    if (cmd == "identify") rc = Identify(c);
    else if (cmd == "read") rc = Read(c);
    else if (cmd == "write") rc = Write(c);
    else if (cmd == "diff") rc = Diff(c);
    else if (cmd == "factory") rc = Factory(c);
    else if (cmd == "live") rc = Live(c);
    else if (cmd == "capture") rc = Capture(c);
    if (rc > 128) {
        progress.End();
        // A capture has said so in its result already.
        if (cmd != "capture") Error(c, rc, std::string("ended by ") + (rc == 128 + SIGINT ? "SIGINT" : "SIGTERM"));
    }
    return rc;
}

}  // namespace

int RunCliCommand(const std::vector<std::string>& args, const sCliOutput& output, const sCliLine& line) {
    sContext c(output, line);
    std::string error;
    c.JsonOut = std::find(args.begin(), args.end(), "--json") != args.end();
    int rc = EXIT_OK;
    if (!ParseCliArgs(args, c.Args, error)) {
        rc = Error(c, EXIT_USAGE, error + " (see " + kProgram + " --help)");
    } else if (c.Args.Help) {
        PrintResult(c, CliUsage());
    } else if (c.Args.Version) {
        const sVersion v = ProgramVersion();
        PrintResult(c, std::string(kProgram) + " " + std::to_string(v.Major) + "." + std::to_string(v.Minor) + "." +
                           std::to_string(v.Release) + "." + std::to_string(v.Build) + "\n");
    } else {
        rc = Run(c);
    }
    // Output that did not reach standard output (a full disk, a closed
    // pipe) is a failed write, except for a live watch whose reader went
    // away, which ends it as --count would.
    const int outError = c.OutError;
    if (outError && !(c.Args.Command == "live" && outError == EPIPE) && (rc == EXIT_OK || rc == EXIT_DIFFERENT))
        rc = Error(c, EXIT_FILE, std::string("cannot write standard output: ") + std::strerror(outError));
    return rc;
}
