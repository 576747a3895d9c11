#pragma once

#include <string>

// The ICU locale id for a POSIX locale name as in LANG: "ru_RU.UTF-8" ->
// "ru_RU", "sr_RS.UTF-8@latin" -> "sr_RS@latin"; "" for "", "C" and "POSIX"
// (with or without a code set), which ICU reads as the root locale.
std::string CvIcuLocaleId(const std::string& localeName);
