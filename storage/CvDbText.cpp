#include "storage/CvDbText.h"

#include <unicode/unistr.h>

namespace CvDbText {

std::u16string ToWide(std::string_view utf8) {
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    return std::u16string(text.getBuffer(), static_cast<size_t>(text.length()));
}

std::string ToUtf8(std::u16string_view utf16) {
    const icu::UnicodeString text(utf16.data(), static_cast<int32_t>(utf16.size()));
    std::string result;
    text.toUTF8String(result);
    return result;
}

}  // namespace CvDbText
