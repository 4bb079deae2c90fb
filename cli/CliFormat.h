// What zvbasic-cli prints and compares: settings tables, JSON, live value
// lines, and the settings an ECU holds after a vehicle file was written to it.
#pragma once

#include <string>
#include <vector>

#include "link/Settings.h"

#include "formats/CaptureFile.h"

namespace CliFormat {

// A JSON string literal (quotes included), escaping what JSON requires.
std::string JsonString(const std::string& s);
// s for a terminal: control characters (a line end, an escape sequence)
// shown as \xNN instead of acting.
std::string PlainText(const std::string& s);

// The record a whole settings read returns from an ECU of `version` that held
// `before` (as read) and was then given `file` the way the data transfer
// screen gives it: the whole block after the throttle direction rule below
// 48, the twelve single updates from 48. Positions the ECU does not carry keep
// their values from `before`. The speed codes of an ECU below 25 are taken as
// the file gives them: one it cannot hold then shows as a difference.
sSettings ExpectedReadBack(const sSettings& before, const sSettings& file, int version);

// Why an ECU of `version` cannot hold a value of `file` (naming the vehicle
// file's line), or "" when it can hold them all: below 25 the speed codes
// are kept doubled in one byte, so none above 127 fits.
std::string UnholdableValue(const sSettings& file, int version);

// One setting that differs.
struct sDifference {
    int Position;
    uint8_t Expected;  // what the file gives the ECU
    uint8_t Actual;    // what the ECU holds
};
// The positions in which the two records differ, in record order.
std::vector<sDifference> Differences(const sSettings& expected, const sSettings& actual);

// The settings an ECU carries as a table: name, value, unit, one per line.
std::string SettingsTable(const sSettings& rec, int version);
// The same as a JSON array of {"field","name","raw","value","text","unit"}
// objects: "value" the shown value as a number (null for a list's text or
// "Inactive"), "text" as shown.
std::string SettingsJson(const sSettings& rec, int version);
// One line per difference: "Name: file VALUE [UNIT], ECU VALUE [UNIT]".
std::string DifferencesText(const std::vector<sDifference>& diffs, const sSettings& expected, const sSettings& actual,
                            int version);
// A JSON array of {"field","name","file_raw","file_value","file_text","ecu_raw",
// "ecu_value","ecu_text","unit"} objects, the values as in SettingsJson.
std::string DifferencesJson(const std::vector<sDifference>& diffs, const sSettings& expected, const sSettings& actual,
                            int version);

// The identity: "port", "version", "id_version", "version_text", "type".
std::string IdentityText(const std::string& port, int idVersion, int version);
std::string IdentityJsonFields(const std::string& port, int idVersion, int version);

// One complete cycle of live values.
struct sLiveLine {
    int TpsRaw = 0;
    bool TpsFalling = false;
    sLiveSample Sample;  // volts, rpm, valve as the capture takes them
    int Fuel = 0;        // last fuel state 1, 2 or 3; 0 before the first
    int Level = 0;       // LPG level index
};
// "switching", "gas", "petrol" or "unknown".
const char* FuelStateText(int fuel);
std::string LiveHeader();
std::string LiveText(const sLiveLine& l);
std::string LiveCsvHeader();
std::string LiveCsv(const sLiveLine& l);
std::string LiveJson(const sLiveLine& l);

// A number with `decimals` decimals and a point, whatever the locale.
std::string Fixed(double value, int decimals);

}  // namespace CliFormat
