#include "app/CvLanguageList.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/CvLangTexts.h"
#include "platform/CvProfileFile.h"

namespace {

constexpr int kTextTranslator = 706;
constexpr int kTextVersion = 707;

bool HasLanguageExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension == ".lng";
}

}  // namespace

CvLanguageList CvLanguageList::Enumerate(const std::string& languageFolder) {
    CvLanguageList list;
    std::error_code error;
    std::filesystem::directory_iterator it(languageFolder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || !HasLanguageExtension(it->path())) {
            continue;
        }
        const std::string path = it->path().string();
        CvLanguageInfo info;
        info.fileName = it->path().filename().string();
        info.version = CvProfileFile::ReadString(path, "Info", "ProductVersion", "");
        info.translator = CvProfileFile::ReadString(path, "Info", "Translator", "");
        info.languageName = CvProfileFile::ReadString(path, "Info", "LanguageName", "<>");
        list.m_entries.push_back(std::move(info));
    }
    std::sort(
        list.m_entries.begin(), list.m_entries.end(),
        [](const CvLanguageInfo& a, const CvLanguageInfo& b) { return a.fileName < b.fileName; });
    return list;
}

const CvLanguageInfo* CvLanguageList::Find(const std::string& sysLanguageFile) const {
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const CvLanguageInfo& info) {
        return info.fileName == sysLanguageFile;
    });
    return it == m_entries.end() ? nullptr : &*it;
}

std::string CvLanguageList::InfoText(const CvLanguageInfo& info, const CvLangTexts& texts) {
    return texts.GetText(kTextTranslator) + " " + info.translator + "\r\n" +
           texts.GetText(kTextVersion) + " " + info.version;
}
