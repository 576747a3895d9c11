#include "app/CvElevatedRegistry.h"

namespace {

std::string WithoutLeadingBackslash(const std::string& path) {
    return path.starts_with('\\') ? path.substr(1) : path;
}

}  // namespace

CvElevatedRegistry::CvElevatedRegistry(std::string keyPath)
    : m_keyPath(WithoutLeadingBackslash(keyPath)), m_writer(ObtainElevatedWriter()) {}

CvElevatedRegistry::CvElevatedRegistry(std::string keyPath,
                                       std::unique_ptr<CvElevatedWriter> writer)
    : m_keyPath(WithoutLeadingBackslash(keyPath)), m_writer(std::move(writer)) {}

bool CvElevatedRegistry::ValueExists(const std::string& /*name*/) {
    return true;
}

bool CvElevatedRegistry::TryReadString(const std::string& /*name*/, std::string& text) {
    text.clear();
    return true;
}

std::string CvElevatedRegistry::ReadString(const std::string& /*name*/) {
    return {};
}

bool CvElevatedRegistry::TryReadInt(const std::string& /*name*/, int32_t& value) {
    value = 0;
    return true;
}

int32_t CvElevatedRegistry::ReadInt(const std::string& /*name*/) {
    return 0;
}

bool CvElevatedRegistry::WriteString(const std::string& name, const std::string& text) {
    return m_writer != nullptr && m_writer->SetStringValue(m_keyPath, name, text);
}

bool CvElevatedRegistry::WriteInt(const std::string& name, int32_t value) {
    return m_writer != nullptr &&
           m_writer->SetDwordValue(m_keyPath, name, static_cast<uint32_t>(value));
}

bool CvElevatedRegistry::DeleteValue(const std::string& name) {
    return m_writer != nullptr && m_writer->DeleteValue(m_keyPath, name);
}
