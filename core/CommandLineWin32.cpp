#include <windows.h>
// After windows.h, which it needs:
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

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

void UseParentConsole() {
    // A stream redirected by the caller (> file, | more) is a valid handle
    // and stays as it is.
    const auto unconnected = [](DWORD which) {
        const HANDLE h = GetStdHandle(which);
        return h == nullptr || h == INVALID_HANDLE_VALUE || GetFileType(h) == FILE_TYPE_UNKNOWN;
    };
    const bool out = unconnected(STD_OUTPUT_HANDLE), err = unconnected(STD_ERROR_HANDLE);
    if (!(out || err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    // The texts are UTF-8; the console shows them as such, and gets its own
    // code page back when the program ends.
    static UINT saved = GetConsoleOutputCP();
    if (SetConsoleOutputCP(CP_UTF8) && saved != 0) std::atexit([] { SetConsoleOutputCP(saved); });
    if (out && std::freopen("CONOUT$", "w", stdout)) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 14);
    if (err) std::freopen("CONOUT$", "w", stderr);
}

}  // namespace CommandLine
