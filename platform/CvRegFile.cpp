#include "platform/CvRegFile.h"

#include <cstdio>

#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace {

constexpr std::string_view kSignature = "Windows Registry Editor Version 5.00";
constexpr std::string_view kSignature4 = "REGEDIT4";

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(s[i]) != lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

std::vector<std::string_view> SplitKey(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const auto slash = path.find('\\');
        parts.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) {
            break;
        }
        path.remove_prefix(slash + 1);
    }
    return parts;
}

// `path` equals `key` or lies below it.
bool IsSameOrBelow(std::string_view path, std::string_view key) {
    const auto keyParts = SplitKey(key);
    const auto pathParts = SplitKey(path);
    if (pathParts.size() < keyParts.size()) {
        return false;
    }
    for (size_t i = 0; i < keyParts.size(); ++i) {
        if (!CvRegFile::SameName(pathParts[i], keyParts[i])) {
            return false;
        }
    }
    return true;
}

// Reads a "quoted" token at s[pos] with \\ and \" escapes (a backslash before
// anything else stays). Leaves pos after the closing quote.
bool ParseQuoted(std::string_view s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') {
        return false;
    }
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            out += s[++pos];
        } else {
            out += c;
        }
    }
    return false;
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// "48,00,69,00" (with continuation backslashes and line breaks) to bytes.
std::optional<std::string> ParseHexBytes(std::string_view data) {
    std::string bytes;
    int high = -1;
    int digits = 0;
    for (const char c : data) {
        if (c == ',') {
            if (digits == 0) {
                return std::nullopt;
            }
            digits = 0;
            continue;
        }
        if (c == '\\' || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        const int d = HexDigit(c);
        if (d < 0 || digits == 2) {
            return std::nullopt;
        }
        if (high < 0) {
            high = d;
        } else {
            bytes += static_cast<char>(high * 16 + d);
            high = -1;
        }
        ++digits;
    }
    if (high >= 0 || (digits == 0 && !bytes.empty())) {
        return std::nullopt;
    }
    return bytes;
}

std::string Utf16LeToUtf8(const std::string& bytes) {
    icu::UnicodeString text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.append(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    if (text.length() > 0 && text.charAt(text.length() - 1) == 0) {
        text.truncate(text.length() - 1);
    }
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::string Utf8ToHex1(const std::string& text) {
    icu::UnicodeString wide = icu::UnicodeString::fromUTF8(text);
    wide.append(static_cast<char16_t>(0));
    std::string out = "hex(1):";
    char byte[4];
    for (int32_t i = 0; i < wide.length(); ++i) {
        const char16_t unit = wide.charAt(i);
        std::snprintf(byte, sizeof byte, "%02x", unit & 0xff);
        out += (i == 0 ? "" : ",");
        out += byte;
        std::snprintf(byte, sizeof byte, "%02x", (unit >> 8) & 0xff);
        out += ",";
        out += byte;
    }
    return out;
}

bool MatchesHive(std::string_view name, CvHive hive) {
    if (hive == CvHive::CurrentUser) {
        return CvRegFile::SameName(name, "HKEY_CURRENT_USER") || CvRegFile::SameName(name, "HKCU");
    }
    return CvRegFile::SameName(name, "HKEY_LOCAL_MACHINE") || CvRegFile::SameName(name, "HKLM");
}

}  // namespace

const char* CvRegFile::HiveName(CvHive hive) {
    return hive == CvHive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

bool CvRegFile::SameName(std::string_view a, std::string_view b) {
    bool ascii = true;
    for (const char c : a) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    for (const char c : b) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii) {
        return a.size() == b.size() && StartsWithNoCase(a, b);
    }
    icu::UnicodeString ua = icu::UnicodeString::fromUTF8(icu::StringPiece(a.data(), a.size()));
    icu::UnicodeString ub = icu::UnicodeString::fromUTF8(icu::StringPiece(b.data(), b.size()));
    return ua.caseCompare(ub, U_FOLD_CASE_DEFAULT) == 0;
}

std::string CvRegFile::NormalizeKeyPath(std::string_view keyPath) {
    while (!keyPath.empty() && keyPath.front() == '\\') {
        keyPath.remove_prefix(1);
    }
    while (!keyPath.empty() && keyPath.back() == '\\') {
        keyPath.remove_suffix(1);
    }
    return std::string(keyPath);
}

CvRegFile::Line CvRegFile::ParseValueLine(std::string text) {
    Line line;
    line.text = std::move(text);
    const std::string_view s = Trim(line.text);
    size_t pos = 0;
    if (s[0] == '@') {
        pos = 1;
    } else if (!ParseQuoted(s, pos, line.name)) {
        return line;
    }
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) {
        ++pos;
    }
    if (pos >= s.size() || s[pos] != '=') {
        return line;
    }
    const std::string_view data = Trim(s.substr(pos + 1));
    if (data == "-") {
        line.kind = LineKind::Deletion;
    } else if (!data.empty() && data[0] == '"') {
        size_t end = 0;
        std::string text2;
        if (ParseQuoted(data, end, text2) && end == data.size()) {
            line.kind = LineKind::Value;
            line.value = CvRegValue::String(std::move(text2));
        }
    } else if (StartsWithNoCase(data, "dword:")) {
        const std::string_view digits = data.substr(6);
        uint32_t number = 0;
        bool ok = !digits.empty() && digits.size() <= 8;
        for (const char c : digits) {
            const int d = HexDigit(c);
            ok = ok && d >= 0;
            number = number * 16 + static_cast<uint32_t>(d < 0 ? 0 : d);
        }
        if (ok) {
            line.kind = LineKind::Value;
            line.value = CvRegValue::Dword(number);
        }
    } else if (StartsWithNoCase(data, "hex")) {
        const auto colon = data.find(':');
        if (colon == std::string_view::npos) {
            return line;
        }
        const std::string_view type = data.substr(0, colon);
        const auto bytes = ParseHexBytes(data.substr(colon + 1));
        if (!bytes) {
            return line;
        }
        if (SameName(type, "hex(1)") || SameName(type, "hex(2)")) {
            line.kind = LineKind::Value;
            line.value = CvRegValue::String(Utf16LeToUtf8(*bytes));
        } else if (SameName(type, "hex(4)") && bytes->size() == 4) {
            line.kind = LineKind::Value;
            uint32_t number = 0;
            for (int i = 3; i >= 0; --i) {
                number = number * 256 + static_cast<unsigned char>((*bytes)[i]);
            }
            line.value = CvRegValue::Dword(number);
        } else {
            line.kind = LineKind::Unsupported;
        }
    }
    return line;
}

CvRegFile CvRegFile::Parse(std::string_view text, CvHive hive) {
    CvRegFile file;
    file.m_hive = hive;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::vector<std::string> raw;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        std::string_view piece = text.substr(0, newline);
        // Every carriage return at the end goes: one left behind (from
        // "\r\r\n") would be kept as line content once and dropped as a line
        // end after the next write.
        while (!piece.empty() && piece.back() == '\r') {
            piece.remove_suffix(1);
        }
        raw.emplace_back(piece);
        if (newline == std::string_view::npos) {
            break;
        }
        text.remove_prefix(newline + 1);
    }

    bool seenContent = false;
    bool inSection = false;
    bool active = false;
    std::string keyPath;
    for (size_t i = 0; i < raw.size(); ++i) {
        const std::string_view trimmed = Trim(raw[i]);
        Line line;
        if (trimmed.empty() || trimmed[0] == ';') {
            line.text = raw[i];
        } else if (!seenContent && (trimmed == kSignature || trimmed == kSignature4)) {
            line.text = raw[i];
            line.kind = LineKind::Signature;
        } else if (trimmed[0] == '[') {
            line.text = raw[i];
            inSection = true;
            active = false;
            if (trimmed.back() != ']') {
                // An unfinished header still ends the section before it, for
                // the writer too: a value appended after it would be read as
                // belonging to no key and vanish.
                ++file.m_malformed;
                line.kind = LineKind::Header;
                line.active = false;
            } else {
                std::string_view inner = trimmed.substr(1, trimmed.size() - 2);
                const bool deletion = !inner.empty() && inner[0] == '-';
                if (deletion) {
                    inner.remove_prefix(1);
                }
                const auto slash = inner.find('\\');
                keyPath = NormalizeKeyPath(
                    slash == std::string_view::npos ? std::string_view() : inner.substr(slash + 1));
                active = !deletion && MatchesHive(inner.substr(0, slash), hive);
                line.kind = LineKind::Header;
                line.active = active;
                line.keyPath = keyPath;
            }
        } else if (trimmed[0] == '"' || trimmed[0] == '@') {
            std::string joined = raw[i];
            // Binary data may continue over lines that end with a backslash.
            const auto equals = trimmed.find("=hex");
            if (equals != std::string_view::npos ||
                trimmed.find("= hex") != std::string_view::npos) {
                while (!Trim(joined).empty() && Trim(joined).back() == '\\' && i + 1 < raw.size()) {
                    joined += '\n';
                    joined += raw[++i];
                }
            }
            line = ParseValueLine(std::move(joined));
            if (line.kind == LineKind::Other || !inSection) {
                ++file.m_malformed;
            }
            line.active = active && line.kind != LineKind::Other;
            line.keyPath = keyPath;
        } else {
            line.text = raw[i];
            ++file.m_malformed;
        }
        seenContent = seenContent || !(trimmed.empty() || trimmed[0] == ';');
        file.m_lines.push_back(std::move(line));
    }
    return file;
}

