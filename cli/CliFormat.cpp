#include "cli/CliFormat.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "core/Json.h"
#include "core/Printable.h"

#include "formats/SettingsText.h"
#include "formats/VehicleFile.h"

namespace CliFormat {

std::string PlainText(const std::string& s) { return Printable::Escaped(s); }

std::string JsonString(const std::string& s) { return Json::Quoted(s); }

std::string Fixed(double value, int decimals) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) return "0";
    return std::string(buf, res.ptr);
}

sSettings ExpectedReadBack(const sSettings& before, const sSettings& file, int version) {
    sSettings held = before;
    if (Ecu::NewProtocol(version)) {
        for (const sUpdate& u : VehicleFile::Updates(file)) Ecu::StoreReadParam(held, version, u.Param(), u.Value());
        return held;
    }
    sSettings sent = file;
    Conv::ApplyTpsDirection(sent);
    for (int p = 0; p < Ecu::OldWriteCount(version); ++p) {
        // The speeds go out doubled below 25, in one byte: compared with the
        // file's own value, a code the ECU cannot hold shows as a difference
        // instead of agreeing with its own wrapped-around self.
        if ((p == P_MIN_RPM || p == P_MAX_RPM) && Ecu::RpmDoubled(version))
            held[Ecu::ParamPosition(version, p)] = sent[Ecu::ParamPosition(version, p)];
        else Ecu::StoreReadParam(held, version, p, Ecu::OldWriteValue(sent, version, p));
    }
    return held;
}

std::string UnholdableValue(const sSettings& file, int version) {
    if (!Ecu::RpmDoubled(version)) return {};
    for (const auto& [param, line] : {std::pair{P_MIN_RPM, 6}, std::pair{P_MAX_RPM, 7}}) {
        const int value = file[Ecu::ParamPosition(version, param)];
        if (value > 127)
            return "line " + std::to_string(line) + ": " + std::to_string(value) +
                   " is above 127, the largest speed code an ECU of version " + std::to_string(version) +
                   " holds (it keeps the codes doubled in one byte)";
    }
    return {};
}

std::vector<sDifference> Differences(const sSettings& expected, const sSettings& actual) {
    std::vector<sDifference> diffs;
    for (int pos = 0; pos < 16; ++pos)
        if (expected[pos] != actual[pos]) diffs.push_back({pos, expected[pos], actual[pos]});
    return diffs;
}

namespace {

std::string Pad(const std::string& s, size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

// The shown value as a JSON number when it is one (volts, rpm, positions,
// counts), else null (a list's text, "Inactive").
std::string JsonNumber(const std::string& text) {
    size_t i = text.empty() || text[0] != '-' ? 0 : 1;
    const size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == digits) return "null";
    if (i < text.size() && text[i] == '.') {
        const size_t frac = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == frac) return "null";
    }
    return i == text.size() ? text : "null";
}

std::string WithUnit(const SettingsText::sRow& row) { return *row.Unit ? row.Value + " " + row.Unit : row.Value; }

}  // namespace

std::string SettingsTable(const sSettings& rec, int version) {
    const auto rows = SettingsText::Rows(rec, version);
    size_t nameWidth = 0, valueWidth = 0;
    for (const auto& r : rows) {
        nameWidth = std::max(nameWidth, SettingsText::RowName(r).size());
        if (*r.Unit) valueWidth = std::max(valueWidth, r.Value.size());
    }
    std::string out;
    for (const auto& r : rows) {
        std::string line = Pad(SettingsText::RowName(r), nameWidth + 2);
        line += *r.Unit ? Pad(r.Value, valueWidth + 1) + r.Unit : r.Value;
        out += line + "\n";
    }
    return out;
}

std::string SettingsJson(const sSettings& rec, int version) {
    std::string out = "[";
    bool first = true;
    for (const auto& r : SettingsText::Rows(rec, version)) {
        if (!first) out += ",";
        first = false;
        out += "{\"field\":" + JsonString(r.Field) + ",\"name\":" + JsonString(SettingsText::RowName(r)) +
               ",\"raw\":" + std::to_string(rec[r.Position]) + ",\"value\":" + JsonNumber(r.Value) +
               ",\"text\":" + JsonString(r.Value) + ",\"unit\":" + JsonString(r.Unit) + "}";
    }
    return out + "]";
}

std::string DifferencesText(const std::vector<sDifference>& diffs, const sSettings& expected, const sSettings& actual,
                            int version) {
    std::string out;
    for (const auto& d : diffs) {
        const auto want = SettingsText::Row(expected, version, d.Position);
        const auto have = SettingsText::Row(actual, version, d.Position);
        out += SettingsText::RowName(want) + ": file " + WithUnit(want) + ", ECU " + WithUnit(have) + "\n";
    }
    return out;
}

