#pragma once

#include <map>
#include <shared_mutex>
#include <string>
#include <vector>

// The table of interface texts, looked up by numeric identifier. It starts
// with the built-in English texts; a language file (an INI file in UTF-8, one
// section per form, keys are decimal identifiers) may replace any of them.
// Safe to read from any thread; loading takes an exclusive lock.
class CvLangTexts {
public:
    // A table holding the built-in texts.
    CvLangTexts();
    CvLangTexts(const CvLangTexts&) = delete;
    CvLangTexts& operator=(const CvLangTexts&) = delete;

    // The process-wide table, created on first use.
    static CvLangTexts& Instance();

    // The text, or "" for an identifier the table does not hold.
    std::string GetText(int id) const;
    // The language-file section of an identifier, or "" when not held.
    std::string GetSection(int id) const;
    // Every identifier held, ascending.
    std::vector<int> Ids() const;

    // Replaces each text whose key ("%i" of the identifier) is in the entry's
    // section of the file; values are cut to 2,047 code points. An empty path,
    // a missing or unreadable file, and absent keys leave texts as they were.
    void LoadLanguageFile(const std::string& path);

    // Loads `sysLanguageFile` (the SysLanguageFile setting) from the language
    // folder; an empty setting keeps the built-in texts.
    void LoadSelectedLanguage(const std::string& languageFolder,
                              const std::string& sysLanguageFile);

    // Back to the built-in English texts.
    void Reset();

private:
    struct Entry {
        std::string text;
        std::string section;
    };

    mutable std::shared_mutex m_mutex;
    std::map<int, Entry> m_entries;
};
