#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Text settings made of pairs, e.g. "color=004080, bkcolor=fffff0" or
// "name=Segoe UI, size=10". A value runs up to the next comma; commas and
// spaces between pairs are skipped; a piece without "=" is ignored.
namespace CvCompoundText {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs Parse(const std::string& text);
// Pairs joined as "key=value" with ", ".
std::string Format(const Pairs& pairs);
// The value of the first pair with `key` (exact match).
std::optional<std::string> Find(const std::string& text, const std::string& key);
// A colour written with "%06x" (0x00BBGGRR); nullopt unless 1 to 8 hex digits.
std::optional<uint32_t> ParseColor(const std::string& value);
std::string FormatColor(uint32_t color);

}  // namespace CvCompoundText
