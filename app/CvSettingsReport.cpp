#include "app/CvSettingsReport.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "platform/CvRegistryHive.h"

namespace {

std::string Quoted(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            result += escape;
        } else {
            result += c;
        }
    }
    return result + "\"";
}

std::string ValueText(const CvPropertyValue& value) {
    switch (value.GetKind()) {
        case CvPropertyValue::Kind::Text:
            return Quoted(value.GetText());
        case CvPropertyValue::Kind::Integer:
            return std::to_string(value.GetInt());
        default:
            return "(empty)";
    }
}

std::string Padded(const std::string& text, size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

}  // namespace

std::string CvFormatSettingsReport(const CvAppPropertyList& list, const CvSettingSources& sources) {
    struct Line {
        std::string id, key, source, value;
    };
    std::vector<const CvSettingRow*> rows;
    for (const CvSettingRow& row : CvAppSettingsTable()) {
        rows.push_back(&row);
    }
    std::sort(rows.begin(), rows.end(), [](const auto* a, const auto* b) { return a->id < b->id; });

    std::vector<Line> lines{{"Id", "Key", "Source", "Value"}};
    for (const CvSettingRow* row : rows) {
        auto source = sources.find(row->id);
        lines.push_back({std::to_string(row->id),
                         row->key[0] != '\0' ? row->key : "(autostart state)",
                         CvSettingSourceName(source != sources.end() ? source->second
                                                                     : CvSettingSource::Default),
                         ValueText(list.Get(row->id))});
    }
    size_t idWidth = 0, keyWidth = 0, sourceWidth = 0;
    for (const Line& line : lines) {
        idWidth = std::max(idWidth, line.id.size());
        keyWidth = std::max(keyWidth, line.key.size());
        sourceWidth = std::max(sourceWidth, line.source.size());
    }
    std::string text;
    for (const Line& line : lines) {
        text += std::string(idWidth - line.id.size(), ' ') + line.id + "  " +
                Padded(line.key, keyWidth) + "  " + Padded(line.source, sourceWidth) + "  " +
                line.value + "\n";
    }
    return text;
}

std::string CvDescribeSettingStores(const CvAppPaths& paths) {
    if (paths.IsIniMode()) {
        return "INI file: " + paths.IniPath() + "\n";
    }
    return "user registry: " + CvRegistryHive(CvHive::CurrentUser).FilePath() + "\n" +
           "machine registry: " + CvRegistryHive(CvHive::LocalMachine).FilePath() + "\n";
}
