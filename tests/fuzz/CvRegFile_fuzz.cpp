// Fuzzes the registry export reader. A parsed file must serialise to text
// that parses to the same values, a value written must read back, and
// serialising twice must not change the text any more.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/CvRegFile.h"

namespace {

const char* const kKey = "Software\\Corvane Software\\Corvane Messenger\\Options";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CvRegFile file = CvRegFile::Parse(text, CvHive::CurrentUser);
    const std::string once = file.Serialize();
    CvRegFile again = CvRegFile::Parse(once, CvHive::CurrentUser);
    if (again.Serialize() != once) {
        __builtin_trap();
    }
    for (const char* name : {"SoundEnabled", "SysLanguageFile", "a", ""}) {
        const auto before = file.ReadValue(kKey, name);
        const auto after = again.ReadValue(kKey, name);
        if (before.has_value() != after.has_value() || (before && !(*before == *after))) {
            __builtin_trap();
        }
    }
    // Whatever the file held, a written value reads back after a round trip.
    // (Any valid text: bytes above ASCII become '?', controls and NUL stay.)
    std::string value(text.substr(0, 64));
    for (char& c : value) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            c = '?';
        }
    }
    const CvRegValue written = CvRegValue::String(value);
    file.WriteValue(kKey, "FuzzValue", written);
    const auto read =
        CvRegFile::Parse(file.Serialize(), CvHive::CurrentUser).ReadValue(kKey, "FuzzValue");
    if (!read || !(*read == written)) {
        __builtin_trap();
    }
    return 0;
}
