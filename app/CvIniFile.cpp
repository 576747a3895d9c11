#include "app/CvIniFile.h"

#include "platform/CvProfileFile.h"

CvIniFile::CvIniFile(std::string path, std::string section)
    : m_path(std::move(path)), m_section(std::move(section)) {}

bool CvIniFile::ValueExists(const std::string& name) {
    return CvProfileFile::ReadString(m_path, m_section, name, kMissingMarker, kMaxTextChars) !=
           kMissingMarker;
}

bool CvIniFile::TryReadString(const std::string& name, std::string& text) {
    std::string value =
        CvProfileFile::ReadString(m_path, m_section, name, kMissingMarker, kMaxTextChars);
    if (value == kMissingMarker) {
        return false;
    }
    text = std::move(value);
    return true;
}

std::string CvIniFile::ReadString(const std::string& name) {
    return CvProfileFile::ReadString(m_path, m_section, name, "", kMaxTextChars);
}

bool CvIniFile::TryReadInt(const std::string& name, int32_t& value) {
    if (!ValueExists(name)) {
        return false;
    }
    value = CvProfileFile::ReadInt(m_path, m_section, name, 0);
    return true;
}

int32_t CvIniFile::ReadInt(const std::string& name) {
    return CvProfileFile::ReadInt(m_path, m_section, name, 0);
}

bool CvIniFile::WriteString(const std::string& name, const std::string& text) {
    return CvProfileFile::WriteString(m_path, m_section, name, text);
}

bool CvIniFile::WriteInt(const std::string& name, int32_t value) {
    return CvProfileFile::WriteString(m_path, m_section, name, std::to_string(value));
}

bool CvIniFile::DeleteValue(const std::string& /*name*/) {
    return false;
}
