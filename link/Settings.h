// The ECU's settings record, its three process-wide instances, the version
// thresholds, the parameter maps and the conversions every screen shares.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/Protocol.h"  // the live value numbers (eLive)

struct sSettings {
    uint8_t LambdaType = 0;        // 0..4, 8 = no sensor
    uint8_t TPSSwitchLevel = 101;  // raw 0..255, bit 0 = direction, 1 = no TPS
    uint8_t TPSClosedLevel = 51;
    uint8_t TPSType = 1;      // 0 not connected, 1 linear
    uint8_t MinRPMCode = 27;  // period code, 2000 rpm
    uint8_t MaxRPMCode = 9;   // period code, 6000 rpm; 0 = inactive
    uint8_t StepPosMin = 50;
    uint8_t StepPosMax = 150;
    uint8_t StepPosH0 = 100;
    uint8_t StepPosH1 = 90;
    uint8_t StepPosH2 = 80;
    uint8_t RPMDiv = 1;
    uint8_t LPGLevType = 1;
    uint8_t CylCount = 4;
    uint8_t CoilCount = 1;
    uint8_t Reserved15 = 1;

    uint8_t& operator[](int pos) { return reinterpret_cast<uint8_t*>(this)[pos]; }
    uint8_t operator[](int pos) const { return reinterpret_cast<const uint8_t*>(this)[pos]; }
    bool operator==(const sSettings&) const = default;
};
static_assert(sizeof(sSettings) == 16, "the settings record is 16 bytes");

// The three process-wide instances. The screens and the file loader change
// WorkSettings; the link fills the other two, and only inside a synchronous
// call on the user-interface thread, so each whole-record copy appears to the
// screens as one step.
extern sSettings WorkSettings;
extern sSettings EcuSettings;
extern sSettings IncomingSettings;

// True when WorkSettings and EcuSettings differ in any byte.
bool SettingsChanged();

// A read of the same ECU that the link made by itself after a reconnection,
// while the program held unsaved edits (the positions where `work` differs
// from `ecu`): the edits stay in `work`, its other positions take the ECU's
// values, and `ecu` becomes what was read. An edited position that the ECU
// now reports with the edited value keeps its old value in `ecu`: the ECU may
// hold the value (a single update, a write cut short) without having stored
// it, so it still counts as changed.
void KeepEditsOverRead(sSettings& work, sSettings& ecu, const sSettings& read);

namespace Ecu {
// After a reconnection: could the ECU that now reports `read` be the one the
// program last read `ecu` from, the fitter's unsaved edits being `work`?
// Every position must read as before, or, where it was edited, as edited
// (a single update the ECU took but did not store).
bool SameVehicle(const sSettings& work, const sSettings& ecu, const sSettings& read);
}  // namespace Ecu

// A queued single-setting change: parameter number in the low byte, value in
// the high byte.
struct sUpdate {
    uint16_t Raw = 0;
    sUpdate() = default;
    explicit sUpdate(uint16_t raw) : Raw(raw) {}
    sUpdate(uint8_t param, uint8_t value) : Raw(uint16_t(param | (value << 8))) {}
    uint8_t Param() const { return uint8_t(Raw & 0xFF); }
    uint8_t Value() const { return uint8_t(Raw >> 8); }
};

// Version thresholds.
namespace Ecu {
inline bool RpmDoubled(int v) { return v < 25; }
inline bool FastPacing(int v) { return v >= 32; }
inline bool HasLevelSensor(int v) { return v > 22; }
inline bool NewProtocol(int v) { return v >= 48; }
inline bool HasEmergencyPetrol(int v) { return v >= 49; }
inline bool LevelIndexDirect(int v) { return v > 51; }
inline bool SixLevelTypes(int v) { return v > 54; }
inline bool LevelFilterOption(int v) { return v > 56; }
// The ECU type, "ZORVA Basic" below version 48 and "ZORVA Basic +" from 48:
// the catalogue key, which the screens translate before showing it.
const char* TypeName(int v);
// A version byte shown as high nibble, point, low nibble: 0x25 -> "2.5".
std::string NibbleText(int byte);

// Pause before each transmitted byte, in milliseconds.
inline int BytePauseMs(int v) { return FastPacing(v) ? 10 : 50; }

// Parameter counts of a whole read and an old-protocol write.
int ReadCount(int v);
int OldWriteCount(int v);  // 10 or 11

// Stores the reply to read command ReadCommand(param) into rec by the parameter map of
// the generation (parameter 1 rebuilds positions 1..3, 2 and 3 are halved
// below version 25). Unused parameters change nothing.
void StoreReadParam(sSettings& rec, int version, int param, uint8_t value);
// The value an old-protocol write sends for a parameter (after the direction
// rule has been applied to rec; 2 and 3 doubled in 8 bits below version 25).
uint8_t OldWriteValue(const sSettings& rec, int version, int param);

// Record position of a parameter for the generation, or -1 when unused.
int ParamPosition(int version, int param);

// The single updates (new protocol) that bring an ECU holding `have` to
// `want`, in parameter order; parameter 1 goes as the throttle direction
// rule gives it. The read-only parameter is never sent.
std::vector<sUpdate> UpdatesBetween(const sSettings& want, const sSettings& have);

// The twelve single updates (new protocol) that carry a whole record to an
// ECU, in sending order (parameter 12 last); parameter 1 goes as the
// throttle direction rule gives it. Without `withCounts` the cylinder and
// coil counts are left out (a record from a file that does not hold them).
std::vector<sUpdate> RecordUpdates(const sSettings& rec, bool withCounts = true);

// The update that makes an ECU of version 48 or above restore its factory
// settings: the command parameter P_COMMAND with the value FACTORY_SETTINGS.
sUpdate FactorySettingsUpdate();
// The identity as the main screen shows it: identity version, a slash, ECU
// version, each as nibbles ("2.5/3.0").
std::string VersionCaption(int idVersion, int version);
}  // namespace Ecu

