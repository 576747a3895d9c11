#pragma once

#include <cstdint>
#include <string>

// A place where named setting values are kept (a registry key or an INI
// section). Writes return whether the value was stored.
class CvSettingStorage {
public:
    virtual bool ValueExists(const std::string& name) = 0;
    // False (text untouched) when the value is missing or not text.
    virtual bool TryReadString(const std::string& name, std::string& text) = 0;
    // "" when missing.
    virtual std::string ReadString(const std::string& name) = 0;
    // False (value untouched) when the value is missing or not a number.
    virtual bool TryReadInt(const std::string& name, int32_t& value) = 0;
    // 0 when missing.
    virtual int32_t ReadInt(const std::string& name) = 0;
    virtual bool WriteString(const std::string& name, const std::string& text) = 0;
    virtual bool WriteInt(const std::string& name, int32_t value) = 0;
    // False when the value did not exist, could not be deleted, or the
    // storage cannot delete.
    virtual bool DeleteValue(const std::string& name) = 0;
    virtual ~CvSettingStorage() = default;
};
