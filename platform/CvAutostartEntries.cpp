#include "platform/CvAutostartEntries.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include <dirent.h>

#include "platform/CvAtomicFile.h"
#include "platform/CvRegFile.h"

namespace {

constexpr std::string_view kSuffix = ".desktop";

// The key file's string escapes; blanks at either end become \s so that the
// reader's trimming keeps them.
std::string EscapeString(std::string_view text) {
    size_t lead = 0;
    while (lead < text.size() && text[lead] == ' ') {
        ++lead;
    }
    size_t trail = text.size();
    while (trail > lead && text[trail - 1] == ' ') {
        --trail;
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case ' ':
                out += (i < lead || i >= trail) ? "\\s" : " ";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string UnescapeString(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += text[i];
        }
    }
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

struct DesktopEntry {
    std::optional<std::string> exec;
    bool hidden = false;
};

DesktopEntry ParseEntry(std::string_view text) {
    DesktopEntry entry;
    bool inMain = false;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        const std::string_view line = Trim(text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            inMain = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inMain || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (key == "Exec" && !entry.exec) {
            entry.exec = std::string(value);
        } else if (key == "Hidden") {
            entry.hidden = value == "true";
        }
    }
    return entry;
}

std::string DecodeFileName(std::string_view file) {
    std::string out;
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '%' && i + 2 < file.size() &&
            std::isxdigit(static_cast<unsigned char>(file[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(file[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(file.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += file[i];
        }
    }
    return out;
}

}  // namespace

CvAutostartEntries::CvAutostartEntries(std::string folder) : m_folder(std::move(folder)) {}

std::string CvAutostartEntries::FileNameFor(const std::string& name) {
    std::string out;
    char buffer[4];
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f || c == '/' || c == '%' || (i == 0 && c == '.')) {
            std::snprintf(buffer, sizeof buffer, "%%%02X", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + std::string(kSuffix);
}

std::string CvAutostartEntries::EscapeExec(const std::string& text) {
    std::string doubled;
    for (const char c : text) {
        doubled += c;
        if (c == '%') {
            doubled += '%';
        }
    }
    return EscapeString(doubled);
}

std::string CvAutostartEntries::UnescapeExec(const std::string& exec) {
    const std::string text = UnescapeString(exec);
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
        }
    }
    return out;
}

std::optional<std::string> CvAutostartEntries::FindFile(const std::string& name) const {
    const std::string exact = m_folder + "/" + FileNameFor(name);
    if (CvAtomicFile::Read(exact)) {
        return exact;
    }
    DIR* dir = opendir(m_folder.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    while (const dirent* item = readdir(dir)) {
        const std::string_view file = item->d_name;
        if (file.size() > kSuffix.size() && file.substr(file.size() - kSuffix.size()) == kSuffix &&
            CvRegFile::SameName(DecodeFileName(file.substr(0, file.size() - kSuffix.size())),
                                name)) {
            found = m_folder + "/" + std::string(file);
            break;
        }
    }
    closedir(dir);
    return found;
}

std::optional<std::string> CvAutostartEntries::Read(const std::string& name) const {
    const auto file = FindFile(name);
    if (!file) {
        return std::nullopt;
    }
    const auto text = CvAtomicFile::Read(*file);
    if (!text) {
        return std::nullopt;
    }
    const DesktopEntry entry = ParseEntry(*text);
    if (entry.hidden) {
        return std::nullopt;
    }
    return UnescapeExec(entry.exec.value_or(""));
}

bool CvAutostartEntries::Write(const std::string& name, const std::string& text) {
    const std::string file = FindFile(name).value_or(m_folder + "/" + FileNameFor(name));
    const std::string content = "[Desktop Entry]\nType=Application\nName=" + EscapeString(name) +
                                "\nExec=" + EscapeExec(text) + "\n";
    return CvAtomicFile::Update(file, [&](const std::string&) { return content; });
}

bool CvAutostartEntries::Remove(const std::string& name) {
    const auto file = FindFile(name);
    if (!file || !Read(name)) {
        return false;
    }
    return CvAtomicFile::Remove(*file);
}

bool CvAutostartEntries::CanWrite() const {
    return CvAtomicFile::CanReplace(m_folder + "/" + FileNameFor("x"));
}
