#include "app/CvLangTexts.h"

#include <filesystem>
#include <mutex>
#include <system_error>

#include <unistd.h>

#include "app/CvBuiltInTexts.h"
#include "platform/CvProfileFile.h"

namespace {

// The longest text a language file may set; longer values are cut.
constexpr size_t kMaxTextLength = 2047;

bool IsReadableFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && access(path.c_str(), R_OK) == 0;
}

}  // namespace

CvLangTexts::CvLangTexts() {
    Reset();
}

CvLangTexts& CvLangTexts::Instance() {
    static CvLangTexts texts;
    return texts;
}

std::string CvLangTexts::GetText(int id) const {
    std::shared_lock lock(m_mutex);
    auto it = m_entries.find(id);
    return it == m_entries.end() ? std::string() : it->second.text;
}

std::string CvLangTexts::GetSection(int id) const {
    std::shared_lock lock(m_mutex);
    auto it = m_entries.find(id);
    return it == m_entries.end() ? std::string() : it->second.section;
}

std::vector<int> CvLangTexts::Ids() const {
    std::shared_lock lock(m_mutex);
    std::vector<int> ids;
    ids.reserve(m_entries.size());
    for (const auto& [id, entry] : m_entries) {
        ids.push_back(id);
    }
    return ids;
}

void CvLangTexts::LoadLanguageFile(const std::string& path) {
    // A file that cannot be read counts as empty, whatever the INI reader
    // would make of a folder or an unreadable file.
    if (path.empty() || !IsReadableFile(path)) {
        return;
    }
    std::map<int, Entry> entries;
    {
        std::shared_lock lock(m_mutex);
        entries = m_entries;
    }
    for (auto& [id, entry] : entries) {
        entry.text = CvProfileFile::ReadString(path, entry.section, std::to_string(id), entry.text,
                                               kMaxTextLength);
    }
    std::unique_lock lock(m_mutex);
    for (auto& [id, entry] : entries) {
        m_entries[id].text = std::move(entry.text);
    }
}

void CvLangTexts::LoadSelectedLanguage(const std::string& languageFolder,
                                       const std::string& sysLanguageFile) {
    if (sysLanguageFile.empty()) {
        return;
    }
    LoadLanguageFile((std::filesystem::path(languageFolder) / sysLanguageFile).string());
}

void CvLangTexts::Reset() {
    std::map<int, Entry> entries;
    for (const CvBuiltInText& row : CvBuiltInTexts()) {
        entries[row.id] = Entry{row.text, row.section};
    }
    std::unique_lock lock(m_mutex);
    m_entries = std::move(entries);
}
