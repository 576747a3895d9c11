#include "platform/CvElevatedProtocol.h"

#include <cstdint>

#include "platform/CvRegFile.h"
#include "platform/CvRegistryHive.h"

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

// Well-formed UTF-8: no overlong forms, surrogates or values above U+10FFFF.
bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

bool IsPlainName(std::string_view name) {
    if (name.empty() || name.size() > CvElevatedProtocol::kMaxNameBytes || name == "." ||
        name == ".." || !IsUtf8(name)) {
        return false;
    }
    for (const char c : name) {
        if (IsControl(static_cast<unsigned char>(c)) || c == '/') {
            return false;
        }
    }
    return true;
}

std::optional<uint32_t> ParseNumber(std::string_view text) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

namespace CvElevatedProtocol {

std::string EscapeField(std::string_view field) {
    std::string out;
    for (const char c : field) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string FormatLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        line += (i == 0 ? "" : "\t");
        line += EscapeField(fields[i]);
    }
    return line;
}

std::optional<std::vector<std::string>> SplitLine(std::string_view line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c != '\\') {
            fields.back() += c;
        } else if (i + 1 == line.size()) {
            return std::nullopt;
        } else {
            switch (line[++i]) {
                case '\\':
                    fields.back() += '\\';
                    break;
                case 't':
                    fields.back() += '\t';
                    break;
                case 'n':
                    fields.back() += '\n';
                    break;
                case 'r':
                    fields.back() += '\r';
                    break;
                default:
                    return std::nullopt;
            }
        }
    }
    return fields;
}

bool IsValidKeyPath(std::string_view keyPath) {
    if (keyPath.size() > 1024) {
        return false;
    }
    bool first = true;
    for (;;) {
        const auto slash = keyPath.find('\\');
        const std::string_view part = keyPath.substr(0, slash);
        if (!IsPlainName(part) || (first && !CvRegFile::SameName(part, "Software"))) {
            return false;
        }
        first = false;
        if (slash == std::string_view::npos) {
            return true;
        }
        keyPath.remove_prefix(slash + 1);
    }
}

bool IsValidValueName(std::string_view name) {
    return IsPlainName(name);
}

bool IsValidText(std::string_view text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (IsControl(u) && c != '\t' && c != '\n' && c != '\r') {
            return false;
        }
    }
    return IsUtf8(text);
}

std::optional<std::string> Execute(std::string_view line, CvRegistryHive& hive) {
    if (line.size() > kMaxLine) {
        return "error line too long";
    }
    const auto fields = SplitLine(line);
    if (!fields) {
        return "error malformed";
    }
    const std::string& command = (*fields)[0];
    if (command == "quit" && fields->size() == 1) {
        return std::nullopt;
    }
    const size_t expected = command == "delete-value" ? 3 : 4;
    if (command != "set-string" && command != "set-dword" && command != "delete-value") {
        return "error unknown command";
    }
    if (fields->size() != expected) {
        return "error malformed";
    }
    const std::string& keyPath = (*fields)[1];
    const std::string& name = (*fields)[2];
    if (!IsValidKeyPath(keyPath)) {
        return "error bad key path";
    }
    if (!IsValidValueName(name)) {
        return "error bad value name";
    }
    bool done = false;
    if (command == "delete-value") {
        if (!hive.ReadValue(keyPath, name)) {
            return "error not found";
        }
        done = hive.DeleteValue(keyPath, name);
    } else if (command == "set-dword") {
        const auto number = ParseNumber((*fields)[3]);
        if (!number) {
            return "error bad value";
        }
        done = hive.WriteValue(keyPath, name, CvRegValue::Dword(*number));
    } else {
        if (!IsValidText((*fields)[3])) {
            return "error bad value";
        }
        done = hive.WriteValue(keyPath, name, CvRegValue::String((*fields)[3]));
    }
    return done ? "ok" : "error write failed";
}

}  // namespace CvElevatedProtocol
