#pragma once

#include <string>
#include <string_view>

// UTF-8 <-> UTF-16 for statement texts and column values. Invalid input
// becomes U+FFFD; nothing fails.
namespace CvDbText {

std::u16string ToWide(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

}  // namespace CvDbText