std::string CvRegFile::Serialize() const {
    std::string out;
    bool hasSignature = false;
    for (const Line& line : m_lines) {
        hasSignature = hasSignature || line.kind == LineKind::Signature;
    }
    if (!hasSignature) {
        out += kSignature;
        out += "\n\n";
    }
    for (const Line& line : m_lines) {
        out += line.text;
        out += '\n';
    }
    return out;
}

std::vector<size_t> CvRegFile::LinesOf(const std::string& keyPath, const std::string& name) const {
    std::vector<size_t> found;
    bool inKey = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == LineKind::Header) {
            inKey = line.active && SameName(line.keyPath, keyPath);
        } else if (inKey && line.active &&
                   (line.kind == LineKind::Value || line.kind == LineKind::Deletion ||
                    line.kind == LineKind::Unsupported) &&
                   SameName(line.name, name)) {
            found.push_back(i);
        }
    }
    return found;
}

bool CvRegFile::KeyExists(const std::string& keyPath) const {
    const std::string key = NormalizeKeyPath(keyPath);
    if (key.empty()) {
        return true;
    }
    for (const Line& line : m_lines) {
        if (line.kind == LineKind::Header && line.active && IsSameOrBelow(line.keyPath, key)) {
            return true;
        }
    }
    return false;
}

