#include "platform/CvStationNames.h"

#include <cstdlib>
#include <fstream>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "platform/CvTextCodec.h"

namespace {

// A NetBIOS name has room for 15 characters before its suffix.
constexpr size_t kMaxNetbiosName = 15;

std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Samba ignores case and white space in parameter names ("Work Group").
std::string NormalisedKey(const std::string& key) {
    std::string result;
    for (char c : key) {
        if (c == ' ' || c == '\t') {
            continue;
        }
        result += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return result;
}

std::string LoginName() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_name != nullptr && *found->pw_name != '\0') {
        return found->pw_name;
    }
    for (const char* name : {"USER", "LOGNAME"}) {
        if (auto value = Variable(name)) {
            return *value;
        }
    }
    return std::string();
}

}  // namespace

namespace CvStationNames {

std::string ComputerNameFromHost(const std::string& hostName) {
    const std::string shortName = hostName.substr(0, hostName.find('.'));
    return CvText::CutToCodePoints(CvText::UpperCase(shortName), kMaxNetbiosName);
}

std::string ComputerName() {
    if (auto name = Variable("CORVANE_COMPUTER_NAME")) {
        return CvText::CutToCodePoints(CvText::UpperCase(*name), kMaxNetbiosName);
    }
    char hostName[256] = {};
    if (gethostname(hostName, sizeof(hostName) - 1) != 0) {
        return std::string();
    }
    return ComputerNameFromHost(hostName);
}

std::string UserName() {
    if (auto name = Variable("CORVANE_USER_NAME")) {
        return CvText::UpperCase(*name);
    }
    return CvText::UpperCase(LoginName());
}

std::optional<std::string> WorkgroupFromSmbConf(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        return std::nullopt;
    }
    std::optional<std::string> workgroup;
    bool inGlobal = true;  // parameters before the first section are global
    std::string line;
    while (std::getline(file, line)) {
        // A trailing backslash continues the line.
        std::string next;
        while (!line.empty() && Trim(line).ends_with('\\') && std::getline(file, next)) {
            line = Trim(line);
            line.pop_back();
            line += next;
        }
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') {
            continue;
        }
        if (trimmed[0] == '[') {
            const size_t close = trimmed.find(']');
            const std::string section = NormalisedKey(
                trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inGlobal = section == "global";
            continue;
        }
        const size_t equals = trimmed.find('=');
        if (!inGlobal || equals == std::string::npos) {
            continue;
        }
        if (NormalisedKey(trimmed.substr(0, equals)) == "workgroup") {
            const std::string value = Trim(trimmed.substr(equals + 1));
            workgroup = value.empty() ? std::nullopt
                                      : std::optional(CvText::CutToCodePoints(
                                            CvText::UpperCase(value), kMaxNetbiosName));
        }
    }
    return workgroup;
}

std::string Workgroup() {
    if (auto name = Variable("CORVANE_WORKGROUP")) {
        return CvText::CutToCodePoints(CvText::UpperCase(*name), kMaxNetbiosName);
    }
    const std::string path = Variable("CORVANE_SMB_CONF").value_or("/etc/samba/smb.conf");
    return WorkgroupFromSmbConf(path).value_or("WORKGROUP");
}

}  // namespace CvStationNames
