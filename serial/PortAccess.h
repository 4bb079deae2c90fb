// The advice given when a serial device refuses the user: on Linux, serial
// devices belong to a group (dialout on Debian), and only its members may
// open them. Shared by every program that opens a port.
#pragma once

#include <string>

// The group that owns the device `port` (following links), by name;
// "dialout" when the device cannot be examined, its group has no name, may
// not read and write it, or is root's group (membership would not help).
std::string PortGroup(const std::string& port);

// For an open that failed with `errorCode` (an errno value): EACCES or EPERM
// give the translated advice to join the port's group and log in again,
// EBUSY the translated note that another program holds the port, without a
// line end at the close; any other code gives an empty text.
std::string PortPermissionHint(const std::string& port, int errorCode);
