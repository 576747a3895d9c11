#pragma once

#include <string>
#include <vector>

class CvLangTexts;

// One language file as the options offer it.
struct CvLanguageInfo {
    std::string fileName;      // e.g. "german.lng", the SysLanguageFile value
    std::string languageName;  // [Info] LanguageName, "<>" when missing
    std::string version;       // [Info] ProductVersion, "" when missing
    std::string translator;    // [Info] Translator, "" when missing

    bool operator==(const CvLanguageInfo&) const = default;
};

// The language files ("*.lng") of the language folder.
class CvLanguageList {
public:
    // Reads every "*.lng" file (extension in any case) of `languageFolder`,
    // sorted by file name. A missing folder gives an empty list.
    static CvLanguageList Enumerate(const std::string& languageFolder);

    const std::vector<CvLanguageInfo>& Entries() const { return m_entries; }

    // The entry whose file name equals `sysLanguageFile`, or nullptr. The
    // pointer is valid while the list lives.
    const CvLanguageInfo* Find(const std::string& sysLanguageFile) const;

    // The information box text: "Translator: <translator>\r\nVersion:
    // <version>", the labels taken from `texts`.
    static std::string InfoText(const CvLanguageInfo& info, const CvLangTexts& texts);

private:
    std::vector<CvLanguageInfo> m_entries;
};
