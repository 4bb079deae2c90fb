// Windows only: the COM ports of a registry key laid out as the system's
// table of serial devices (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value per
// port, its data the port's name). cComPort::EnumeratePorts reads that key;
// tests read a key of their own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The names in the order the key lists them (not sorted); empty when the key
// is not there (a machine without serial ports).
std::vector<std::string> SerialCommPorts(HKEY root, const wchar_t* subKey);
