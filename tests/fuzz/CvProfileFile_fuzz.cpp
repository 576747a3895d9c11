// Fuzzes the INI reader on files of any content: reading keys, strings and
// numbers must not fail, and a value written into such a file must read back
// while the other keys keep their values.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unicode/unistr.h>

#include "platform/CvProfileFile.h"

namespace {

std::string TempPath() {
    static const std::string path = [] {
        char pattern[] = "/tmp/corvane-ini-fuzz-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) {
            close(fd);
        }
        return std::string(pattern);
    }();
    return path;
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

// Whether `key` names the written key: names compare case folded, so
// "fuzzWritten" is the same key.
bool NamesTheWrittenKey(const std::string& key) {
    return icu::UnicodeString::fromUTF8(key).foldCase().indexOf(
               icu::UnicodeString(u"fuzzwritten")) >= 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = TempPath();
    if (!WriteFile(path, data, size)) {
        return 0;
    }
    const std::vector<std::string> keys = CvProfileFile::ReadKeys(path, "Options");
    std::vector<std::string> values;
    for (const std::string& key : keys) {
        values.push_back(CvProfileFile::ReadString(path, "Options", key, "<none>"));
        (void)CvProfileFile::ReadInt(path, "Options", key, -1);
    }
    if (!CvProfileFile::WriteString(path, "Options", "FuzzWritten", " a value ")) {
        return 0;  // the file could not hold it (its lines are its own business)
    }
    if (CvProfileFile::ReadString(path, "Options", "FuzzWritten", "") != " a value ") {
        __builtin_trap();
    }
    // Keys written before stay as they were (unless one was FuzzWritten).
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!NamesTheWrittenKey(keys[i]) &&
            CvProfileFile::ReadString(path, "Options", keys[i], "<none>") != values[i]) {
            __builtin_trap();
        }
    }
    return 0;
}
