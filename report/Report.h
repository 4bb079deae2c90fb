// The fitting report of one job on one car: what the ECU held before, what
// it holds now, with every changed setting marked, who did it on which
// vehicle, and optionally how the car ran on the test drive. This is the
// report's content in the language in force, with no Qt: the command line
// prints it as JSON, and the PDF painter (ReportPdf, Qt Gui) lays it out.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "link/Settings.h"

#include "formats/CaptureData.h"

namespace Report {

// What the report is made from.
struct sInput {
    sSettings Before{};
    sSettings Now{};
    std::string BeforeFile;  // the backup or vehicle file of each column ("" when none)
    std::string NowFile;
    // The ECU's identity; -1 when not known (two vehicle files from
    // elsewhere): then every setting any ECU carries is listed.
    int IdVersion = -1;
    int Version = -1;
    std::string Vehicle;  // plate / VIN, as the fitter typed it
    std::string Fitter;
    std::string Workshop;              // [Report] of zvbasic.ini
    std::vector<std::string> Address;  // its address lines
    std::time_t Made = 0;              // when the report was made
    // The test drive, optional.
    const Capture::sCaptureData* Drive = nullptr;
    std::string DriveFile;
};

struct sRow {
    int Position = 0;
    std::string Field;        // record field name ("StepPosMin")
    std::string Name;         // translated label, one line
    std::string Before, Now;  // value and unit as shown, translated list texts
    int BeforeRaw = 0, NowRaw = 0;
    bool Changed = false;
};

struct sDrive {
    std::string File;  // the capture's file name (no folder)
    uint64_t Records = 0;
    bool TimeKnown = false;       // the capture kept the time it recorded
    double Seconds = 0;           // that time (0: not known)
    double SecondsPerRecord = 0;  // the records' share of Seconds / Records (0: not known)
    uint64_t Gaps = 0;            // times the ECU was away during the drive
    double GapSeconds = 0;        // their seconds, part of Seconds but of no record
    uint64_t Rich = 0;            // records with the lambda above the rich threshold
    double RichShare = 0;
    float RpmMax = 0, TpsMax = 0, ValveMin = 0, ValveMax = 0;
};

struct sContent {
    std::string Workshop;
    std::vector<std::string> Address;
    std::string Made;      // local date and time "2026-12-08 14:03"
    std::string Identity;  // "2.5/3.0", "" when not known
    std::string EcuType;   // translated type name, "" when not known
    std::string Program;   // "3.2.8.0"
    std::string Vehicle, Fitter;
    std::vector<sRow> Rows;
    int ChangedCount = 0;
    std::string BeforeFile, NowFile;  // file names, without folders
    bool HasDrive = false;
    sDrive Drive;
};

// The content in the language in force.
sContent Build(const sInput& in);

// The content as one JSON object (with its line end).
std::string Json(const sContent& c);

// "2.5/3.0" (a backup's identity) as identity version and ECU version bytes;
// false when the text is not of that form.
bool ParseIdentity(const std::string& text, int& idVersion, int& version);

// A file name without its folders.
std::string BaseName(const std::string& path);

// A value of the report with its unit ("1.20 V", "Inactive").
std::string ValueText(const sSettings& rec, int version, int position);

// Durations as "1:02:03" or "2:03" (minutes and seconds).
std::string DurationText(double seconds);

}  // namespace Report