std::optional<CvRegValue> CvRegFile::ReadValue(const std::string& keyPath,
                                               const std::string& name) const {
    const std::string key = NormalizeKeyPath(keyPath);
    const std::vector<size_t> found = LinesOf(key, name);
    if (found.empty() || m_lines[found.back()].kind != LineKind::Value) {
        return std::nullopt;
    }
    return m_lines[found.back()].value;
}

bool CvRegFile::CreateKey(const std::string& keyPath) {
    const std::string key = NormalizeKeyPath(keyPath);
    if (KeyExists(key)) {
        return false;
    }
    if (!m_lines.empty() && !Trim(m_lines.back().text).empty()) {
        m_lines.push_back(Line{});
    }
    Line header;
    header.kind = LineKind::Header;
    header.active = true;
    header.keyPath = key;
    header.text = std::string("[") + HiveName(m_hive) + (key.empty() ? "" : "\\") + key + "]";
    m_lines.push_back(std::move(header));
    return true;
}

std::string CvRegFile::FormatData(const CvRegValue& value) {
    if (value.kind == CvRegValue::Kind::Dword) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(value.dword));
        return buffer;
    }
    if (value.text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return Utf8ToHex1(value.text);
    }
    return Quote(value.text);
}

std::string CvRegFile::FormatLine(const std::string& name, const CvRegValue& value) {
    return (name.empty() ? std::string("@") : Quote(name)) + "=" + FormatData(value);
}

void CvRegFile::WriteValue(const std::string& keyPath, const std::string& name,
                           const CvRegValue& value) {
    const std::string key = NormalizeKeyPath(keyPath);
    Line line;
    line.kind = LineKind::Value;
    line.active = true;
    line.keyPath = key;
    line.name = name;
    line.value = value;
    line.text = FormatLine(name, value);

    const std::vector<size_t> found = LinesOf(key, name);
    if (!found.empty()) {
        line.keyPath = m_lines[found.back()].keyPath;
        m_lines[found.back()] = std::move(line);
        for (size_t n = found.size() - 1; n-- > 0;) {
            m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(found[n]));
        }
        return;
    }

    // Append to the last section of the key, after its last value line.
    std::optional<size_t> insertAt;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == LineKind::Header && m_lines[i].active &&
            SameName(m_lines[i].keyPath, key)) {
            insertAt = i + 1;
            for (size_t j = i + 1; j < m_lines.size() && m_lines[j].kind != LineKind::Header; ++j) {
                if (m_lines[j].kind != LineKind::Other) {
                    insertAt = j + 1;
                }
            }
        }
    }
    if (!insertAt) {
        if (!m_lines.empty() && !Trim(m_lines.back().text).empty()) {
            m_lines.push_back(Line{});
        }
        Line header;
        header.kind = LineKind::Header;
        header.active = true;
        header.keyPath = key;
        header.text = std::string("[") + HiveName(m_hive) + (key.empty() ? "" : "\\") + key + "]";
        m_lines.push_back(std::move(header));
        insertAt = m_lines.size();
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(line));
}

bool CvRegFile::DeleteValue(const std::string& keyPath, const std::string& name) {
    const std::string key = NormalizeKeyPath(keyPath);
    const bool existed = ReadValue(key, name).has_value();
    const std::vector<size_t> found = LinesOf(key, name);
    for (size_t n = found.size(); n-- > 0;) {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(found[n]));
    }
    return existed;
}
