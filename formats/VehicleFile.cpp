#include "formats/VehicleFile.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "core/RegularFile.h"
#include "core/SafeWrite.h"
#include "core/Translate.h"

#include "link/Protocol.h"

namespace VehicleFile {

const sLine Lines[LineCount] = {
    {2, 0},    // TPSClosedLevel
    {1, 51},   // TPSSwitchLevel
    {3, 1},    // TPSType
    {11, 1},   // RPMDiv
    {12, 0},   // LPGLevType
    {4, 27},   // MinRPMCode
    {5, 9},    // MaxRPMCode
    {6, 50},   // StepPosMin
    {7, 150},  // StepPosMax
    {8, 100},  // StepPosH0
    {9, 90},   // StepPosH1
    {10, 80},  // StepPosH2
    {0, 0},    // LambdaType
    {13, 4},   // CylCount (pair with the next line)
    {14, 1},   // CoilCount
};

namespace {

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

void SkipBlanks(std::istream& in) {
    while (IsBlank(in.peek())) in.get();
}

// One "%d\n" read. On failure nothing beyond leading white space is consumed
// (a lone sign is put back), so the next read fails at the same place. Only
// the low eight bits matter, so the digits are accumulated modulo 2^64, which
// keeps them exact however long the number is.
std::optional<uint8_t> ReadValue(std::istream& in) {
    SkipBlanks(in);
    bool negative = false;
    int c = in.peek();
    if (c == '+' || c == '-') {
        negative = c == '-';
        in.get();
        if (!std::isdigit(in.peek())) {
            in.unget();
            in.clear();
            return std::nullopt;
        }
    }
    if (!std::isdigit(in.peek())) return std::nullopt;
    uint64_t value = 0;
    while (std::isdigit(in.peek())) value = value * 10 + uint64_t(in.get() - '0');
    in.clear();
    SkipBlanks(in);
    in.clear();
    if (negative) value = ~value + 1;
    return uint8_t(value & 0xFF);
}

}  // namespace

bool Parse(std::istream& in, sSettings& rec) {
    for (int i = 0; i < 13; ++i) {
        std::optional<uint8_t> v = ReadValue(in);
        rec[Lines[i].Position] = v ? *v : uint8_t(Lines[i].Default);
    }
    std::optional<uint8_t> cyl = ReadValue(in);
    std::optional<uint8_t> coil;
    if (cyl) coil = ReadValue(in);
    if (cyl && coil) {
        rec.CylCount = *cyl;
        rec.CoilCount = *coil;
        return true;
    }
    rec.CylCount = uint8_t(Lines[13].Default);
    rec.CoilCount = uint8_t(Lines[14].Default);
    return false;
}

bool Parse(const std::string& text, sSettings& rec) {
    std::istringstream in(text);
    return Parse(in, rec);
}

bool LoadText(const std::string& text, sSettings& rec) {
    const uint8_t cyl = rec.CylCount, coil = rec.CoilCount;
    if (Parse(text, rec)) return true;
    rec.CylCount = cyl;
    rec.CoilCount = coil;
    return false;
}

sStrictCheck CheckStrict(const std::string& whole, eFileEnd end) {
    std::string tolerant;
    if (end == eFileEnd::Tolerant) {
        // Empty lines after the last value go, and the last line gets the
        // line end it may lack.
        const size_t last = whole.find_last_not_of("\r\n");
        if (last != std::string::npos) tolerant = whole.substr(0, last + 1) + "\n";
    }
    const std::string& text = end == eFileEnd::Tolerant ? tolerant : whole;
    size_t at = 0;
    int line = 1;
    for (; at < text.size(); ++line) {
        if (line > LineCount) return {line, eLineFault::Extra};
        const size_t lineEnd = text.find('\n', at);
        if (lineEnd == std::string::npos) return {line, eLineFault::NoLineEnd};
        size_t stop = lineEnd;
        if (stop > at && text[stop - 1] == '\r') --stop;
        if (stop == at) return {line, eLineFault::NotANumber};
        unsigned value = 0;
        for (size_t i = at; i < stop; ++i) {
            const char c = text[i];
            if (c < '0' || c > '9') return {line, eLineFault::NotANumber};
            value = value * 10 + unsigned(c - '0');
            if (value > 255) return {line, eLineFault::TooLarge};
        }
        at = lineEnd + 1;
    }
    // `line` is the first line the file does not hold.
    if (line <= 13 || line == LineCount) return {line, eLineFault::Missing};
    return {};
}

bool IsWhole(const std::string& text) { return CheckStrict(text).WellFormed(); }

const char* LineFaultText(eLineFault fault) {
    switch (fault) {
    case eLineFault::Missing: return N_("missing");
    case eLineFault::NotANumber: return N_("not a number from 0 to 255");
    case eLineFault::TooLarge: return N_("a number above 255");
    case eLineFault::NoLineEnd: return N_("cut short (no line end)");
    case eLineFault::Extra: return N_("more lines than a vehicle file has");
    case eLineFault::None: break;
    }
    return "";
}

bool ReadText(const std::string& path, std::string& text, std::string& error) {
    return RegularFile::ReadSmall(path, MaxStrictSize, text, error, TooLong);
}

bool Read(const std::string& path, sSettings& rec) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    Parse(in, rec);
    return true;
}

bool Load(const std::string& path, sSettings& rec, int ecuVersion, const std::function<void(sUpdate)>& queue) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool counts = LoadText(text, rec);
    if (Ecu::NewProtocol(ecuVersion) && queue)
        for (const sUpdate& u : Updates(rec, counts)) queue(u);
    return true;
}

std::string Format(const sSettings& rec) {
    std::string out;
    for (const sLine& line : Lines) {
        out += std::to_string(unsigned(rec[line.Position]));
        out += "\r\n";
    }
    return out;
}

bool Write(const std::string& path, const sSettings& rec, std::string* error) {
    return SafeWrite::ReplaceFile(path, Format(rec), error);
}

std::vector<sUpdate> Updates(const sSettings& rec, bool withCounts) { return Ecu::RecordUpdates(rec, withCounts); }

}  // namespace VehicleFile
