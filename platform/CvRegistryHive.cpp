#include "platform/CvRegistryHive.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

#include "platform/CvAtomicFile.h"
#include "platform/CvAutostartEntries.h"
#include "platform/CvRegFile.h"

namespace {

constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

std::string ConfigHome() {
    return EnvOr("XDG_CONFIG_HOME", HomeFolder() + "/.config");
}

CvRegFile Load(const std::string& path, CvHive hive) {
    return CvRegFile::Parse(CvAtomicFile::Read(path).value_or(std::string()), hive);
}

}  // namespace

CvRegistryHive::CvRegistryHive(CvHive hive) : m_hive(hive) {}

std::string CvRegistryHive::FilePath() const {
    if (m_hive == CvHive::CurrentUser) {
        return EnvOr("CORVANE_USER_REGISTRY", ConfigHome() + "/corvane/user.reg");
    }
    return EnvOr("CORVANE_MACHINE_REGISTRY", "/etc/corvane/machine.reg");
}

std::string CvRegistryHive::AutostartFolder() const {
    if (m_hive == CvHive::CurrentUser) {
        return ConfigHome() + "/autostart";
    }
    return EnvOr("CORVANE_MACHINE_AUTOSTART_DIR", "/etc/xdg/autostart");
}

bool CvRegistryHive::IsRunKey(const std::string& keyPath) {
    return CvRegFile::SameName(CvRegFile::NormalizeKeyPath(keyPath), kRunKey);
}

bool CvRegistryHive::KeyExists(const std::string& keyPath) const {
    // The Run key and the keys above it always exist: the autostart folder
    // is a standing part of the desktop.
    const std::string key = CvRegFile::NormalizeKeyPath(keyPath);
    const std::string run = kRunKey;
    if (key.size() <= run.size() &&
        CvRegFile::SameName(key, std::string_view(run).substr(0, key.size())) &&
        (key.size() == run.size() || run[key.size()] == '\\')) {
        return true;
    }
    return Load(FilePath(), m_hive).KeyExists(key);
}

bool CvRegistryHive::CreateKey(const std::string& keyPath) {
    if (!CanWriteKey(keyPath)) {
        return false;
    }
    if (IsRunKey(keyPath)) {
        return true;
    }
    return CvAtomicFile::Update(FilePath(), [&](const std::string& current) {
        CvRegFile file = CvRegFile::Parse(current, m_hive);
        return file.CreateKey(keyPath) ? std::optional(file.Serialize()) : std::nullopt;
    });
}

bool CvRegistryHive::CanWrite() const {
    return CvAtomicFile::CanReplace(FilePath());
}

bool CvRegistryHive::CanWriteKey(const std::string& keyPath) const {
    if (IsRunKey(keyPath)) {
        return CvAutostartEntries(AutostartFolder()).CanWrite();
    }
    return CanWrite();
}

std::optional<CvRegValue> CvRegistryHive::ReadValue(const std::string& keyPath,
                                                    const std::string& name) const {
    if (IsRunKey(keyPath)) {
        const auto text = CvAutostartEntries(AutostartFolder()).Read(name);
        return text ? std::optional(CvRegValue::String(*text)) : std::nullopt;
    }
    return Load(FilePath(), m_hive).ReadValue(keyPath, name);
}

bool CvRegistryHive::WriteValue(const std::string& keyPath, const std::string& name,
                                const CvRegValue& value) {
    if (IsRunKey(keyPath)) {
        return value.kind == CvRegValue::Kind::String &&
               CvAutostartEntries(AutostartFolder()).Write(name, value.text);
    }
    if (!CanWrite()) {
        return false;
    }
    return CvAtomicFile::Update(FilePath(), [&](const std::string& current) {
        CvRegFile file = CvRegFile::Parse(current, m_hive);
        if (file.ReadValue(keyPath, name) == value) {
            return std::optional<std::string>();
        }
        file.WriteValue(keyPath, name, value);
        return std::optional(file.Serialize());
    });
}

bool CvRegistryHive::DeleteValue(const std::string& keyPath, const std::string& name) {
    if (IsRunKey(keyPath)) {
        return CvAutostartEntries(AutostartFolder()).Remove(name);
    }
    if (!CanWrite() || !ReadValue(keyPath, name)) {
        return false;
    }
    bool existed = false;
    const bool written = CvAtomicFile::Update(FilePath(), [&](const std::string& current) {
        CvRegFile file = CvRegFile::Parse(current, m_hive);
        existed = file.DeleteValue(keyPath, name);
        return existed ? std::optional(file.Serialize()) : std::nullopt;
    });
    return written && existed;
}
