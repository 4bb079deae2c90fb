// zvbasic.ini reader: any file content is read without a fault; the words it
// takes hold no white space; what it read survives a save and a new read
// (but for a port name with control characters, which is left out).
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/Ini.h"

#include "fuzz/FuzzKit.h"

namespace {
bool IsSpaceOrNul(char c) { return c == '\0' || c == ' ' || (c >= '\t' && c <= '\r'); }
// A port name with control characters is never written: it could plant a
// line of its own or come back different.
bool IsPrintable(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}
bool IsWord(const std::string& s) {
    for (char c : s)
        if (IsSpaceOrNul(c)) return false;
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzkit::cMemFile file("zvbasic.ini");
    static const std::string dir = [] {
        // On a memory file system where there is one: the save syncs its file.
        char tmpl[] = "/dev/shm/zvfuzz-ini.XXXXXX";
        if (::access("/dev/shm", W_OK) != 0) std::strcpy(tmpl, "/tmp/zvfuzz-ini.XXXXXX");
        if (!::mkdtemp(tmpl)) std::abort();
        return std::string(tmpl);
    }();

    cIni ini;
    const bool recognised = ini.Load(file.Set(data, size));
    FUZZ_CHECK(IsWord(ini.Port));
    FUZZ_CHECK(IsWord(ini.Language));
    if (recognised) FUZZ_CHECK(!ini.Port.empty() || !ini.Language.empty() || ini.Enabled);

    // Saved and read again, the same fields come back, as long as the saved
    // text fits the reader's buffer. A save creates, syncs and renames a
    // file, a hundred times the cost of a read: one input in sixteen, chosen
    // by its length, is saved.
    const size_t saved = 5 + ini.Port.size() + 2 + 10 + ini.Language.size() + 2 + (ini.Enabled ? 7 : 0);
    if (size % 16 == 0 && saved < SettingsReadLimit) {
        const std::string path = dir + "/zvbasic.ini";
        FUZZ_CHECK(ini.Save(path));
        cIni again;
        again.Load(path);
        FUZZ_CHECK(again.Port == (IsPrintable(ini.Port) ? ini.Port : std::string()));
        FUZZ_CHECK(again.Language == ini.Language);
        FUZZ_CHECK(again.Enabled == ini.Enabled);
    }
    return 0;
}
