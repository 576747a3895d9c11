#pragma once

#include <cstdint>
#include <string>
#include <variant>

// A tagged database value: the unit of every statement parameter and of every
// column read. ANSI text is UTF-8 on this platform; wide text is UTF-16.
class CvDbValue {
public:
    enum Tag : int { Null = 0, AnsiText = 1, Integer = 2, WideText = 3 };

    CvDbValue() = default;
    static CvDbValue FromInteger(int64_t value);
    static CvDbValue FromAnsi(std::string text);
    static CvDbValue FromWide(std::u16string text);

    Tag GetTag() const { return static_cast<Tag>(m_value.index()); }
    bool IsNull() const { return GetTag() == Null; }

    // No conversion between the kinds: a value of another tag reads as 0 or "".
    int64_t AsInteger() const;
    std::string AsAnsi() const;
    std::u16string AsWide() const;
    // Either kind of text as UTF-8 (how the program holds text); "" for a
    // number or NULL.
    std::string AsUtf8() const;

    // Equal when the tags are equal and so are the numbers or the texts; an
    // ANSI "abc" never equals a wide "abc".
    bool operator==(const CvDbValue& other) const = default;

private:
    // The alternatives are in tag order, so index() is the tag.
    std::variant<std::monostate, std::string, int64_t, std::u16string> m_value;
};
