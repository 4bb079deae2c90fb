#include "link/Settings.h"

#include <algorithm>
#include <limits>

#include "core/Translate.h"

#include "link/Protocol.h"

sSettings WorkSettings;
sSettings EcuSettings;
sSettings IncomingSettings;

bool SettingsChanged() { return !(WorkSettings == EcuSettings); }

void KeepEditsOverRead(sSettings& work, sSettings& ecu, const sSettings& read) {
    for (int pos = 0; pos < int(sizeof(sSettings)); ++pos) {
        const bool edited = work[pos] != ecu[pos];
        if (!edited) {
            work[pos] = read[pos];
            ecu[pos] = read[pos];
        } else if (read[pos] != work[pos]) {
            ecu[pos] = read[pos];
        }
    }
}

namespace Ecu {

bool SameVehicle(const sSettings& work, const sSettings& ecu, const sSettings& read) {
    for (int pos = 0; pos < int(sizeof(sSettings)); ++pos)
        if (read[pos] != ecu[pos] && read[pos] != work[pos]) return false;
    return true;
}

const char* TypeName(int v) { return NewProtocol(v) ? N_("ZORVA Basic +") : N_("ZORVA Basic"); }

std::string NibbleText(int byte) { return std::to_string((byte >> 4) & 0xF) + "." + std::to_string(byte & 0xF); }

sUpdate FactorySettingsUpdate() { return sUpdate(P_COMMAND, FACTORY_SETTINGS); }

std::string VersionCaption(int idVersion, int version) { return NibbleText(idVersion) + "/" + NibbleText(version); }

int ReadCount(int v) {
    if (NewProtocol(v)) return 13;
    return HasLevelSensor(v) ? 11 : 10;
}

int OldWriteCount(int v) { return HasLevelSensor(v) ? 11 : 10; }

int ParamPosition(int version, int param) {
    static const int oldMap[16] = {0, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1, -1, -1, -1, -1};
    static const int newMap[16] = {0, 1, 4, 5, 6, 7, 8, 9, 10, 13, 14, 15, 12, -1, -1, -1};
    if (param < 0 || param > 15) return -1;
    if (NewProtocol(version)) return newMap[param];
    if (param == P_OLD_LEVEL_TYPE && !HasLevelSensor(version)) return -1;
    return oldMap[param];
}

void StoreReadParam(sSettings& rec, int version, int param, uint8_t value) {
    int pos = ParamPosition(version, param);
    if (pos < 0) return;
    if (param == P_TPS) {
        Conv::RebuildTps(rec, value);
        return;
    }
    if ((param == P_MIN_RPM || param == P_MAX_RPM) && RpmDoubled(version)) value = uint8_t(value >> 1);
    rec[pos] = value;
}

std::vector<sUpdate> UpdatesBetween(const sSettings& want, const sSettings& have) {
    constexpr int version = 48;  // the generation that takes single updates
    std::vector<sUpdate> out;
    for (int param = 0; param < 16; ++param) {
        const int pos = ParamPosition(version, param);
        if (pos < 0 || param == P_RESERVED) continue;
        if (param == P_TPS) {
            if (Conv::TpsParamValue(want) != Conv::TpsParamValue(have))
                out.emplace_back(uint8_t(param), Conv::TpsParamValue(want));
            continue;
        }
        if (want[pos] != have[pos]) out.emplace_back(uint8_t(param), want[pos]);
    }
    return out;
}

std::vector<sUpdate> RecordUpdates(const sSettings& rec, bool withCounts) {
    std::vector<sUpdate> out = {
        sUpdate(P_LAMBDA_TYPE, rec.LambdaType), sUpdate(P_TPS, Conv::TpsParamValue(rec)),
        sUpdate(P_MIN_RPM, rec.MinRPMCode),     sUpdate(P_MAX_RPM, rec.MaxRPMCode),
        sUpdate(P_STEP_MIN, rec.StepPosMin),    sUpdate(P_STEP_MAX, rec.StepPosMax),
        sUpdate(P_STEP_H0, rec.StepPosH0),      sUpdate(P_STEP_H1, rec.StepPosH1),
        sUpdate(P_STEP_H2, rec.StepPosH2),
    };
    if (withCounts) {
        out.emplace_back(P_CYL_COUNT, rec.CylCount);
        out.emplace_back(P_COIL_COUNT, rec.CoilCount);
    }
    out.emplace_back(P_LEVEL_TYPE, rec.LPGLevType);
    return out;
}

uint8_t OldWriteValue(const sSettings& rec, int version, int param) {
    if (param == P_TPS) return rec.TPSSwitchLevel;
    int pos = ParamPosition(version, param);
    if (pos < 0) return 0;
    uint8_t value = rec[pos];
    if ((param == P_MIN_RPM || param == P_MAX_RPM) && RpmDoubled(version)) value = uint8_t(value << 1);  // 8 bits
    return value;
}

}  // namespace Ecu

