#include "app/CvLinkUrl.h"

#include <algorithm>
#include <cctype>

#include <unicode/unistr.h>

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// The scheme in lower case: the letters, digits, "+", "-" and "." before the
// first ":", starting with a letter; "" when there is none.
std::string Scheme(std::string_view url) {
    const size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 ||
        std::isalpha(static_cast<unsigned char>(url[0])) == 0) {
        return {};
    }
    const std::string_view scheme = url.substr(0, colon);
    const bool valid = std::all_of(scheme.begin(), scheme.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '+' || c == '-' || c == '.';
    });
    return valid ? Lower(scheme) : std::string();
}

// "mailto:address?field=value&..." with only the subject and body fields;
// a fragment is dropped.
std::string MailtoWithTextFieldsOnly(const std::string& url) {
    const std::string withoutFragment = url.substr(0, url.find('#'));
    const size_t question = withoutFragment.find('?');
    if (question == std::string::npos) {
        return withoutFragment;
    }
    std::string result = withoutFragment.substr(0, question);
    const std::string query = withoutFragment.substr(question + 1);
    char separator = '?';
    for (size_t start = 0; start <= query.size();) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) {
            end = query.size();
        }
        const std::string field = query.substr(start, end - start);
        const std::string name = Lower(field.substr(0, field.find('=')));
        if (name == "subject" || name == "body") {
            result += separator;
            result += field;
            separator = '&';
        }
        start = end + 1;
    }
    return result;
}

}  // namespace

std::string CvLinkUrl(const std::u16string& link) {
    std::u16string url = link;
    if (url.starts_with(u"\\\\")) {
        std::replace(url.begin(), url.end(), u'\\', u'/');
        url.insert(0, u"smb:");
    }
    const icu::UnicodeString text(url.data(), static_cast<int32_t>(url.size()));
    std::string result;
    text.toUTF8String(result);
    if (Scheme(result) == "mailto") {
        return MailtoWithTextFieldsOnly(result);
    }
    return result;
}

CvLinkOpen CvLinkOpenRule(std::string_view url) {
    const std::string scheme = Scheme(url);
    if (scheme.empty() || scheme == "file") {
        return CvLinkOpen::Refuse;
    }
    for (const char* standard : {"http", "https", "ftp", "mailto"}) {
        if (scheme == standard) {
            return CvLinkOpen::Open;
        }
    }
    return CvLinkOpen::Ask;
}
