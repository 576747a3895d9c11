#pragma once

#include <cstdint>
#include <string>

#include "app/CvSettingStorage.h"

// Setting storage on one section of an INI file. Texts are cut to 2047
// characters; a value equal to kMissingMarker counts as missing. Values
// cannot be deleted.
class CvIniFile : public CvSettingStorage {
public:
    static constexpr const char* kMissingMarker = "[~!@#$%^&*()_+]";
    static constexpr size_t kMaxTextChars = 2047;

    CvIniFile(std::string path, std::string section);

    const std::string& Path() const { return m_path; }
    const std::string& Section() const { return m_section; }

    bool ValueExists(const std::string& name) override;
    bool TryReadString(const std::string& name, std::string& text) override;
    std::string ReadString(const std::string& name) override;
    bool TryReadInt(const std::string& name, int32_t& value) override;
    int32_t ReadInt(const std::string& name) override;
    bool WriteString(const std::string& name, const std::string& text) override;
    bool WriteInt(const std::string& name, int32_t value) override;
    // Always false: the file keeps its values.
    bool DeleteValue(const std::string& name) override;

private:
    std::string m_path;
    std::string m_section;
};
