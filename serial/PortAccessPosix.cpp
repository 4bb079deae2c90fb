#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/Translate.h"

#include "serial/PortAccess.h"

std::string PortGroup(const std::string& port) {
    const std::string fallback = "dialout";
    struct stat st {};
    if (port.empty() || ::stat(port.c_str(), &st) != 0 || st.st_gid == 0) return fallback;
    // A group that may not both read and write the device is no help
    // (a pseudo-terminal's group tty may only write to it).
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return fallback;
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? size_t(size) : 4096);
    struct group entry {};
    struct group* found = nullptr;
    for (;;) {
        int rc = ::getgrgid_r(st.st_gid, &entry, buf.data(), buf.size(), &found);
        if (rc == ERANGE && buf.size() < (1u << 20)) {
            buf.resize(buf.size() * 2);
            continue;
        }
        if (rc != 0 || !found || !found->gr_name || !*found->gr_name) return fallback;
        return found->gr_name;
    }
}

std::string PortPermissionHint(const std::string& port, int errorCode) {
    if (errorCode == EBUSY) return _("The port is in use by another program.");
    if (errorCode != EACCES && errorCode != EPERM) return {};
    const std::string group = PortGroup(port);
    return Translate::Format(_("Access denied: the user must be a member of the group %s."), group.c_str()) + "\n" +
           Translate::Format(_("Run: sudo adduser $USER %s\nthen log out and log in again."), group.c_str());
}
