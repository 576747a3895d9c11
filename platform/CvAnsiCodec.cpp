#include "platform/CvAnsiCodec.h"

#include <cstdlib>
#include <map>

#include <unicode/ustring.h>

#include "platform/CvOemCodec.h"
#include "platform/CvTextCodec.h"

namespace {

const std::map<std::string, int>& LanguageCodePages() {
    static const std::map<std::string, int> pages = {
        // Cyrillic
        {"ru", 1251},
        {"uk", 1251},
        {"be", 1251},
        {"bg", 1251},
        {"mk", 1251},
        {"sr", 1251},
        {"kk", 1251},
        {"ky", 1251},
        {"tt", 1251},
        {"mn", 1251},
        {"ba", 1251},
        {"tg", 1251},
        // Central European
        {"pl", 1250},
        {"cs", 1250},
        {"sk", 1250},
        {"hu", 1250},
        {"ro", 1250},
        {"hr", 1250},
        {"sl", 1250},
        {"sq", 1250},
        {"bs", 1250},
        {"el", 1253},
        {"tr", 1254},
        {"az", 1254},
        {"uz", 1254},
        {"he", 1255},
        {"yi", 1255},
        {"ar", 1256},
        {"fa", 1256},
        {"ur", 1256},
        {"et", 1257},
        {"lv", 1257},
        {"lt", 1257},
        {"vi", 1258},
        {"th", 874},
        {"ja", 932},
        {"ko", 949},
        {"zh", 936},
    };
    return pages;
}

const std::map<std::string, int>& TerritoryCodePages() {
    static const std::map<std::string, int> pages = {
        {"sr@latin", 1250}, {"zh_TW", 950},        {"zh_HK", 950},
        {"zh_MO", 950},     {"uz@cyrillic", 1251}, {"az@cyrillic", 1251},
    };
    return pages;
}

}  // namespace

int CvAnsiCodec::AnsiCodePageForLocale(const std::string& localeName) {
    return CvText::LookupLocaleCodePage(localeName, LanguageCodePages(), TerritoryCodePages(),
                                        1252);
}

int CvAnsiCodec::ChooseAnsiCodePage() {
    if (const char* value = std::getenv("CORVANE_ANSI_CODEPAGE")) {
        char* end = nullptr;
        const long number = std::strtol(value, &end, 10);
        if (end != value && *end == '\0' && number > 0 && number < 65536) {
            return static_cast<int>(number);
        }
    }
    return AnsiCodePageForLocale(CvText::CurrentLocaleName());
}

std::string CvAnsiCodec::ToUtf8(const std::string& bytes, int codePage) {
    // ICU's plain "ibm-125x" tables differ from what Windows uses; ask for the
    // Windows tables by name first.
    if (codePage >= 1250 && codePage <= 1258) {
        return CvOemCodec("windows-" + std::to_string(codePage)).FromOem(bytes);
    }
    return CvOemCodec(codePage).FromOem(bytes);
}

bool CvAnsiCodec::IsValidUtf8(const std::string& bytes) {
    UErrorCode error = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &error);
    return error != U_INVALID_CHAR_FOUND && error != U_ILLEGAL_CHAR_FOUND;
}

std::string CvAnsiCodec::FileTextToUtf8(const std::string& bytes, int codePage) {
    if (IsValidUtf8(bytes)) {
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            return bytes.substr(3);
        }
        return bytes;
    }
    return ToUtf8(bytes, codePage);
}
