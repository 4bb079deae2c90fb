// cComPort on a Windows COM port.
//
// The device is opened synchronous and not shared (\\.\COMn, no sharing
// mode), so a second program gets ERROR_ACCESS_DENIED and the port is left as
// it was. Reads and writes are single synchronous ReadFile and WriteFile
// calls bounded by COMMTIMEOUTS: read interval and total constant = the read
// limit, multipliers 1 ms per byte, write constant = the write limit. So no
// call waits longer than the limit + 1 ms, and SignalStop takes effect at the
// latest when the call in progress has returned (ReadByte and WriteByte look
// at the stop event before each call).
//
// Pacing: the link paces its bytes (10 or 50 ms before each one) by waiting
// on its events with a time limit. Windows' default timer tick is 15.6 ms,
// which would stretch a 10 ms pause to about 16 ms; while a port is open the
// system timer runs at 1 ms (timeBeginPeriod(1), given back at Close), so the
// pauses end within about a millisecond of their time.
//
// Line errors: with abort-on-error on, a framing, parity or overrun error
// makes the driver fail every read and write with ERROR_OPERATION_ABORTED
// until ClearCommError: when ClearCommError then names such an error, the
// side concerned is cleared and purged and the call counts as nothing read
// or nothing written (a frame cut there gets no answer, and the link's
// exchange fails as it should). An abort that no line error explains (a USB
// adapter pulled out), a ClearCommError that fails, and every other error
// fail the port, and the link opens it again. The queue sizes of SetupComm
// are only advice to the driver: a driver that refuses them still serves.
//
// Every system call on the port goes through CommApi(), where the tests put
// a device of their own.

#include <windows.h>
// After windows.h, which it needs:
#include <mmsystem.h>

#include <algorithm>
#include <cerrno>

#include "core/Utf16Win32.h"

#include "serial/ComPort.h"
#include "serial/CommApiWin32.h"
#include "serial/SerialCommWin32.h"

const char cComPort::ExtraPortSeparator = ';';

struct cComPort::sSys {
    HANDLE Handle = INVALID_HANDLE_VALUE;
    DCB SavedState{};  // the line settings when the port was opened
    COMMTIMEOUTS SavedTimeouts{};
    bool TimerRaised = false;  // timeBeginPeriod(1) is in force for this port
};

sCommApi& CommApi() {
    static sCommApi api;
    return api;
}

namespace {

// After a call that ended with ERROR_OPERATION_ABORTED: whether a line error
// (that abort-on-error turned into the failure of every call) explains it;
// it is cleared then.
bool LineErrorCleared(HANDLE h) {
    DWORD errors = 0;
    if (!CommApi().ClearCommError(h, &errors, nullptr)) return false;
    return (errors & (CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER | CE_BREAK)) != 0;
}

// The errno value the programs' advice is keyed on (see LastOpenError).
int OpenErrno(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return ENOENT;
    // A COM port that another program holds refuses every further open
    // with access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return EBUSY;
    default: return EIO;
    }
}

// "COM10" and higher can only be opened by their device path; a name that is
// already a path is taken as it is.
std::wstring DevicePath(const std::string& name) {
    if (name.rfind("\\\\", 0) == 0) return Utf16::Widen(name);
    return L"\\\\.\\" + Utf16::Widen(name);
}

}  // namespace

cComPort::cComPort(std::shared_ptr<cWaitHub> hub) : Sys(std::make_unique<sSys>()), StopEvent(std::move(hub)) {}

cComPort::~cComPort() { Close(); }

bool cComPort::IsOpen() const { return Sys->Handle != INVALID_HANDLE_VALUE; }

void cComPort::SignalStop() { StopEvent.Set(); }

