// The ECU's serial protocol in one place: the handshake, the frame bytes,
// the command codes, the parameter numbers of the settings, the live value
// numbers and the values of the command parameter. The link builds its
// frames from these, the screens and the vehicle file name their parameters
// with them.
#pragma once

#include <cstdint>

// Handshake: one byte out, a fixed three-byte answer back.
constexpr uint8_t HANDSHAKE_BYTE = 0x00;
constexpr uint8_t HANDSHAKE_ANSWER[3] = {0xFF, 0x00, 0x00};

// Byte 2 of every command frame and every reply.
constexpr uint8_t FRAME_END = 0xAC;

// Command codes. The high nibble is the class; for writes, reads and live
// values the low nibble is the parameter or live value number.
constexpr uint8_t CMD_WRITE = 0xC0;       // + parameter number, data: the value
constexpr uint8_t CMD_LIVE = 0xD0;        // + live value number
constexpr uint8_t CMD_READ = 0xE0;        // + parameter number
constexpr uint8_t CMD_VERSION = 0xD2;     // reply data: EcuVersion
constexpr uint8_t CMD_ID_VERSION = 0xD4;  // reply data: EcuIdVersion
constexpr uint8_t CMD_CHECK = 0xA5;       // link check
constexpr uint8_t CHECK_ANSWER = 0x5A;    // reply byte 0 to the link check
constexpr uint8_t CMD_STORE = 0x63;       // the ECU keeps the settings it holds
constexpr uint8_t STORE_DATA = 0xB4;      // data byte of the store command and its reply

// The command class of a code (its high nibble, as a code: 0xC0, 0xD0, 0xE0).
constexpr uint8_t CommandClass(uint8_t code) { return uint8_t(code & 0xF0); }
constexpr uint8_t WriteCommand(int param) { return uint8_t(CMD_WRITE + param); }
constexpr uint8_t ReadCommand(int param) { return uint8_t(CMD_READ + param); }
constexpr uint8_t LiveCommand(int k) { return uint8_t(CMD_LIVE + k); }

// Parameter numbers of the settings, as the ECU addresses them. Numbers 9
// and 10 mean different settings in the two protocol generations (below
// version 48 and from 48).
enum eParam : uint8_t {
    P_LAMBDA_TYPE = 0,
    P_TPS = 1,      // TPSSwitchLevel after the throttle direction rule
    P_MIN_RPM = 2,  // period codes, doubled by ECUs below version 25
    P_MAX_RPM = 3,
    P_STEP_MIN = 4,
    P_STEP_MAX = 5,
    P_STEP_H0 = 6,
    P_STEP_H1 = 7,
    P_STEP_H2 = 8,
    P_RPM_DIV = 9,          // old protocol
    P_OLD_LEVEL_TYPE = 10,  // old protocol, from version 23
    P_CYL_COUNT = 9,        // new protocol
    P_COIL_COUNT = 10,      // new protocol
    P_RESERVED = 11,        // new protocol, read only
    P_LEVEL_TYPE = 12,      // new protocol
    P_COMMAND = 15,         // new protocol: a command, not a setting
};

// Values written to P_COMMAND.
enum eCommandValue : uint8_t {
    CONSOLE_COMMAND = 1,   // the visualisation screen's console button
    LEVEL_FILTER_OFF = 2,  // disable the LPG level filter
    FACTORY_SETTINGS = 0xB4,
};

// Live value numbers (the low nibble of CMD_LIVE commands).
enum eLive : int {
    LiveTPS = 1,       // throttle raw
    LiveRPM = 3,       // engine speed period code
    LiveFuel = 5,      // fuel state (eFuelState)
    LiveStepper = 6,   // stepper valve position
    LiveLambda = 7,    // lambda signal
    LiveLPGLevel = 8,  // LPG tank level
};

// The order in which the visualisation poll and the idle poll read them.
constexpr int LIVE_POLL_COUNT = 6;
constexpr int LivePollParams[LIVE_POLL_COUNT] = {LiveTPS, LiveRPM, LiveFuel, LiveLambda, LiveStepper, LiveLPGLevel};

// Values of LiveFuel.
enum eFuelState : int {
    FUEL_GAS_STARTING = 1,  // gas lamp blinking, petrol lamp dark
    FUEL_GAS = 2,           // gas lamp lit, petrol lamp dark
    FUEL_PETROL = 3,        // petrol lamp lit, gas lamp dark
};
