#include "app/CvLinkUrl.h"

#include <algorithm>

#include <unicode/unistr.h>

std::string CvLinkUrl(const std::u16string& link) {
    std::u16string url = link;
    if (url.starts_with(u"\\\\")) {
        std::replace(url.begin(), url.end(), u'\\', u'/');
        url.insert(0, u"smb:");
    }
    const icu::UnicodeString text(url.data(), static_cast<int32_t>(url.size()));
    std::string result;
    text.toUTF8String(result);
    return result;
}
