#pragma once

#include <string>
#include <vector>

// Access to an INI file ("[Section]" lines, "Key=Value" lines, ';' comments),
// with the reading rules of the Windows profile functions that the program
// relies on. Text is UTF-8; sections and keys compare case-insensitively.
// Lengths count Unicode code points.
namespace CvProfileFile {

// The value, or `defaultValue` when the file, section or key is missing.
// Surrounding blanks are trimmed, and one pair of matching surrounding quotes
// is removed. The result is cut to `maxChars` code points.
std::string ReadString(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& defaultValue, size_t maxChars = 2047);

// The leading decimal integer of the value (an optional sign, then digits;
// "12abc" reads 12, "abc" reads 0; leading blanks are skipped, only the first
// 29 characters count and overflow wraps around to 32 bits), or `defaultValue`
// when the key is missing or its value is empty.
int ReadInt(const std::string& path, const std::string& section, const std::string& key,
            int defaultValue);

// Writes the value, creating file, section and key as needed; other lines are
// kept as they were. Atomic (temporary file and rename) under an advisory
// lock. A value with blanks at either end, or wrapped in quotes, is written in
// double quotes so that it reads back unchanged. False when the file cannot
// be written, and for a section, key or value that the format cannot hold (a
// line break; ']' in a section; '=' in a key, or a key that is blank or starts
// with '[' or ';'). The file keeps its byte order mark and line ending style.
bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value);

// Key names of a section in file order (empty when missing).
std::vector<std::string> ReadKeys(const std::string& path, const std::string& section);

}  // namespace CvProfileFile