void cComPort::Open(const std::string& name) {
    Close();
    Failed = false;
    if (NameSink) NameSink(name);
    SetName(name);

    HANDLE h = CommApi().CreateFile(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0 /* not shared */, nullptr,
                                    OPEN_EXISTING, 0 /* synchronous */, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        OpenError = OpenErrno(err);
        Fail(__LINE__, int32_t(err));
    }
    OpenError = 0;
    // Only a communications device will do: a file or a pipe of that name
    // would take the bytes and never answer.
    DCB state{};
    state.DCBlength = sizeof state;
    COMMTIMEOUTS timeouts{};
    if (CommApi().GetFileType(h) != FILE_TYPE_CHAR || !CommApi().GetCommState(h, &state) ||
        !CommApi().GetCommTimeouts(h, &timeouts)) {
        const DWORD err = GetLastError();
        CommApi().CloseHandle(h);
        Fail(__LINE__, int32_t(err ? err : ERROR_INVALID_HANDLE));
    }
    Sys->Handle = h;
    Sys->SavedState = state;
    Sys->SavedTimeouts = timeouts;
    Sys->TimerRaised = timeBeginPeriod(1) == TIMERR_NOERROR;
    Written = false;
    AbortOnError = false;
    // What came in before is stale. The output side is this handle's own and
    // empty.
    if (!CommApi().PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR)) Fail(__LINE__, int32_t(GetLastError()));
}

void cComPort::Close() {
    if (!IsOpen()) return;
    HANDLE h = Sys->Handle;
    // The bytes written are let go out first (three take 25 ms at 1200
    // baud), for at most a fifth of a second: discarding them would leave the
    // ECU half a frame. Output that is stuck is discarded after that.
    const auto drainEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    for (;;) {
        COMSTAT status{};
        DWORD errors = 0;
        if (!CommApi().ClearCommError(h, &errors, &status) || status.cbOutQue == 0) {
            CommApi().FlushFileBuffers(h);
            break;
        }
        if (std::chrono::steady_clock::now() >= drainEnd) {
            CommApi().PurgeComm(h, PURGE_TXABORT | PURGE_TXCLEAR);
            break;
        }
        Sleep(2);
    }
    CommApi().PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR);
    // The settings the port had before Open; a port that has gone away
    // refuses, and nothing is left to restore then.
    CommApi().SetCommState(h, &Sys->SavedState);
    CommApi().SetCommTimeouts(h, &Sys->SavedTimeouts);
    CommApi().CloseHandle(h);
    Sys->Handle = INVALID_HANDLE_VALUE;
    if (Sys->TimerRaised) timeEndPeriod(1);
    Sys->TimerRaised = false;
    SetName(std::string());
    Failed = false;
    AbortOnError = false;
}

void cComPort::SetBaudRate(int baud) {
    RequireOpen(__LINE__);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!CommApi().GetCommState(Sys->Handle, &dcb)) Fail(__LINE__, int32_t(GetLastError()));
    dcb.BaudRate = DWORD(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.fParity = FALSE;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ErrorChar = char(0xFF);
    if (!CommApi().SetCommState(Sys->Handle, &dcb)) Fail(__LINE__, int32_t(GetLastError()));
    AbortOnError = false;
}

void cComPort::SetAbortOnError(bool on) {
    RequireOpen(__LINE__);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!CommApi().GetCommState(Sys->Handle, &dcb)) Fail(__LINE__, int32_t(GetLastError()));
    dcb.fAbortOnError = on ? TRUE : FALSE;
    if (!CommApi().SetCommState(Sys->Handle, &dcb)) Fail(__LINE__, int32_t(GetLastError()));
    AbortOnError = on;
}

void cComPort::SetTimeouts(int readLimitMs, int writeLimitMs) {
    RequireOpen(__LINE__);
    ReadLimitMs = std::max(readLimitMs, 0);
    WriteLimitMs = std::max(writeLimitMs, 0);
    COMMTIMEOUTS t{};
    if (!CommApi().GetCommTimeouts(Sys->Handle, &t)) Fail(__LINE__, int32_t(GetLastError()));
    // A one-byte transfer waits at most limit + 1 ms. An interval of 0 would
    // mean "no interval limit"; 1 ms is the least there is.
    t.ReadIntervalTimeout = DWORD(std::max(ReadLimitMs, 1));
    t.ReadTotalTimeoutMultiplier = 1;
    t.ReadTotalTimeoutConstant = DWORD(ReadLimitMs);
    t.WriteTotalTimeoutMultiplier = 1;
    t.WriteTotalTimeoutConstant = DWORD(WriteLimitMs);
    if (!CommApi().SetCommTimeouts(Sys->Handle, &t)) Fail(__LINE__, int32_t(GetLastError()));
}

