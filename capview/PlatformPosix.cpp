#include <unistd.h>

#include <cerrno>

#include "capview/Platform.h"

namespace ViewerPlatform {

QString PathText(const std::string& path) { return QString::fromLocal8Bit(path.c_str()); }

bool CanShowWindow() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void ChoosePicturePlatform() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

bool WriteStdout(const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(STDOUT_FILENO, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace ViewerPlatform
