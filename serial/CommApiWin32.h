// Windows only: the system calls cComPort makes on a COM port, through one
// table, so that a test can put a device of its own behind them (wine has no
// COM ports, and no adapter can be pulled on cue). The program never changes
// the table.
#pragma once

#include <windows.h>

struct sCommApi {
    decltype(&::CreateFileW) CreateFile = ::CreateFileW;
    decltype(&::GetFileType) GetFileType = ::GetFileType;
    decltype(&::GetCommState) GetCommState = ::GetCommState;
    decltype(&::SetCommState) SetCommState = ::SetCommState;
    decltype(&::GetCommTimeouts) GetCommTimeouts = ::GetCommTimeouts;
    decltype(&::SetCommTimeouts) SetCommTimeouts = ::SetCommTimeouts;
    decltype(&::SetupComm) SetupComm = ::SetupComm;
    decltype(&::ClearCommError) ClearCommError = ::ClearCommError;
    decltype(&::PurgeComm) PurgeComm = ::PurgeComm;
    decltype(&::ReadFile) ReadFile = ::ReadFile;
    decltype(&::WriteFile) WriteFile = ::WriteFile;
    decltype(&::FlushFileBuffers) FlushFileBuffers = ::FlushFileBuffers;
    decltype(&::CloseHandle) CloseHandle = ::CloseHandle;
};

// The table in use: the system's own unless a test put another in.
sCommApi& CommApi();
