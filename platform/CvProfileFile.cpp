#include "platform/CvProfileFile.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "platform/CvAtomicFile.h"

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    icu::UnicodeString ua = icu::UnicodeString::fromUTF8(icu::StringPiece(a.data(), a.size()));
    icu::UnicodeString ub = icu::UnicodeString::fromUTF8(icu::StringPiece(b.data(), b.size()));
    return ua.caseCompare(ub, U_FOLD_CASE_DEFAULT) == 0;
}

std::string CutToCodePoints(std::string text, size_t maxChars) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (count == maxChars) {
                text.resize(i);
                break;
            }
            ++count;
        }
    }
    return text;
}

// The file as lines, without line ends and byte order mark.
struct IniText {
    std::vector<std::string> lines;
    bool bom = false;
    bool crlf = false;

    static IniText Parse(std::string_view text) {
        IniText ini;
        if (text.substr(0, kBom.size()) == kBom) {
            ini.bom = true;
            text.remove_prefix(kBom.size());
        }
        const auto firstNewline = text.find('\n');
        ini.crlf = firstNewline != std::string_view::npos && firstNewline > 0 &&
                   text[firstNewline - 1] == '\r';
        while (!text.empty()) {
            const auto newline = text.find('\n');
            std::string_view line = text.substr(0, newline);
            // Every carriage return at the end goes: one left behind (from
            // "\r\r\n", or "\r" at the end of the file) would end up as part
            // of a value and be lost when the file is next written.
            while (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            ini.lines.emplace_back(line);
            text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        }
        return ini;
    }

    std::string Serialize() const {
        std::string out(bom ? kBom : std::string_view());
        for (const std::string& line : lines) {
            out += line;
            out += crlf ? "\r\n" : "\n";
        }
        return out;
    }

    static std::optional<std::string_view> SectionName(std::string_view line) {
        line = Trim(line);
        if (line.empty() || line[0] != '[') {
            return std::nullopt;
        }
        const auto close = line.find(']');
        return Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
    }

    // Key and raw value of a "key=value" line.
    static std::optional<std::pair<std::string_view, std::string_view>> Entry(
        std::string_view line) {
        line = Trim(line);
        const auto equals = line.find('=');
        if (line.empty() || line[0] == ';' || line[0] == '[' || equals == std::string_view::npos) {
            return std::nullopt;
        }
        return std::pair(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
    }

    // Calls visit(line index, key, value) for the entries of every section
    // named `section`, in file order, until it returns false.
    template <typename Visit>
    void ForEachEntry(std::string_view section, Visit visit) const {
        bool inSection = false;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (const auto name = SectionName(lines[i])) {
                inSection = SameName(*name, section);
            } else if (inSection) {
                if (const auto entry = Entry(lines[i])) {
                    if (!visit(i, entry->first, entry->second)) {
                        return;
                    }
                }
            }
        }
    }
};

std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

std::string Encode(const std::string& value) {
    const bool blankEnds = !value.empty() && (value.front() == ' ' || value.front() == '\t' ||
                                              value.back() == ' ' || value.back() == '\t');
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return blankEnds || quoted ? "\"" + value + "\"" : value;
}

std::optional<std::string> Find(const std::string& path, const std::string& section,
                                const std::string& key) {
    const auto text = CvAtomicFile::Read(path);
    if (!text) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    IniText::Parse(*text).ForEachEntry(section,
                                       [&](size_t, std::string_view name, std::string_view value) {
                                           if (SameName(name, Trim(key))) {
                                               found = Unquote(value);
                                               return false;
                                           }
                                           return true;
                                       });
    return found;
}

}  // namespace

namespace CvProfileFile {

std::string ReadString(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& defaultValue, size_t maxChars) {
    return CutToCodePoints(Find(path, section, key).value_or(defaultValue), maxChars);
}

int ReadInt(const std::string& path, const std::string& section, const std::string& key,
            int defaultValue) {
    // The system's integer read works on a 30-character buffer.
    const std::string text = CutToCodePoints(Find(path, section, key).value_or(""), 29);
    if (text.empty()) {
        return defaultValue;
    }
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int>(value);
}

bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value) {
    const std::string_view keyName = Trim(key);
    const std::string_view sectionName = Trim(section);
    const auto hasBreak = [](std::string_view s) {
        return s.find_first_of("\r\n") != std::string_view::npos;
    };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value) ||
        sectionName.find(']') != std::string_view::npos || keyName.empty() ||
        keyName.find('=') != std::string_view::npos || keyName[0] == '[' || keyName[0] == ';') {
        return false;
    }
    const std::string line = std::string(keyName) + "=" + Encode(value);
    return CvAtomicFile::Update(
        path, [&](const std::string& current) -> std::optional<std::string> {
            IniText ini = IniText::Parse(current);
            std::optional<size_t> existing;
            std::optional<size_t> insertAt;
            bool inSection = false;
            for (size_t i = 0; i < ini.lines.size() && !existing; ++i) {
                if (const auto name = IniText::SectionName(ini.lines[i])) {
                    inSection = SameName(*name, sectionName);
                    if (inSection && !insertAt) {
                        insertAt = i + 1;
                    }
                } else if (inSection) {
                    if (const auto entry = IniText::Entry(ini.lines[i])) {
                        if (SameName(entry->first, keyName)) {
                            existing = i;
                        } else if (insertAt && *insertAt <= i + 1) {
                            insertAt = i + 1;
                        }
                    }
                }
            }
            if (existing) {
                if (ini.lines[*existing] == line) {
                    return std::nullopt;
                }
                ini.lines[*existing] = line;
            } else if (insertAt) {
                ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), line);
            } else {
                if (!ini.lines.empty() && !Trim(ini.lines.back()).empty()) {
                    ini.lines.emplace_back();
                }
                ini.lines.push_back("[" + std::string(sectionName) + "]");
                ini.lines.push_back(line);
            }
            return ini.Serialize();
        });
}

std::vector<std::string> ReadKeys(const std::string& path, const std::string& section) {
    std::vector<std::string> keys;
    const auto text = CvAtomicFile::Read(path);
    if (!text) {
        return keys;
    }
    IniText::Parse(*text).ForEachEntry(section,
                                       [&](size_t, std::string_view name, std::string_view) {
                                           for (const std::string& known : keys) {
                                               if (SameName(known, name)) {
                                                   return true;
                                               }
                                           }
                                           keys.emplace_back(name);
                                           return true;
                                       });
    return keys;
}

}  // namespace CvProfileFile
