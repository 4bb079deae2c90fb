#include "report/ReportInput.h"

#include <cerrno>
#include <cstring>

#include "core/RegularFile.h"

#include "formats/VehicleFile.h"

#include "report/Report.h"

namespace ReportInput {

bool ReadSettings(const std::string& path, sSettings& rec, sFault& fault) {
    std::string text, why;
    fault = sFault{};
    if (!VehicleFile::ReadText(path, text, why)) {
        fault.Fault = eFault::CannotRead;
        fault.Detail = why;
        return false;
    }
    const VehicleFile::sStrictCheck check = VehicleFile::CheckStrict(text, VehicleFile::eFileEnd::Tolerant);
    if (!check.WellFormed()) {
        fault.Fault = eFault::Damaged;
        fault.Line = check.Line;
        fault.Detail = VehicleFile::LineFaultText(check.Fault);
        return false;
    }
    rec = sSettings{};
    VehicleFile::Parse(text, rec);
    return true;
}

bool IdentityOfName(const std::string& path, int& idVersion, int& version) {
    Backup::sEntry e;
    return Backup::ParseName(Report::BaseName(path), e) && Report::ParseIdentity(e.Identity, idVersion, version);
}

bool ReadDrive(const std::string& path, Capture::sCaptureData& data, sFault& fault, bool& cutLine) {
    fault = sFault{};
    cutLine = false;
    const Capture::sReadResult r = Capture::ReadCaptureFile(path, data);
    if (r.Status == Capture::eReadStatus::NotAFile) {
        fault.Fault = eFault::CannotRead;
        fault.Detail = RegularFile::NotRegular;
        return false;
    }
    if (r.Status == Capture::eReadStatus::OutOfMemory || data.DroppedRecords > 0) {
        fault.Fault = eFault::TooLarge;
        return false;
    }
    if (r.Status != Capture::eReadStatus::Ok) {
        fault.Fault = eFault::CannotRead;
        fault.Detail = std::strerror(r.Errno ? r.Errno : EIO);
        return false;
    }
    // A capture stopped by a power loss ends inside its last record: that
    // line alone is left out, as the viewer leaves it out.
    cutLine = data.LastLineCut && data.LastLine == Capture::sCaptureData::eLine::Skipped;
    const uint64_t skipped = data.SkippedLines - (cutLine ? 1 : 0);
    if (skipped > 0) {
        fault.Fault = eFault::NotACapture;
        fault.Lines = skipped;
        return false;
    }
    if (data.Records() == 0) {
        fault.Fault = eFault::NoRecords;
        return false;
    }
    return true;
}

std::vector<sCandidate> BeforeCandidates(const std::string& folder, int idVersion, int version,
                                         const std::string& nowFile) {
    std::vector<sCandidate> out;
    const std::string identity = Ecu::VersionCaption(idVersion, version);
    Backup::sEntry now;
    const bool nowIsBackup = !nowFile.empty() && Backup::ParseName(Report::BaseName(nowFile), now);
    for (const Backup::sEntry& e : Backup::List(folder, VehicleFile::IsWhole)) {
        if (e.Identity != identity || e.Path == nowFile) continue;
        if (nowIsBackup && (e.When > now.When || (e.When == now.When && e.Suffix >= now.Suffix))) continue;
        sCandidate c;
        c.Entry = e;
        sFault fault;
        if (!ReadSettings(e.Path, c.Settings, fault)) continue;
        out.push_back(std::move(c));
    }
    return out;
}

}  // namespace ReportInput
