#include "ui/CvFormRegistry.h"

#include <algorithm>

CvFormRegistry& CvFormRegistry::Instance() {
    static CvFormRegistry registry;
    return registry;
}

QWidget* CvFormRegistry::Find(const std::string& name) const {
    for (const Entry& entry : m_entries) {
        if (entry.name == name) {
            return entry.window;
        }
    }
    return nullptr;
}

void CvFormRegistry::Register(const std::string& name, QWidget* window) {
    m_entries.push_back({name, window});
}

void CvFormRegistry::Unregister(QWidget* window) {
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [window](const Entry& entry) { return entry.window == window; }),
                    m_entries.end());
}

std::vector<QWidget*> CvFormRegistry::Windows() const {
    std::vector<QWidget*> windows;
    for (const Entry& entry : m_entries) {
        windows.push_back(entry.window);
    }
    return windows;
}
