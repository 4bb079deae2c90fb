#include "report/Report.h"

#include <charconv>
#include <cstdio>

#include "core/Folders.h"
#include "core/Json.h"
#include "core/Translate.h"
#include "core/Version.h"

#include "formats/SettingsText.h"

#include "analysis/DriveStats.h"

namespace Report {

namespace {

// A version not known: every setting is listed, the level sensor with all six types.
constexpr int kAnyVersion = 0xFF;

bool IsListPosition(int position) { return position == 0 || position == 3 || position == 11 || position == 12; }

std::string Name(const SettingsText::sRow& row) {
    // The throttle sensor's closed level and the valve position H0 share
    // the label "Throttle closed" on their screens.
    if (row.Position == 2) return _(N_("Throttle closed level"));
    return SettingsText::PlainName(_(row.NameKey));
}

std::string Number(double v, int decimals) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return std::string(buf, res.ptr);
}

std::string LocalTime(std::time_t t) {
    long offset = 0;
    const std::tm tm = Folders::LocalTime(t, offset);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
    return buf;
}

sDrive DriveOf(const Capture::sCaptureData& d, const std::string& file) {
    sDrive out;
    out.File = BaseName(file);
    out.Records = d.Records();
    // The time the capture recorded, as its writer kept it; the polling
    // cycle says nothing of it (the live poll runs three times as fast as
    // the idle one, and the link may have been away for a while).
    // The seconds the ECU was away (its gap lines) belong to no record.
    out.Gaps = d.Gaps.size();
    out.GapSeconds = d.GapSeconds();
    if (d.TimeKnown() && out.Records > 0) {
        out.TimeKnown = true;
        out.Seconds = d.Seconds;
        out.SecondsPerRecord = d.RecordSeconds() / double(out.Records);
    }
    for (size_t i = 0; i < d.Records(); ++i) {
        if (d.ExactValue(Capture::TraceLambda, i) > Capture::RichLambdaVolts) ++out.Rich;
        const float rpm = d.Value(Capture::TraceRpm, i), tps = d.Value(Capture::TraceTps, i);
        const float valve = d.Value(Capture::TraceValve, i);
        if (i == 0 || rpm > out.RpmMax) out.RpmMax = rpm;
        if (i == 0 || tps > out.TpsMax) out.TpsMax = tps;
        if (i == 0 || valve < out.ValveMin) out.ValveMin = valve;
        if (i == 0 || valve > out.ValveMax) out.ValveMax = valve;
    }
    out.RichShare = out.Records ? double(out.Rich) / double(out.Records) : 0;
    return out;
}

}  // namespace

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ValueText(const sSettings& rec, int version, int position) {
    const SettingsText::sRow row = SettingsText::Row(rec, version < 0 ? kAnyVersion : version, position);
    std::string value = row.Value;
    if (IsListPosition(position) || (position == 5 && !*row.Unit)) {
        // A list text lines up its items on the screen with runs of blanks;
        // on paper one blank will do.
        value.clear();
        for (const char* p = _(row.Value.c_str()); *p; ++p)
            if (*p != ' ' || (!value.empty() && value.back() != ' ')) value += *p;
        while (!value.empty() && value.back() == ' ') value.pop_back();
    }
    if (!*row.Unit) return value;
    return value + " " + (row.Unit == SettingsText::RpmUnit ? std::string(_(row.Unit)) : std::string(row.Unit));
}

std::string DurationText(double seconds) {
    if (!(seconds >= 0)) seconds = 0;
    const long long s = (long long)(seconds + 0.5);
    char buf[48];
    if (s >= 3600) std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
    else std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
    return buf;
}

bool ParseIdentity(const std::string& text, int& idVersion, int& version) {
    // "H.L/H.L", each a single hexadecimal nibble.
    auto nibble = [](char ch) {
        if (ch >= '0' && ch <= '9') return ch - '0';
        if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
        return -1;
    };
    if (text.size() != 7 || text[1] != '.' || text[3] != '/' || text[5] != '.') return false;
    const int n[4] = {nibble(text[0]), nibble(text[2]), nibble(text[4]), nibble(text[6])};
    for (int v : n)
        if (v < 0) return false;
    idVersion = n[0] << 4 | n[1];
    version = n[2] << 4 | n[3];
    return true;
}

