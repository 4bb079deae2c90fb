#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "capview/Platform.h"

namespace ViewerPlatform {

QString PathText(const std::string& path) { return QString::fromStdString(path); }

bool CanShowWindow() { return true; }

void ChoosePicturePlatform() {}

bool WriteStdout(const char* data, size_t size) {
    // Bytes as they are: the C run-time's text mode would add a carriage
    // return before every line feed of a picture.
    static const bool binary = _setmode(_fileno(stdout), _O_BINARY) != -1;
    (void)binary;
    std::fflush(stdout);
    size_t done = 0;
    while (done < size) {
        const unsigned chunk = unsigned(std::min<size_t>(size - done, INT_MAX));
        const int n = _write(_fileno(stdout), data + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace ViewerPlatform
