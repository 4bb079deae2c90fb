// The COM ports from a registry key laid out as the system's table of serial
// devices, listed in the order the Linux build lists its devices.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/Utf16Win32.h"

#include "serial/ComPort.h"
#include "serial/PortNames.h"
#include "serial/SerialCommWin32.h"

#include "tests/windows/WinTestKit.h"

namespace {

const wchar_t* const kKey = L"Software\\ZVBasicTest\\SERIALCOMM";

struct sValue {
    const wchar_t* Name;
    DWORD Type;
    std::wstring Data;
};

// Writes the values into a key of the current user; removed at the end.
class cTestKey {
public:
    explicit cTestKey(const std::vector<sValue>& values) {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\ZVBasicTest");
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != 0) return;
        for (const sValue& v : values) {
            if (v.Type == REG_DWORD) {
                const DWORD number = 5;
                RegSetValueExW(key, v.Name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
            } else {
                RegSetValueExW(key, v.Name, 0, v.Type, reinterpret_cast<const BYTE*>(v.Data.c_str()),
                               DWORD((v.Data.size() + 1) * sizeof(wchar_t)));
            }
        }
        RegCloseKey(key);
    }
    ~cTestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\ZVBasicTest"); }
};

struct sListCase {
    const char* What;
    std::vector<sValue> Values;
    std::vector<std::string> Sorted;
};

class PortListWin32 : public ::testing::TestWithParam<sListCase> {};

TEST_P(PortListWin32, ListsTheNamesSortedByNumber) {
    const cTestKey key(GetParam().Values);
    std::vector<std::string> ports = SerialCommPorts(HKEY_CURRENT_USER, kKey);
    PortNames::Sort(ports);
    EXPECT_EQ(ports, GetParam().Sorted) << GetParam().What;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortListWin32,
    ::testing::Values(sListCase{"COM2 before COM10, whatever the registry's order",
                                {{L"\\Device\\Serial10", REG_SZ, L"COM10"},
                                 {L"\\Device\\Serial2", REG_SZ, L"COM2"},
                                 {L"\\Device\\VCP0", REG_SZ, L"COM5"},
                                 {L"\\Device\\Serial1", REG_SZ, L"COM1"}},
                                {"COM1", "COM2", "COM5", "COM10"}},
                      sListCase{"a value that is no name is no port",
                                {{L"\\Device\\Serial1", REG_SZ, L"COM3"}, {L"\\Device\\Odd", REG_DWORD, L""}},
                                {"COM3"}},
                      sListCase{"an empty name is no port", {{L"\\Device\\Serial1", REG_SZ, L""}}, {}},
                      sListCase{"no values: no ports", {}, {}}));

TEST(PortListWin32Key, MissingKeyListsNothing) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\ZVBasicTest");
    EXPECT_TRUE(SerialCommPorts(HKEY_CURRENT_USER, kKey).empty());
}

TEST(PortListWin32Key, ExtraPortsAreSeparatedBySemicolons) {
    const cWinScopedEnv env("ZVBASIC_PORTS", "COM12;;\\\\.\\CNCA0;COM3");
    const std::vector<std::string> expected = {"\\\\.\\CNCA0", "COM3", "COM4", "COM12"};
    EXPECT_EQ(cComPort::WithExtraPorts({"COM4", "COM3"}), expected);
}

// Opening a port that is not there says so the way the programs' advice
// expects (ENOENT), and leaves the port closed and failed.
TEST(ComPortWin32, MissingPortIsNotFound) {
    cComPort port;
    std::string sunk;
    port.SetNameSink([&](const std::string& name) { sunk = name; });
    EXPECT_THROW(port.Open("COM199"), sError);
    EXPECT_EQ(port.LastOpenError(), ENOENT);
    EXPECT_TRUE(port.HasFailed());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(sunk, "COM199");
    uint8_t byte = 0;
    EXPECT_THROW(port.ReadByte(byte), sError);
}

// A file is no serial port: opened by its path, it is refused.
TEST(ComPortWin32, PlainFileIsRefused) {
    const cWinTempDir dir;
    const std::string file = dir / "not-a-port";
    ASSERT_TRUE(WriteAll(file, "x"));
    cComPort port;
    EXPECT_THROW(port.Open("\\\\?\\" + file), sError);
    EXPECT_FALSE(port.IsOpen());
}

// Port errors carry the system's code, and its text in one line.
TEST(ComPortWin32, ErrorTextIsTheSystemsInOneLine) {
    for (int32_t code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE}) {
        const std::string text = SystemErrorText(code);
        char tail[40];
        std::snprintf(tail, sizeof tail, " (%d = 0x%08X)", code, unsigned(code));
        ASSERT_GT(text.size(), std::strlen(tail)) << code;
        EXPECT_EQ(text.substr(text.size() - std::strlen(tail)), tail);
        EXPECT_EQ(text.find("UNKNOWN ERROR"), std::string::npos) << text;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    }
}

// A German program on an English Windows (or the other way round) shows the
// system's error texts in its own language where Windows has them; a
// language Windows lacks gives the user's own.
TEST(ComPortWin32, ErrorTextsInTheProgramsLanguage) {
    const std::string english = Utf16::ErrorText(ERROR_FILE_NOT_FOUND, "en");
    const std::string user = Utf16::ErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(english.empty());
    EXPECT_EQ(Utf16::ErrorText(ERROR_FILE_NOT_FOUND, "xx"), user);
    for (const char* language : {"de", "pl", "ru"}) {
        const std::string text = Utf16::ErrorText(ERROR_FILE_NOT_FOUND, language);
        EXPECT_FALSE(text.empty()) << language;
        // Windows without that language pack falls back to the user's own.
        if (text != user) {
            EXPECT_NE(text, english) << language;
        }
    }
}

}  // namespace
