// How the settings are named and shown: the catalogue keys of the
// configuration and calibration screens' labels and lists, and each setting of
// the record as a name, a value text and a unit for an ECU version. The
// screens take their texts from here, and so does every program that lists
// settings, so a setting has one name everywhere.
#pragma once

#include <string>
#include <vector>

#include "link/Settings.h"

namespace SettingsText {

// List items of the configuration screen, catalogue keys in list order.
extern const char* const TpsTypes[2];     // TPSType 0, 1
extern const char* const LambdaTypes[6];  // LambdaType 0..4; item 5 stores 8 (no sensor)
extern const char* const LevelTypes[6];   // LPGLevType; the last four from version 55
extern const char* const RpmSources[3];   // RPMDiv

constexpr int NoSensorItem = 5;
constexpr int NoSensor = 8;

// Label keys of the two screens.
extern const char* const TpsGroup;           // " TPS "
extern const char* const SwitchingLevel;     // "Switching level"
extern const char* const ThrottleClosedBtn;  // "  F6  Throttle closed"
extern const char* const LambdaProbe;        // "Lambda probe:"
extern const char* const LevelSensor;        // "LPG level sensor:"
extern const char* const RpmSource;          // "RPM signal source:"
extern const char* const CylCount;           // "Cylinder count:"
extern const char* const CoilCount;          // "Coil count:"
extern const char* const ValveMin;           // "Valve\nminimal open"
extern const char* const ValveMax;           // "Valve\nmaximal open"
extern const char* const ValveH0;            // "Throttle\nclosed"
extern const char* const ValveH1;            // "Throttle\nopen\nlow\nspeed"
extern const char* const ValveH2;            // "Throttle\nopen\nhigh\nspeed"
extern const char* const MinRpm;             // "Gas switch on rotation speed:"
extern const char* const MaxRpm;             // "Maximal rotation speed on gas:"
extern const char* const RpmUnit;            // "RPM"
extern const char* const Inactive;           // "Inactive"

// A label key as one plain line: line breaks become blanks, blanks at the
// ends, a function-key prefix ("  F6  ") and a trailing colon go.
std::string PlainName(const char* key);

// One setting of the record, ready to show.
struct sRow {
    int Position;         // record position
    const char* Field;    // record field name, e.g. "StepPosMin"
    const char* NameKey;  // catalogue key of its label
    std::string Value;    // shown value: volts, rpm, list text or number
    const char* Unit;     // "V", "RPM" or ""
};

// A row's name as one plain line, unique among the rows: the label's plain
// name, except the throttle sensor's closed level, which would otherwise
// share "Throttle closed" with the valve position H0.
std::string RowName(const sRow& row);

// The settings an ECU of `version` carries, in record order: the RPM signal
// source only below 48, the level sensor only above 22, cylinder and coil
// count only from 48. Reserved15 is never listed. Volts with two decimals and
// a point; a list value outside its list as its number.
std::vector<sRow> Rows(const sSettings& rec, int version);
// The row of one record position (whatever the version).
sRow Row(const sSettings& rec, int version, int position);

}  // namespace SettingsText
