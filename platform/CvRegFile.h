#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CvRegistryHive.h"

// One hive's values in the registry editor's export format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Vendor\Program]
//   "Name"="text with \\ and \" escaped"
//   "Count"=dword:0000000a
//
// Reading: CRLF or LF line endings and a UTF-8 byte order mark are accepted;
// ';' starts a comment line; "REGEDIT4" is accepted as the first line. Sections
// of another hive and "[-HKEY_...]" (delete key) sections are ignored with
// their lines. A "Name"=- line deletes what earlier lines set for that name.
// When a name occurs more than once in a key, the last line wins. Text values
// are "quoted", hex(1): or hex(2): (UTF-16LE); numbers are dword: or hex(4):.
// Values of other types are kept in the file but read as absent. Lines that
// fit none of this are kept as they are and otherwise ignored.
//
// Changes touch only the lines of the value changed; all other lines, their
// order and spelling are written back unchanged (line endings become LF).
// Texts that contain line breaks or NUL are written as hex(1): so that they
// survive the line-based format.
class CvRegFile {
public:
    static CvRegFile Parse(std::string_view text, CvHive hive);
    // "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
    static const char* HiveName(CvHive hive);
    // Registry name comparison: Unicode case folding.
    static bool SameName(std::string_view a, std::string_view b);
    // Without leading and trailing backslashes.
    static std::string NormalizeKeyPath(std::string_view keyPath);

    std::string Serialize() const;

    // A key exists when it, or a key below it, has a section; the hive root
    // ("") always exists.
    bool KeyExists(const std::string& keyPath) const;
    std::optional<CvRegValue> ReadValue(const std::string& keyPath, const std::string& name) const;
    // Adds an empty section unless the key exists. True when something changed.
    bool CreateKey(const std::string& keyPath);
    void WriteValue(const std::string& keyPath, const std::string& name, const CvRegValue& value);
    // Removes every line for the value; true when it existed.
    bool DeleteValue(const std::string& keyPath, const std::string& name);

    // Lines that were neither blank, comment, header, signature nor value.
    size_t MalformedLines() const { return m_malformed; }

    // The data part of a value line ("\"text\"", "dword:0000000a", ...).
    static std::string FormatData(const CvRegValue& value);

private:
    enum class LineKind { Other, Signature, Header, Value, Deletion, Unsupported };
    struct Line {
        LineKind kind = LineKind::Other;
        std::string text;     // as read, continuation lines joined with '\n'
        bool active = false;  // in a section of this hive that is not a deletion
        std::string keyPath;  // of the section (headers and values)
        std::string name;     // value lines
        std::optional<CvRegValue> value;
    };

    static Line ParseValueLine(std::string text);
    // Indices of the value and deletion lines for `name` in the key's sections.
    std::vector<size_t> LinesOf(const std::string& keyPath, const std::string& name) const;
    static std::string FormatLine(const std::string& name, const CvRegValue& value);

    CvHive m_hive = CvHive::CurrentUser;
    std::vector<Line> m_lines;
    size_t m_malformed = 0;
};
