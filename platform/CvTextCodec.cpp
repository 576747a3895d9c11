#include "platform/CvTextCodec.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "platform/CvOemCodec.h"

namespace {

// Windows' OEM code page by language, and by language and territory where
// they differ. Languages not listed use 437, as do "C" and "POSIX".
const std::map<std::string, int>& LanguageCodePages() {
    static const std::map<std::string, int> table = {
        // Western European
        {"af", 850},
        {"br", 850},
        {"ca", 850},
        {"cy", 850},
        {"da", 850},
        {"de", 850},
        {"en", 437},
        {"es", 850},
        {"eu", 850},
        {"fi", 850},
        {"fo", 850},
        {"fr", 850},
        {"fy", 850},
        {"ga", 850},
        {"gd", 850},
        {"gl", 850},
        {"id", 850},
        {"is", 850},
        {"it", 850},
        {"lb", 850},
        {"ms", 850},
        {"nb", 850},
        {"nl", 850},
        {"nn", 850},
        {"no", 850},
        {"oc", 850},
        {"pt", 850},
        {"rm", 850},
        {"sv", 850},
        // Central European
        {"bs", 852},
        {"cs", 852},
        {"hr", 852},
        {"hu", 852},
        {"pl", 852},
        {"ro", 852},
        {"sk", 852},
        {"sl", 852},
        {"sq", 852},
        // Cyrillic
        {"ba", 866},
        {"be", 866},
        {"bg", 866},
        {"kk", 866},
        {"ky", 866},
        {"mk", 866},
        {"mn", 866},
        {"ru", 866},
        {"sah", 866},
        {"tg", 866},
        {"tt", 866},
        {"uk", 866},
        {"sr", 855},
        // Others
        {"el", 737},
        {"tr", 857},
        {"az", 857},
        {"he", 862},
        {"yi", 862},
        {"ar", 720},
        {"fa", 720},
        {"ur", 720},
        {"et", 775},
        {"lt", 775},
        {"lv", 775},
        {"ja", 932},
        {"zh", 936},
        {"ko", 949},
        {"th", 874},
        {"vi", 1258},
    };
    return table;
}

const std::map<std::string, int>& TerritoryCodePages() {
    static const std::map<std::string, int> table = {
        {"en_AU", 850}, {"en_CA", 850}, {"en_GB", 850}, {"en_IE", 850},    {"en_NZ", 850},
        {"zh_HK", 950}, {"zh_MO", 950}, {"zh_TW", 950}, {"sr@latin", 852},
    };
    return table;
}

// ASCII only, whatever the C library's locale says.
std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Byte length of the well-formed UTF-8 character at `pos`, or 1 for a byte
// that does not start one (stray continuation, overlong form, surrogate,
// value past U+10FFFF, truncated sequence).
size_t CharLength(const std::string& text, size_t pos) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 1;
    }
    if (pos + length > text.size()) {
        return 1;
    }
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(pos + i);
        const unsigned char min = i == 1 ? low : 0x80;
        const unsigned char max = i == 1 ? high : 0xBF;
        if (next < min || next > max) {
            return 1;
        }
    }
    return length;
}

}  // namespace

namespace CvText {

std::string ToOem(const std::string& utf8) {
    return CvOemCodec::System().ToOem(utf8);
}

std::string FromOem(const std::string& oem) {
    return CvOemCodec::System().FromOem(oem);
}

std::string OemCodePage() {
    const CvOemCodec& codec = CvOemCodec::System();
    return codec.CodePage() != 0 ? std::to_string(codec.CodePage()) : codec.ConverterName();
}

std::string CurrentLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return "C";
}

int LookupLocaleCodePage(const std::string& localeName, const std::map<std::string, int>& languages,
                         const std::map<std::string, int>& territories, int fallback) {
    const size_t at = localeName.find('@');
    const std::string modifier = at == std::string::npos ? "" : Lower(localeName.substr(at + 1));
    const std::string base = localeName.substr(0, std::min(localeName.find('.'), at));
    const size_t underscore = base.find('_');
    const std::string language = Lower(base.substr(0, underscore));
    const std::string territory =
        underscore == std::string::npos ? "" : Upper(base.substr(underscore + 1));

    if (!modifier.empty()) {
        if (auto it = territories.find(language + "@" + modifier); it != territories.end()) {
            return it->second;
        }
    }
    if (auto it = territories.find(language + "_" + territory); it != territories.end()) {
        return it->second;
    }
    if (auto it = languages.find(language); it != languages.end()) {
        return it->second;
    }
    return fallback;
}

int OemCodePageForLocale(const std::string& localeName) {
    return LookupLocaleCodePage(localeName, LanguageCodePages(), TerritoryCodePages(), 437);
}

std::string ChooseOemCodePage() {
    if (const char* value = std::getenv("CORVANE_OEM_CODEPAGE")) {
        const std::string trimmed = Trim(value);
        if (!trimmed.empty()) {
            return trimmed;
        }
    }
    return std::to_string(OemCodePageForLocale(CurrentLocaleName()));
}

std::string UpperCase(const std::string& utf8) {
    if (IsAscii(utf8)) {
        return Upper(utf8);
    }
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
    text.toUpper(icu::Locale::getRoot());
    std::string result;
    text.toUTF8String(result);
    return result;
}

size_t CodePointCount(const std::string& utf8) {
    size_t count = 0;
    for (size_t pos = 0; pos < utf8.size(); pos += CharLength(utf8, pos)) {
        ++count;
    }
    return count;
}

std::string CutToCodePoints(const std::string& utf8, size_t maxCodePoints) {
    size_t pos = 0;
    for (size_t count = 0; count < maxCodePoints && pos < utf8.size(); ++count) {
        pos += CharLength(utf8, pos);
    }
    return utf8.substr(0, pos);
}

}  // namespace CvText