constexpr int RPM_PERIOD_CONSTANT = 54000;

namespace Conv {
// rpm = 54000 / code, 0 when code is 0.
int PeriodToRpm(int code);
// code = 54000 / rpm, clamped to 0..255; 0 when rpm is 0 or less.
int RpmToPeriod(int rpm);
// Throttle direction rule: the value sent for parameter 1.
uint8_t TpsParamValue(const sSettings& s);
// Applies the rule to the record itself (before an old-protocol write).
void ApplyTpsDirection(sSettings& s);
// Rebuilds positions 1..3 from a parameter 1 value coming back from the ECU.
void RebuildTps(sSettings& s, uint8_t v);
// True when the throttle sensor is falling (switch level below closed level).
bool TpsFalling(const sSettings& s);
// Throttle raw to volts (raw / 51).
double RawToVolts(int raw);
// Throttle raw to percent of opening by the direction rule: raw * 100 / 255
// for a rising sensor, (255 - raw) * 100 / 255 for a falling one. The
// switching level is drawn on the same scale.
double TpsPercent(int raw, bool falling);
// Live lambda: converts raw r for the ECU version and lambda type; nullopt
// when the value is not used (no sensor below version 48).
std::optional<int> LambdaValue(int r, int version, int lambdaType);
// Lambda volts clamped by lambda type (types 0 and 2 to 0..1 V, 1, 3 and 8
// to 0..5 V, 4 to 0.8..1.6 V); other types are not clamped.
double ClampLambdaVolts(double volts, int lambdaType);
// Volts of a lambda value (value / 51 at single precision) clamped by type.
double LambdaVolts(int value, int lambdaType);
// Axis range of the lambda trace in volts, by lambda type.
void LambdaRange(int lambdaType, double& lo, double& hi);
// Live LPG level index: above version 51 the raw byte as a signed 8-bit
// number, otherwise (6 - (r >> 5)) mod 8.
int LevelIndex(int r, int version);
// The six lamps (reserve, level 1..5) for a level index: "100000" ...
// "011111", "000000" for an index outside 0..7.
const char* LevelLampPattern(int index);

// Takes live value k (raw r, as the link reports it) into `sample`, a record
// with the members TPSVolts, LambdaVolts (float), RPM and ValvePos (int):
// the throttle as volts, the engine speed as rpm, the valve position, the
// lambda as volts clamped by the lambda type (a lambda that is not used keeps
// the last one, clamped again). Other values change nothing. Returns the
// lambda volts before the clamp, which the visualisation screen shows (for
// other k, the sample's lambda volts).
template <class tSample>
float TakeLiveValue(tSample& sample, int k, int r, int ecuVersion, int lambdaType) {
    switch (k) {
    case LiveTPS: sample.TPSVolts = float(RawToVolts(r)); break;
    case LiveRPM: sample.RPM = PeriodToRpm(r); break;
    case LiveStepper: sample.ValvePos = r; break;
    case LiveLambda: {
        if (const std::optional<int> value = LambdaValue(r, ecuVersion, lambdaType))
            sample.LambdaVolts = float(RawToVolts(*value));
        const float shown = sample.LambdaVolts;
        sample.LambdaVolts = float(ClampLambdaVolts(sample.LambdaVolts, lambdaType));
        return shown;
    }
    default: break;
    }
    return sample.LambdaVolts;
}
}  // namespace Conv
