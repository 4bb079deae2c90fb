// The Windows COM port as the drivers behave, on a device of the test's own
// behind the port's system calls (wine has no COM ports, and no adapter can
// be pulled on cue): a line error is cleared and counts as nothing read or
// written; an abort that no line error explains (a USB adapter pulled out),
// a ClearCommError that fails and any other error fail the port, so that the
// link opens it again; queue sizes the driver refuses do not stop the port.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "core/Error.h"

#include "serial/ComPort.h"
#include "serial/CommApiWin32.h"

namespace {

struct sDevice {
    DWORD ReadError = 0;   // ReadFile fails with this; 0: a byte comes
    DWORD WriteError = 0;  // WriteFile fails with this; 0: the byte goes
    DWORD LineErrors = 0;  // what the next ClearCommError reports (and clears)
    bool ClearFails = false;
    bool SetupFails = false;
    int RxPurges = 0, TxPurges = 0;
};
sDevice Device;
HANDLE const kHandle = reinterpret_cast<HANDLE>(intptr_t(0x4242));

// Puts the test's device behind the port's calls for the scope.
class cFakeComm {
public:
    cFakeComm() {
        Device = sDevice{};
        sCommApi& api = CommApi();
        api.CreateFile = [](LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) { return kHandle; };
        api.GetFileType = [](HANDLE) -> DWORD { return FILE_TYPE_CHAR; };
        api.GetCommState = [](HANDLE, LPDCB) -> BOOL { return TRUE; };
        api.SetCommState = [](HANDLE, LPDCB) -> BOOL { return TRUE; };
        api.GetCommTimeouts = [](HANDLE, LPCOMMTIMEOUTS) -> BOOL { return TRUE; };
        api.SetCommTimeouts = [](HANDLE, LPCOMMTIMEOUTS) -> BOOL { return TRUE; };
        api.SetupComm = [](HANDLE, DWORD, DWORD) -> BOOL {
            if (!Device.SetupFails) return TRUE;
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        };
        api.ClearCommError = [](HANDLE, LPDWORD errors, LPCOMSTAT status) -> BOOL {
            if (Device.ClearFails) {
                SetLastError(ERROR_BAD_COMMAND);
                return FALSE;
            }
            if (errors) *errors = Device.LineErrors;
            Device.LineErrors = 0;
            if (status) *status = COMSTAT{};
            return TRUE;
        };
        api.PurgeComm = [](HANDLE, DWORD flags) -> BOOL {
            if (flags & PURGE_RXCLEAR) ++Device.RxPurges;
            if (flags & PURGE_TXCLEAR) ++Device.TxPurges;
            return TRUE;
        };
        api.ReadFile = [](HANDLE, LPVOID buffer, DWORD, LPDWORD got, LPOVERLAPPED) -> BOOL {
            *got = 0;
            if (Device.ReadError) {
                SetLastError(Device.ReadError);
                return FALSE;
            }
            *static_cast<uint8_t*>(buffer) = 0x55;
            *got = 1;
            return TRUE;
        };
        api.WriteFile = [](HANDLE, LPCVOID, DWORD, LPDWORD put, LPOVERLAPPED) -> BOOL {
            *put = 0;
            if (Device.WriteError) {
                SetLastError(Device.WriteError);
                return FALSE;
            }
            *put = 1;
            return TRUE;
        };
        api.FlushFileBuffers = [](HANDLE) -> BOOL { return TRUE; };
        api.CloseHandle = [](HANDLE) -> BOOL { return TRUE; };
    }
    ~cFakeComm() { CommApi() = sCommApi{}; }
};

}  // namespace

TEST(ComPortWin32, AbortsAndErrorsAsTheDriversGiveThem) {
    struct sCase {
        const char* What;
        bool Write;
        DWORD Error;
        DWORD LineErrors;
        bool ClearFails;
        bool PortFails;
    };
    const sCase cases[] = {
        {"read: a framing error", false, ERROR_OPERATION_ABORTED, CE_FRAME, false, false},
        {"read: an overrun", false, ERROR_OPERATION_ABORTED, CE_OVERRUN, false, false},
        {"read: an abort no line error explains", false, ERROR_OPERATION_ABORTED, 0, false, true},
        {"read: ClearCommError fails as well", false, ERROR_OPERATION_ABORTED, CE_FRAME, true, true},
        {"read: the device is gone", false, ERROR_BAD_COMMAND, 0, false, true},
        {"write: a parity error", true, ERROR_OPERATION_ABORTED, CE_RXPARITY, false, false},
        {"write: an abort no line error explains", true, ERROR_OPERATION_ABORTED, 0, false, true},
        {"write: ClearCommError fails as well", true, ERROR_OPERATION_ABORTED, CE_FRAME, true, true},
        {"write: the device is gone", true, ERROR_GEN_FAILURE, 0, false, true},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.What);
        const cFakeComm fake;
        cComPort port;
        port.Open("COM7");
        ASSERT_TRUE(port.IsOpen());
        ASSERT_TRUE(port.WriteByte(0x11));  // something written: the output is the port's own
        const int rxPurges = Device.RxPurges, txPurges = Device.TxPurges;
        (c.Write ? Device.WriteError : Device.ReadError) = c.Error;
        Device.LineErrors = c.LineErrors;
        Device.ClearFails = c.ClearFails;
        bool result = true, threw = false;
        try {
            uint8_t b = 0;
            result = c.Write ? port.WriteByte(0x12) : port.ReadByte(b);
        } catch (const sError&) {
            threw = true;
        }
        EXPECT_EQ(threw, c.PortFails);
        EXPECT_EQ(port.HasFailed(), c.PortFails);
        if (!c.PortFails) {
            EXPECT_FALSE(result) << "counted as read or sent";
            EXPECT_EQ(c.Write ? Device.TxPurges - txPurges : Device.RxPurges - rxPurges, 1);
            // The line error is cleared: the next call goes through.
            (c.Write ? Device.WriteError : Device.ReadError) = 0;
            uint8_t b = 0;
            EXPECT_TRUE(c.Write ? port.WriteByte(0x13) : port.ReadByte(b));
        }
        Device.ClearFails = false;
        port.Close();
    }
}

// Purging asks the driver for its errors first: one that cannot answer is
// gone, and the port fails.
TEST(ComPortWin32, APurgeOnADeviceThatCannotSayItsErrorsFailsThePort) {
    const cFakeComm fake;
    cComPort port;
    port.Open("COM7");
    Device.ClearFails = true;
    EXPECT_THROW(port.ClearAndPurgeRx(), sError);
    EXPECT_TRUE(port.HasFailed());
    Device.ClearFails = false;
    port.Close();
}

// Queue sizes are advice: a driver that refuses them still serves.
TEST(ComPortWin32, RefusedQueueSizesDoNotStopThePort) {
    const cFakeComm fake;
    cComPort port;
    port.Open("COM7");
    Device.SetupFails = true;
    EXPECT_NO_THROW(port.SetQueueSizes(16, 0));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_FALSE(port.HasFailed());
    uint8_t b = 0;
    EXPECT_TRUE(port.ReadByte(b));
    port.Close();
}
