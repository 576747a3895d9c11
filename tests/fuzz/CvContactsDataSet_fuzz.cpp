// Fuzzes the import of the earlier version's contact file: any bytes (UTF-8
// or a Windows ANSI code page) load without failing, one row per line, each
// with a type of 1 or 2.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "storage/CvContactsDataSet.h"

namespace {

std::string TempPath() {
    static const std::string path = [] {
        char pattern[] = "/tmp/corvane-contacts-fuzz-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) {
            close(fd);
        }
        return std::string(pattern);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = TempPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) {
        return 0;
    }
    CvContactsDataSet contacts;
    if (!contacts.Load(path)) {
        __builtin_trap();  // the file is there and readable
    }
    for (int row = 0; row <= contacts.GetLastIndex(); ++row) {
        const int64_t type = contacts.ReadValue(row, u"Type").AsInteger();
        if (type != 1 && type != 2) {
            __builtin_trap();
        }
        (void)contacts.ReadValue(row, u"DisplayName");
    }
    // Not more rows than lines (a last line without a line break counts).
    const auto lines = static_cast<int>(std::count(data, data + size, '\n')) + 1;
    if (contacts.GetLastIndex() + 1 > lines) {
        __builtin_trap();
    }
    return 0;
}
