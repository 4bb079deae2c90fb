#include "formats/SettingsText.h"

#include <charconv>

#include "core/Translate.h"

namespace SettingsText {

const char* const TpsTypes[2] = {N_("Not connected"), N_("Linear")};
const char* const LambdaTypes[6] = {N_("0 - 1 V"), N_("0 - 5 V"),     N_("1 - 0 V"),
                                    N_("5 - 0 V"), N_("0,8 - 1,6 V"), N_("No sensor")};
const char* const LevelTypes[6] = {N_("AC, ZV (11 segm.)"), N_("Reserve only"), N_("AEB (9 segm.)"),
                                   N_("ZV (Hallotron)"),    N_("Lovato"),       N_("Lovato 90 ohm")};
const char* const RpmSources[3] = {N_("speed meter   (x2)"), N_("two coils         (x1)"),
                                   N_("one coil          (x0,5)")};

const char* const TpsGroup = N_(" TPS ");
const char* const SwitchingLevel = N_("Switching level");
const char* const ThrottleClosedBtn = N_("  F6  Throttle closed");
const char* const LambdaProbe = N_("Lambda probe:");
const char* const LevelSensor = N_("LPG level sensor:");
const char* const RpmSource = N_("RPM signal source:");
const char* const CylCount = N_("Cylinder count:");
const char* const CoilCount = N_("Coil count:");
const char* const ValveMin = N_("Valve\nminimal open");
const char* const ValveMax = N_("Valve\nmaximal open");
const char* const ValveH0 = N_("Throttle\nclosed");
const char* const ValveH1 = N_("Throttle\nopen\nlow\nspeed");
const char* const ValveH2 = N_("Throttle\nopen\nhigh\nspeed");
const char* const MinRpm = N_("Gas switch on rotation speed:");
const char* const MaxRpm = N_("Maximal rotation speed on gas:");
const char* const RpmUnit = N_("RPM");
const char* const Inactive = N_("Inactive");

namespace {

const char* const kFields[16] = {"LambdaType", "TPSSwitchLevel", "TPSClosedLevel", "TPSType",
                                 "MinRPMCode", "MaxRPMCode",     "StepPosMin",     "StepPosMax",
                                 "StepPosH0",  "StepPosH1",      "StepPosH2",      "RPMDiv",
                                 "LPGLevType", "CylCount",       "CoilCount",      "Reserved15"};

std::string Volts(int raw) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, Conv::RawToVolts(raw), std::chars_format::fixed, 2);
    return std::string(buf, res.ptr);
}

std::string Item(const char* const* items, int count, int index) {
    if (index >= 0 && index < count) return items[index];
    return std::to_string(index);
}

}  // namespace

std::string PlainName(const char* key) {
    std::string s;
    for (const char* p = key; *p; ++p) s += (*p == '\n') ? ' ' : *p;
    size_t b = s.find_first_not_of(' ');
    s = b == std::string::npos ? std::string() : s.substr(b);
    // "F6  Throttle closed": the function key is the button's, not the name's.
    if (s.size() > 2 && s[0] == 'F' && s[1] >= '0' && s[1] <= '9') {
        size_t gap = s.find(' ');
        size_t rest = gap == std::string::npos ? gap : s.find_first_not_of(' ', gap);
        if (rest != std::string::npos) s = s.substr(rest);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == ':')) s.pop_back();
    return s;
}

sRow Row(const sSettings& rec, int version, int position) {
    const int v = rec[position];
    sRow row{position, kFields[position & 15], "", std::to_string(v), ""};
    switch (position) {
    case 0:
        row.NameKey = LambdaProbe;
        row.Value = v == NoSensor ? LambdaTypes[NoSensorItem] : Item(LambdaTypes, NoSensorItem, v);
        break;
    case 1:
        row.NameKey = SwitchingLevel;
        row.Value = Volts(v);
        row.Unit = "V";
        break;
    case 2:
        row.NameKey = ThrottleClosedBtn;
        row.Value = Volts(v);
        row.Unit = "V";
        break;
    case 3:
        row.NameKey = TpsGroup;
        row.Value = Item(TpsTypes, 2, v);
        break;
    case 4:
        row.NameKey = MinRpm;
        row.Value = std::to_string(Conv::PeriodToRpm(v));
        row.Unit = RpmUnit;
        break;
    case 5:
        row.NameKey = MaxRpm;
        if (v == 0) {
            row.Value = Inactive;  // the emergency switch-off to petrol is off
        } else {
            row.Value = std::to_string(Conv::PeriodToRpm(v));
            row.Unit = RpmUnit;
        }
        break;
    case 6: row.NameKey = ValveMin; break;
    case 7: row.NameKey = ValveMax; break;
    case 8: row.NameKey = ValveH0; break;
    case 9: row.NameKey = ValveH1; break;
    case 10: row.NameKey = ValveH2; break;
    case 11:
        row.NameKey = RpmSource;
        row.Value = Item(RpmSources, 3, v);
        break;
    case 12:
        row.NameKey = LevelSensor;
        row.Value = Item(LevelTypes, Ecu::SixLevelTypes(version) ? 6 : 2, v);
        break;
    case 13: row.NameKey = CylCount; break;
    case 14: row.NameKey = CoilCount; break;
    default: row.NameKey = ""; break;
    }
    return row;
}

std::string RowName(const sRow& row) {
    if (row.Position == 2) return "Throttle closed level";
    return *row.NameKey ? PlainName(row.NameKey) : std::string(row.Field);
}

std::vector<sRow> Rows(const sSettings& rec, int version) {
    std::vector<sRow> rows;
    for (int pos = 0; pos < 15; ++pos) {
        if (pos == 11 && Ecu::NewProtocol(version)) continue;
        if (pos == 12 && !Ecu::HasLevelSensor(version)) continue;
        if ((pos == 13 || pos == 14) && !Ecu::NewProtocol(version)) continue;
        rows.push_back(Row(rec, version, pos));
    }
    return rows;
}

}  // namespace SettingsText
