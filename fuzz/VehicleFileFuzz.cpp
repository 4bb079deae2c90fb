// Vehicle settings file reader: any content is read without a fault, the
// file and the in-memory reader agree, the spare byte is never touched, and
// what was read is written and read back unchanged.
#include "formats/VehicleFile.h"

#include "fuzz/FuzzKit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzkit::cMemFile file("vehicle.zv2");

    sSettings fromFile;
    fromFile.Reserved15 = 0x5A;
    FUZZ_CHECK(VehicleFile::Read(file.Set(data, size), fromFile));
    FUZZ_CHECK(fromFile.Reserved15 == 0x5A);

    sSettings fromText;
    fromText.Reserved15 = 0x5A;
    VehicleFile::Parse(std::string(reinterpret_cast<const char*>(data), size), fromText);
    FUZZ_CHECK(fromText == fromFile);

    const std::string text = VehicleFile::Format(fromFile);
    sSettings again;
    again.Reserved15 = 0x5A;
    VehicleFile::Parse(text, again);
    FUZZ_CHECK(again == fromFile);
    return 0;
}
