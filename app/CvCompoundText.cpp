#include "app/CvCompoundText.h"

#include <cstdint>
#include <cstdio>

namespace CvCompoundText {

Pairs Parse(const std::string& text) {
    Pairs pairs;
    size_t pos = 0;
    while (pos < text.size()) {
        pos = text.find_first_not_of(", ", pos);
        if (pos == std::string::npos) {
            break;
        }
        size_t end = text.find(',', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string piece = text.substr(pos, end - pos);
        const size_t equals = piece.find('=');
        if (equals != std::string::npos) {
            pairs.emplace_back(piece.substr(0, equals), piece.substr(equals + 1));
        }
        pos = end;
    }
    return pairs;
}

std::string Format(const Pairs& pairs) {
    std::string text;
    for (const auto& [key, value] : pairs) {
        if (!text.empty()) {
            text += ", ";
        }
        text += key + "=" + value;
    }
    return text;
}

std::optional<std::string> Find(const std::string& text, const std::string& key) {
    for (auto& [name, value] : Parse(text)) {
        if (name == key) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<uint32_t> ParseColor(const std::string& value) {
    if (value.empty() || value.size() > 8) {
        return std::nullopt;
    }
    uint32_t color = 0;
    for (char c : value) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        color = color * 16 + static_cast<uint32_t>(digit);
    }
    return color;
}

std::string FormatColor(uint32_t color) {
    char text[16];
    std::snprintf(text, sizeof text, "%06x", color);
    return text;
}

}  // namespace CvCompoundText
