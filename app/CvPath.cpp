#include "app/CvPath.h"

#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>

namespace CvPath {

namespace {

size_t CodePoints(const std::string& text) {
    size_t count = 0;
    for (unsigned char c : text) {
        count += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string ExpandEnvironment(const std::string& text) {
    std::string result;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('%', pos);
        if (open == std::string::npos) {
            break;
        }
        size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            break;
        }
        result.append(text, pos, open - pos);
        const std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value != nullptr) {
            result += value;
            pos = close + 1;
        } else {
            // Left as written; the closing sign may open the next reference.
            result.append(text, open, close - open);
            pos = close;
        }
    }
    result.append(text, pos, std::string::npos);
    return result;
}

std::optional<std::string> Canonicalize(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    std::string result = std::filesystem::path(path).lexically_normal().string();
    if (CodePoints(result) > kMaxPathChars) {
        return std::nullopt;
    }
    return result;
}

std::string Normalize(const std::string& value) {
    auto canonical = Canonicalize(ExpandEnvironment(value));
    return canonical ? *canonical : value;
}

std::string ResolveFileSetting(const std::string& value, const std::string& baseFolder) {
    std::string path = ExpandEnvironment(value);
    if (path.empty() || path.front() != '/') {
        path = baseFolder + "/" + path;
    }
    auto canonical = Canonicalize(path);
    return canonical ? *canonical : path;
}

}  // namespace CvPath
