#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/CvSettingStorage.h"
#include "platform/CvElevatedWriter.h"

// A write-only storage on a key of HKEY_LOCAL_MACHINE, written through the
// elevated writer with administrator rights (the all-users autostart entry
// when the program itself may not write the machine hive). Reads report
// nothing stored: every value exists, texts are empty, numbers 0.
class CvElevatedRegistry : public CvSettingStorage {
public:
    // Asks for the elevated writer (the user is asked to consent); check
    // HasWriter() afterwards. `keyPath` may start with a backslash.
    explicit CvElevatedRegistry(std::string keyPath);
    // Uses the given writer (null: every write fails).
    CvElevatedRegistry(std::string keyPath, std::unique_ptr<CvElevatedWriter> writer);

    bool HasWriter() const { return m_writer != nullptr; }
    const std::string& KeyPath() const { return m_keyPath; }

    bool ValueExists(const std::string& name) override;
    bool TryReadString(const std::string& name, std::string& text) override;
    std::string ReadString(const std::string& name) override;
    bool TryReadInt(const std::string& name, int32_t& value) override;
    int32_t ReadInt(const std::string& name) override;
    bool WriteString(const std::string& name, const std::string& text) override;
    bool WriteInt(const std::string& name, int32_t value) override;
    bool DeleteValue(const std::string& name) override;

private:
    std::string m_keyPath;
    std::unique_ptr<CvElevatedWriter> m_writer;
};