sContent Build(const sInput& in) {
    sContent c;
    c.Workshop = in.Workshop;
    c.Address = in.Address;
    c.Made = LocalTime(in.Made);
    const bool known = in.Version >= 0 && in.IdVersion >= 0;
    if (known) {
        c.Identity = Ecu::VersionCaption(in.IdVersion, in.Version);
        c.EcuType = _(Ecu::TypeName(in.Version));
    }
    const sVersion v = ProgramVersion();
    c.Program = std::to_string(v.Major) + "." + std::to_string(v.Minor) + "." + std::to_string(v.Release) + "." +
                std::to_string(v.Build);
    c.Vehicle = in.Vehicle;
    c.Fitter = in.Fitter;
    std::vector<SettingsText::sRow> rows;
    if (known) {
        rows = SettingsText::Rows(in.Now, in.Version);
    } else {
        for (int pos = 0; pos < 15; ++pos) rows.push_back(SettingsText::Row(in.Now, kAnyVersion, pos));
    }
    for (const SettingsText::sRow& r : rows) {
        sRow row;
        row.Position = r.Position;
        row.Field = r.Field;
        row.Name = Name(r);
        row.Before = ValueText(in.Before, in.Version, r.Position);
        row.Now = ValueText(in.Now, in.Version, r.Position);
        row.BeforeRaw = in.Before[r.Position];
        row.NowRaw = in.Now[r.Position];
        row.Changed = row.BeforeRaw != row.NowRaw;
        if (row.Changed) ++c.ChangedCount;
        c.Rows.push_back(std::move(row));
    }
    c.BeforeFile = BaseName(in.BeforeFile);
    c.NowFile = BaseName(in.NowFile);
    if (in.Drive) {
        c.HasDrive = true;
        c.Drive = DriveOf(*in.Drive, in.DriveFile);
    }
    return c;
}

std::string Json(const sContent& c) {
    auto field = [](const char* name, const std::string& value) {
        return std::string("\"") + name + "\":" + (value.empty() ? std::string("null") : Json::Quoted(value));
    };
    std::string out = "{" + field("workshop", c.Workshop) + ",\"address\":[";
    for (size_t i = 0; i < c.Address.size(); ++i) out += (i ? "," : "") + Json::Quoted(c.Address[i]);
    out += "]," + field("made", c.Made) + "," + field("version_text", c.Identity) + "," + field("type", c.EcuType) +
           "," + field("program", c.Program) + "," + field("vehicle", c.Vehicle) + "," + field("fitter", c.Fitter) +
           ",\"settings\":[";
    for (size_t i = 0; i < c.Rows.size(); ++i) {
        const sRow& r = c.Rows[i];
        out += std::string(i ? "," : "") + "{\"field\":" + Json::Quoted(r.Field) + ",\"name\":" + Json::Quoted(r.Name) +
               ",\"before_raw\":" + std::to_string(r.BeforeRaw) + ",\"before\":" + Json::Quoted(r.Before) +
               ",\"now_raw\":" + std::to_string(r.NowRaw) + ",\"now\":" + Json::Quoted(r.Now) +
               ",\"changed\":" + (r.Changed ? "true" : "false") + "}";
    }
    out += "],\"changed\":" + std::to_string(c.ChangedCount) + "," + field("before_file", c.BeforeFile) + "," +
           field("now_file", c.NowFile) + ",\"drive\":";
    if (!c.HasDrive) return out + "null}\n";
    const sDrive& d = c.Drive;
    const bool known = d.TimeKnown;
    out += "{" + field("file", d.File) + ",\"records\":" + std::to_string(d.Records) +
           // (null when the capture does not keep its time: an older one, or
           // one whose writer never closed it)
           ",\"seconds_per_record\":" + (known ? Number(d.SecondsPerRecord, 3) : "null") +
           ",\"seconds\":" + (known ? Number(d.Seconds, 1) : "null") + ",\"gaps\":" + std::to_string(d.Gaps) +
           ",\"gap_seconds\":" + Number(d.GapSeconds, 1) + ",\"rich_records\":" + std::to_string(d.Rich) +
           ",\"rich_share\":" + Number(d.RichShare, 4) + ",\"rpm_max\":" + Number(d.RpmMax, 0) +
           ",\"tps_max\":" + Number(d.TpsMax, 2) + ",\"valve_min\":" + Number(d.ValveMin, 0) +
           ",\"valve_max\":" + Number(d.ValveMax, 0) + "}";
    return out + "}\n";
}

}  // namespace Report