namespace Conv {

int PeriodToRpm(int code) { return code > 0 ? RPM_PERIOD_CONSTANT / code : 0; }

int RpmToPeriod(int rpm) {
    if (rpm <= 0) return 0;
    return std::min(255, RPM_PERIOD_CONSTANT / rpm);
}

bool TpsFalling(const sSettings& s) { return s.TPSSwitchLevel < s.TPSClosedLevel; }

uint8_t TpsParamValue(const sSettings& s) {
    if (s.TPSType == 0) return 1;
    return TpsFalling(s) ? uint8_t(s.TPSSwitchLevel & ~1u) : uint8_t(s.TPSSwitchLevel | 1u);
}

void ApplyTpsDirection(sSettings& s) {
    if (s.TPSType == 0) {
        s.TPSSwitchLevel = 1;
        s.TPSClosedLevel = 0;
    } else {
        s.TPSSwitchLevel = TpsParamValue(s);
    }
}

void RebuildTps(sSettings& s, uint8_t v) {
    s.TPSSwitchLevel = v;
    s.TPSClosedLevel = (v & 1) ? 0 : 255;
    s.TPSType = v == 1 ? 0 : 1;
}

double RawToVolts(int raw) { return raw / 51.0; }

double TpsPercent(int raw, bool falling) { return (falling ? 255 - raw : raw) * 100.0 / 255; }

std::optional<int> LambdaValue(int r, int version, int lambdaType) {
    if (Ecu::NewProtocol(version)) return r;
    switch (lambdaType) {
    case 0: return r - 6;
    case 1: return r * 255 / 63;
    case 2: return (56 - r) * 51 / 49;
    case 3: return (64 - r) * 255 / 63;
    case 4: return r + 30;
    case 5: return r;
    default: return std::nullopt;
    }
}

void LambdaRange(int lambdaType, double& lo, double& hi) {
    switch (lambdaType) {
    case 0:
    case 2:
        lo = 0.0;
        hi = 1.0;
        break;
    case 1:
    case 3:
    case 8:
        lo = 0.0;
        hi = 5.0;
        break;
    case 4:
        lo = 0.8;
        hi = 1.6;
        break;
    default: break;  // other types keep the range they had
    }
}

double ClampLambdaVolts(double volts, int lambdaType) {
    double lo = -std::numeric_limits<double>::infinity(), hi = std::numeric_limits<double>::infinity();
    LambdaRange(lambdaType, lo, hi);
    return std::clamp(volts, lo, hi);
}

double LambdaVolts(int value, int lambdaType) { return ClampLambdaVolts(float(RawToVolts(value)), lambdaType); }

int LevelIndex(int r, int version) {
    if (Ecu::LevelIndexDirect(version)) return int(int8_t(uint8_t(r)));
    return (6 - ((r & 0xFF) >> 5)) & 7;
}

const char* LevelLampPattern(int index) {
    static const char* const patterns[8] = {"100000", "100000", "010000", "011000",
                                            "011100", "011110", "011111", "011111"};
    if (index < 0 || index > 7) return "000000";
    return patterns[index];
}

}  // namespace Conv