std::string DifferencesJson(const std::vector<sDifference>& diffs, const sSettings& expected, const sSettings& actual,
                            int version) {
    std::string out = "[";
    bool first = true;
    for (const auto& d : diffs) {
        const auto want = SettingsText::Row(expected, version, d.Position);
        const auto have = SettingsText::Row(actual, version, d.Position);
        if (!first) out += ",";
        first = false;
        out += "{\"field\":" + JsonString(want.Field) + ",\"name\":" + JsonString(SettingsText::RowName(want)) +
               ",\"file_raw\":" + std::to_string(d.Expected) + ",\"file_value\":" + JsonNumber(want.Value) +
               ",\"file_text\":" + JsonString(want.Value) + ",\"ecu_raw\":" + std::to_string(d.Actual) +
               ",\"ecu_value\":" + JsonNumber(have.Value) + ",\"ecu_text\":" + JsonString(have.Value) +
               ",\"unit\":" + JsonString(want.Unit) + "}";
    }
    return out + "]";
}

std::string IdentityText(const std::string& port, int idVersion, int version) {
    char buf[64];
    std::string out = "port:          " + PlainText(port) + "\n";
    std::snprintf(buf, sizeof buf, "%d (0x%02X)", version, version & 0xFF);
    out += std::string("version:       ") + buf + "\n";
    std::snprintf(buf, sizeof buf, "%d (0x%02X)", idVersion, idVersion & 0xFF);
    out += std::string("identity:      ") + buf + "\n";
    out += "version text:  " + Ecu::VersionCaption(idVersion, version) + "\n";
    out += std::string("type:          ") + Ecu::TypeName(version) + "\n";
    return out;
}

std::string IdentityJsonFields(const std::string& port, int idVersion, int version) {
    return "\"port\":" + JsonString(port) + ",\"version\":" + std::to_string(version) +
           ",\"id_version\":" + std::to_string(idVersion) +
           ",\"version_text\":" + JsonString(Ecu::VersionCaption(idVersion, version)) +
           ",\"type\":" + JsonString(Ecu::TypeName(version));
}

const char* FuelStateText(int fuel) {
    switch (fuel) {
    case 1: return "switching";  // gas lamp blinking
    case 2: return "gas";
    case 3: return "petrol";
    default: return "unknown";
    }
}

std::string LiveHeader() { return "TPS V  TPS %   RPM  VALVE  LAMBDA V  FUEL       LEVEL\n"; }

std::string LiveText(const sLiveLine& l) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%5s  %5d  %4d  %5d  %8s  %-9s  %5d\n", Fixed(l.Sample.TPSVolts, 2).c_str(),
                  int(Conv::TpsPercent(l.TpsRaw, l.TpsFalling)), int(l.Sample.RPM), int(l.Sample.ValvePos),
                  Fixed(l.Sample.LambdaVolts, 2).c_str(), FuelStateText(l.Fuel), l.Level);
    return buf;
}

std::string LiveCsvHeader() { return "tps_v,tps_pct,rpm,valve,lambda_v,fuel,fuel_state,level\n"; }

std::string LiveCsv(const sLiveLine& l) {
    return Fixed(l.Sample.TPSVolts, 2) + "," + std::to_string(int(Conv::TpsPercent(l.TpsRaw, l.TpsFalling))) + "," +
           std::to_string(l.Sample.RPM) + "," + std::to_string(l.Sample.ValvePos) + "," +
           Fixed(l.Sample.LambdaVolts, 2) + "," + std::to_string(l.Fuel) + "," + FuelStateText(l.Fuel) + "," +
           std::to_string(l.Level) + "\n";
}

std::string LiveJson(const sLiveLine& l) {
    return "{\"tps_v\":" + Fixed(l.Sample.TPSVolts, 2) +
           ",\"tps_pct\":" + std::to_string(int(Conv::TpsPercent(l.TpsRaw, l.TpsFalling))) +
           ",\"rpm\":" + std::to_string(l.Sample.RPM) + ",\"valve\":" + std::to_string(l.Sample.ValvePos) +
           ",\"lambda_v\":" + Fixed(l.Sample.LambdaVolts, 2) + ",\"fuel\":" + std::to_string(l.Fuel) +
           ",\"fuel_state\":" + JsonString(FuelStateText(l.Fuel)) + ",\"level\":" + std::to_string(l.Level) + "}\n";
}

}  // namespace CliFormat
