// What the fitting report is made from, read and judged in one place for the
// data transfer screen and the command line: the vehicle files of its two
// columns, the ECU identity a backup's name carries, the capture of the test
// drive, and the backups that may hold the settings before the job. No Qt;
// each caller words the faults in its own way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Backup.h"

#include "link/Settings.h"

#include "formats/CaptureData.h"

namespace ReportInput {

// Why a file gives no report.
enum class eFault {
    None,
    CannotRead,   // Detail: the system's text or a catalogue key (not a regular file, too long)
    Damaged,      // a vehicle file that is not whole: Line, Detail the line's fault (a catalogue key)
    NotACapture,  // lines that are neither records nor a capture's own, other than a cut last line
    NoRecords,    // a capture without a record
    TooLarge,     // a capture with more records than the memory holds
};

struct sFault {
    eFault Fault = eFault::None;
    std::string Detail;
    int Line = 0;        // Damaged: the first bad line, from 1
    uint64_t Lines = 0;  // NotACapture: the lines that are not records
};

// A vehicle file of a report column: read whole and well-formed (the last
// line may lack its line end), or `fault` says why not.
bool ReadSettings(const std::string& path, sSettings& rec, sFault& fault);

// The ECU identity a backup's name carries ("...ECU-2.5-3.0.zv2"); false for
// any other name (a vehicle file from elsewhere tells no ECU).
bool IdentityOfName(const std::string& path, int& idVersion, int& version);

// The capture of the test drive, by the viewer's rule: every record it holds,
// a last line cut off (the capture stopped by a power loss) left out and
// told in `cutLine`; false with `fault` only for a file that is not a
// capture, holds no record or cannot be read.
bool ReadDrive(const std::string& path, Capture::sCaptureData& data, sFault& fault, bool& cutLine);

// A backup that may hold the settings before the job.
struct sCandidate {
    Backup::sEntry Entry;
    sSettings Settings{};
};

// The backups of the ECU (`idVersion`, `version`) in `folder` that are older
// than now, newest first: when `nowFile` is a backup, those made before it
// (and never that file itself). Damaged files are left out. Which of them
// is the car before the job cannot be known: another car of the same ECU
// model, or this car on another day, has backups of the same identity.
std::vector<sCandidate> BeforeCandidates(const std::string& folder, int idVersion, int version,
                                         const std::string& nowFile);

}  // namespace ReportInput
