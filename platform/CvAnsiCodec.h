#pragma once

#include <string>

// Text files written on Windows hold the ANSI code page of the writer's
// locale (1252, 1251, ...). This platform holds text as UTF-8; these helpers
// bring such bytes into UTF-8 through ICU.
class CvAnsiCodec {
public:
    // The Windows ANSI code page for a locale such as "ru_RU.UTF-8", "de_DE",
    // "sr_RS@latin" or "C". Unknown languages get 1252.
    static int AnsiCodePageForLocale(const std::string& localeName);

    // CORVANE_ANSI_CODEPAGE when it holds a number, else the code page for
    // the current locale. Read afresh on every call.
    static int ChooseAnsiCodePage();

    // `bytes` in code page `codePage`, as UTF-8. Unmapped bytes become '?'.
    // Throws std::invalid_argument when ICU has no converter for the page.
    static std::string ToUtf8(const std::string& bytes, int codePage);

    // Text read from a file: valid UTF-8 stays as it is (a leading byte order
    // mark is dropped); anything else is read in `codePage`.
    static std::string FileTextToUtf8(const std::string& bytes, int codePage);
    static std::string FileTextToUtf8(const std::string& bytes) {
        return FileTextToUtf8(bytes, ChooseAnsiCodePage());
    }

    static bool IsValidUtf8(const std::string& bytes);
};
