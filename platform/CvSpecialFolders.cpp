#include "platform/CvSpecialFolders.h"

#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace CvSpecialFolders {

std::string ExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string AppDataFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') {
        return dataHome;
    }
    std::string home;
    if (const char* env = std::getenv("HOME"); env != nullptr && env[0] == '/') {
        home = env;
    } else {
        std::vector<char> buffer(16384);
        passwd entry{};
        passwd* found = nullptr;
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
            home = found->pw_dir;
        }
    }
    if (home.empty()) {
        return {};
    }
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return (home == "/" ? std::string() : home) + "/.local/share";
}

}  // namespace CvSpecialFolders