void cComPort::SetQueueSizes(int inSize, int outSize) {
    RequireOpen(__LINE__);
    // Only advice: a driver that refuses it keeps its own sizes and serves.
    CommApi().SetupComm(Sys->Handle, DWORD(std::max(inSize, 0)), DWORD(std::max(outSize, 0)));
}

void cComPort::ClearAndPurgeRx() {
    if (!IsOpen()) return;
    DWORD errors = 0;
    // A device that cannot even say its errors is gone.
    if (!CommApi().ClearCommError(Sys->Handle, &errors, nullptr)) Fail(__LINE__, int32_t(GetLastError()));
    CommApi().PurgeComm(Sys->Handle, PURGE_RXABORT | PURGE_RXCLEAR);
}

void cComPort::ClearAndPurgeTx() {
    if (!IsOpen()) return;
    DWORD errors = 0;
    if (!CommApi().ClearCommError(Sys->Handle, &errors, nullptr)) Fail(__LINE__, int32_t(GetLastError()));
    if (Written) CommApi().PurgeComm(Sys->Handle, PURGE_TXABORT | PURGE_TXCLEAR);
}

bool cComPort::ReadByte(uint8_t& byte) {
    RequireOpen(__LINE__);
    if (IsStopSignalled()) return false;
    uint8_t b = 0;
    DWORD got = 0;
    if (!CommApi().ReadFile(Sys->Handle, &b, 1, &got, nullptr)) {
        const DWORD err = GetLastError();
        if (err == ERROR_OPERATION_ABORTED && LineErrorCleared(Sys->Handle)) {
            CommApi().PurgeComm(Sys->Handle, PURGE_RXABORT | PURGE_RXCLEAR);
            return false;
        }
        // A pulled adapter or a dropped line: the link reopens.
        Fail(__LINE__, int32_t(err));
    }
    if (got != 1) return false;
    byte = b;
    return true;
}

bool cComPort::WriteByte(uint8_t byte) { return Write(byte, false); }

bool cComPort::FinishByte(uint8_t byte) { return Write(byte, true); }

bool cComPort::Write(uint8_t byte, bool despiteStop) {
    RequireOpen(__LINE__);
    if (!despiteStop && IsStopSignalled()) return false;
    DWORD put = 0;
    if (!CommApi().WriteFile(Sys->Handle, &byte, 1, &put, nullptr)) {
        const DWORD err = GetLastError();
        if (err == ERROR_OPERATION_ABORTED && LineErrorCleared(Sys->Handle)) {
            // Not sent: the frame it belonged to is cut.
            if (Written) CommApi().PurgeComm(Sys->Handle, PURGE_TXABORT | PURGE_TXCLEAR);
            return false;
        }
        Fail(__LINE__, int32_t(err));
    }
    Written = true;
    return put == 1;
}

// ---------------------------------------------------------------------------
// Listing the ports

std::vector<std::string> SerialCommPorts(HKEY root, const wchar_t* subKey) {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = DWORD(std::size(valueName));
        DWORD type = 0;
        wchar_t data[256];
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        const LONG rc = RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                      &dataBytes);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;  // too long or not a name: not a port
        std::wstring port(data, dataBytes / sizeof(wchar_t));
        while (!port.empty() && port.back() == L'\0') port.pop_back();
        if (!port.empty()) ports.push_back(Utf16::Narrow(port));
    }
    RegCloseKey(key);
    return ports;
}

std::vector<std::string> cComPort::EnumeratePorts() {
    return WithExtraPorts(SerialCommPorts(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM"));
}

std::vector<std::string> cComPort::EnumeratePorts(const std::string&, const std::string&) { return EnumeratePorts(); }
