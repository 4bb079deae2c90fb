#include <windows.h>
// After windows.h, which it needs:
#include <shellapi.h>

#include "core/CommandLine.h"
#include "core/Utf16Win32.h"

namespace CommandLine {

std::vector<std::string> Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return {argv, argv + argc};
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(Utf16::Narrow(wide[i]));
    LocalFree(wide);
    return out;
}

}  // namespace CommandLine
