// Windows: a COM port needs no group membership; the one refusal worth
// advice is a port held by another program.
#include <cerrno>

#include "core/Translate.h"

#include "serial/PortAccess.h"

std::string PortGroup(const std::string&) { return {}; }

std::string PortPermissionHint(const std::string&, int errorCode) {
    if (errorCode == EBUSY) return _("The port is in use by another program.");
    return {};
}
