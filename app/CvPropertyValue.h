#pragma once

#include <cstdint>
#include <string>
#include <variant>

// One setting value: empty, text (UTF-8) or a 32-bit signed integer. Copies
// are deep; the kind numbers are the ones stored settings code relies on.
class CvPropertyValue {
public:
    enum class Kind { Empty = 0, Text = 1, Integer = 2 };

    CvPropertyValue() = default;
    static CvPropertyValue Text(std::string text);
    static CvPropertyValue Integer(int32_t value);

    Kind GetKind() const;
    bool IsEmpty() const { return GetKind() == Kind::Empty; }
    // The text, or "" when the value is not text.
    std::string GetText() const;
    // The integer, or 0 when the value is not an integer.
    int32_t GetInt() const;

    bool operator==(const CvPropertyValue&) const = default;

private:
    std::variant<std::monostate, std::string, int32_t> m_value;
};
