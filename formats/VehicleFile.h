// The vehicle settings file (*.zv2): 15 lines of unsigned decimals, one
// setting each, CR LF line ends. Reading is lenient (every field that cannot
// be read takes its own default); writing replaces an existing file whole or leaves
// it as it was.
#pragma once

#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "core/Translate.h"

#include "link/Settings.h"

namespace VehicleFile {

constexpr int LineCount = 15;

// Record position and reader default of each line, in file order.
struct sLine {
    int Position;
    int Default;
};
extern const sLine Lines[LineCount];

// Reads the values from a stream in one pass into rec, field by field. Each
// value is read like "%d\n": white space skipped, an optionally signed
// decimal, white space skipped again. A field that cannot be read takes its
// default and consumes nothing, so every later field takes its default too;
// lines 14 and 15 count as a pair. Each value is stored by its low eight
// bits. Reserved15 is left as it was. True when the file held the cylinder
// and coil counts (lines 14 and 15).
bool Parse(std::istream& in, sSettings& rec);
bool Parse(const std::string& text, sSettings& rec);
// "Load from file" of a file's text into rec: as Parse, except that a file
// without the cylinder and coil counts (an older kind, 13 lines) leaves
// rec's counts as they were instead of the reader's defaults. True when the
// file held the counts.
bool LoadText(const std::string& text, sSettings& rec);

// The strict check of a file's text, beside the lenient reader: a
// well-formed vehicle file has 15 lines (or 13, a file from before the
// cylinder and coil counts), each holding only a decimal number 0 to 255 and
// ending with a line end (CR LF, or LF alone). What a fault is called:
enum class eLineFault {
    None,
    Missing,     // the file ends before this line
    NotANumber,  // anything but digits (a sign, a blank, letters, an empty line)
    TooLarge,    // a number above 255
    NoLineEnd,   // the file ends inside this line (cut short)
    Extra,       // a line after the last one
};
struct sStrictCheck {
    int Line = 0;  // the first bad line, from 1; 0 when the file is well-formed
    eLineFault Fault = eLineFault::None;
    bool WellFormed() const { return Line == 0; }
};
// How the end of the file is taken. Exact (zvbasic-cli, before a write or a
// comparison): every line ends with a line end and nothing follows the last.
// Tolerant (the data transfer screen, before it asks whether to load a
// damaged file): the last line may lack its line end and empty lines after
// it are no fault.
enum class eFileEnd { Exact, Tolerant };
sStrictCheck CheckStrict(const std::string& text, eFileEnd end = eFileEnd::Exact);
// Whether `text` is a whole vehicle file (CheckStrict, Exact): what a backup
// must be (Backup::tIsWhole).
bool IsWhole(const std::string& text);
// The fault as a catalogue key ("not a number", ...), English until
// translated; "" for None.
const char* LineFaultText(eLineFault fault);
// Files longer than this are not vehicle files (and are not read whole): a
// vehicle file has fewer than 100 bytes, the rest is room for blanks.
constexpr size_t MaxStrictSize = 4096;
constexpr const char* TooLong = N_("too long for a vehicle file");
// Reads a file's text for CheckStrict: false when it cannot be read, is not
// a regular file (RegularFile::NotRegular) or is longer than
// MaxStrictSize (TooLong); `error` gets the system's text or says so.
bool ReadText(const std::string& path, std::string& text, std::string& error);

// Reads a file into rec. False when the file cannot be opened; rec is then
// unchanged.
bool Read(const std::string& path, sSettings& rec);

// "Load from file": reads a file into rec and, for an ECU of version 48 or
// above, hands the updates that carry it to the running ECU to `queue` in
// sending order (below 48 the values wait for a whole write); the counts a
// file does not hold are kept and not sent (see LoadText). False when
// the file cannot be opened: rec is then unchanged and nothing is queued.
bool Load(const std::string& path, sSettings& rec, int ecuVersion, const std::function<void(sUpdate)>& queue);

// The file contents for rec: 15 lines, each "value\r\n".
std::string Format(const sSettings& rec);

// Writes rec to path the safe way (SafeWrite::ReplaceFile: a symbolic link's
// target is replaced, only a regular file is, its permissions are kept).
// False when anything failed; the old file is then untouched and no
// temporary file remains. `error` receives the text of the failure when given.
bool Write(const std::string& path, const sSettings& rec, std::string* error = nullptr);

// The twelve single-parameter updates that carry loaded settings to an ECU of
// the new protocol, in sending order (parameter 12 last), parameter 1 by the
// throttle direction rule (Ecu::RecordUpdates); without `withCounts` the ten
// without the cylinder and coil counts.
std::vector<sUpdate> Updates(const sSettings& rec, bool withCounts = true);

}  // namespace VehicleFile
