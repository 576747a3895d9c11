#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/CvSettingStorage.h"
#include "platform/CvRegistryHive.h"

// Setting storage on one key of a registry hive. Nothing can be read or
// written until OpenKey succeeds; a key opened read-only refuses writes.
class CvRegistry : public CvSettingStorage {
public:
    explicit CvRegistry(CvHive root);

    // Opens `path` and makes it the open key. A path that starts with a
    // backslash is taken from the root of the hive; any other non-empty path
    // lies below the key open now (below the root when none is); an empty path
    // reopens the current key. With `create` a missing key is created, which
    // needs write access. `writable` fails when this process cannot write the
    // hive. On failure the open key stays as it was.
    bool OpenKey(const std::string& path, bool create, bool writable);
    // The open key's path from the hive root, if any.
    const std::optional<std::string>& OpenedKey() const { return m_openKey; }

    bool ValueExists(const std::string& name) override;
    bool TryReadString(const std::string& name, std::string& text) override;
    std::string ReadString(const std::string& name) override;
    bool TryReadInt(const std::string& name, int32_t& value) override;
    int32_t ReadInt(const std::string& name) override;
    bool WriteString(const std::string& name, const std::string& text) override;
    bool WriteInt(const std::string& name, int32_t value) override;
    bool DeleteValue(const std::string& name) override;

private:
    std::optional<CvRegValue> Read(const std::string& name) const;
    bool Write(const std::string& name, const CvRegValue& value);

    CvRegistryHive m_hive;
    std::optional<std::string> m_openKey;
    bool m_writable = false;
};
