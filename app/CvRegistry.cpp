#include "app/CvRegistry.h"

CvRegistry::CvRegistry(CvHive root) : m_hive(root) {}

bool CvRegistry::OpenKey(const std::string& path, bool create, bool writable) {
    std::string target;
    if (!path.empty() && path.front() == '\\') {
        target = path.substr(1);
    } else if (path.empty()) {
        target = m_openKey.value_or(std::string());
    } else if (m_openKey && !m_openKey->empty()) {
        target = *m_openKey + "\\" + path;
    } else {
        target = path;
    }
    while (!target.empty() && target.back() == '\\') {
        target.pop_back();
    }

    if (writable && !m_hive.CanWriteKey(target)) {
        return false;
    }
    // The root of a hive always exists.
    if (!target.empty() && !m_hive.KeyExists(target)) {
        if (!create || !m_hive.CanWriteKey(target) || !m_hive.CreateKey(target)) {
            return false;
        }
    }
    m_openKey = target;
    m_writable = writable;
    return true;
}

std::optional<CvRegValue> CvRegistry::Read(const std::string& name) const {
    if (!m_openKey) {
        return std::nullopt;
    }
    return m_hive.ReadValue(*m_openKey, name);
}

bool CvRegistry::Write(const std::string& name, const CvRegValue& value) {
    if (!m_openKey || !m_writable) {
        return false;
    }
    return m_hive.WriteValue(*m_openKey, name, value);
}

bool CvRegistry::ValueExists(const std::string& name) {
    return Read(name).has_value();
}

bool CvRegistry::TryReadString(const std::string& name, std::string& text) {
    auto value = Read(name);
    if (!value || value->kind != CvRegValue::Kind::String) {
        return false;
    }
    text = value->text;
    return true;
}

std::string CvRegistry::ReadString(const std::string& name) {
    std::string text;
    TryReadString(name, text);
    return text;
}

bool CvRegistry::TryReadInt(const std::string& name, int32_t& value) {
    auto stored = Read(name);
    if (!stored || stored->kind != CvRegValue::Kind::Dword) {
        return false;
    }
    value = static_cast<int32_t>(stored->dword);
    return true;
}

int32_t CvRegistry::ReadInt(const std::string& name) {
    int32_t value = 0;
    TryReadInt(name, value);
    return value;
}

bool CvRegistry::WriteString(const std::string& name, const std::string& text) {
    return Write(name, CvRegValue::String(text));
}

bool CvRegistry::WriteInt(const std::string& name, int32_t value) {
    return Write(name, CvRegValue::Dword(static_cast<uint32_t>(value)));
}

bool CvRegistry::DeleteValue(const std::string& name) {
    if (!m_openKey || !m_writable) {
        return false;
    }
    return m_hive.DeleteValue(*m_openKey, name);
}
