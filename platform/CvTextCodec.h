#pragma once

#include <cstddef>
#include <map>
#include <string>

// Text helpers for this platform. A std::string holds UTF-8, which serves as
// the "ANSI code page"; lengths and limits count Unicode code points. The OEM
// code page used on the wire is picked from the locale as Windows would, or
// set with CORVANE_OEM_CODEPAGE (a number such as 866, or an ICU converter
// name).
namespace CvText {

// UTF-8 to the system OEM code page and back (see CvOemCodec::System).
std::string ToOem(const std::string& utf8);
std::string FromOem(const std::string& oem);

// The OEM code page in use: its number ("850"), or the converter name when
// CORVANE_OEM_CODEPAGE named one.
std::string OemCodePage();

// The locale name that decides the character type, as setlocale would pick
// it: the first non-empty of LC_ALL, LC_CTYPE, LANG; "C" when none is set.
std::string CurrentLocaleName();

// The OEM code page Windows uses for a locale such as "ru_RU.UTF-8",
// "de_DE", "sr_RS@latin" or "C". Unknown languages get 437.
int OemCodePageForLocale(const std::string& localeName);

// The code page that tables by language and by language and territory give
// a locale name (language[_territory][.codeset][@modifier]): first
// "language@modifier" and "language_TERRITORY" in `territories`, then the
// language in `languages`, else `fallback`.
int LookupLocaleCodePage(const std::string& localeName, const std::map<std::string, int>& languages,
                         const std::map<std::string, int>& territories, int fallback);

// CORVANE_OEM_CODEPAGE when set and non-empty, else the number for the current
// locale, as text. Read afresh on every call.
std::string ChooseOemCodePage();

// Full Unicode upper-casing, independent of the locale ("straße" ->
// "STRASSE"). Invalid UTF-8 bytes become U+FFFD.
std::string UpperCase(const std::string& utf8);

// Number of code points; each byte of an invalid sequence that cannot start
// a character counts as one.
size_t CodePointCount(const std::string& utf8);

// The longest prefix of at most `maxCodePoints` code points. Never splits a
// valid multi-byte character; invalid bytes count as in CodePointCount.
std::string CutToCodePoints(const std::string& utf8, size_t maxCodePoints);

}  // namespace CvText
