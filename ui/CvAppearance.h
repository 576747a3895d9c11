#pragma once

#include <QColor>
#include <QFont>

#include <cstdint>
#include <optional>
#include <string>

// The custom appearance settings ("name=Serif, size=11, color=004080" as the
// "Appearance" options page writes them) as Qt values, with one rule for
// every window that uses them.
namespace CvAppearance {

// Point sizes from 1 to this are taken; other sizes are ignored.
inline constexpr int kMaxPointSize = 99;

// A colour as the settings hold it: "bbggrr", the Windows COLORREF order.
QColor FromColorRef(uint32_t value);
uint32_t ToColorRef(const QColor& color);

// `base` with the family and the point size that `setting` names; what it
// leaves out, or gives out of range, stays as in `base`.
QFont Font(const std::string& setting, const QFont& base);

// The colour stored under `key` ("color" for the text, "bkcolor" for the
// background); nothing when it is missing or no colour.
std::optional<QColor> Color(const std::string& setting, const char* key);

}  // namespace CvAppearance
