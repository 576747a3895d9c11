#include "ui/CvAppearance.h"

#include <QString>

#include "app/CvCompoundText.h"

namespace CvAppearance {

QColor FromColorRef(uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

uint32_t ToColorRef(const QColor& color) {
    return static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8) |
           (static_cast<uint32_t>(color.blue()) << 16);
}

QFont Font(const std::string& setting, const QFont& base) {
    QFont font = base;
    const auto name = CvCompoundText::Find(setting, "name");
    if (name && !name->empty()) {
        font.setFamily(QString::fromStdString(*name));
    }
    if (const auto size = CvCompoundText::Find(setting, "size")) {
        bool ok = false;
        const int points = QString::fromStdString(*size).trimmed().toInt(&ok);
        if (ok && points >= 1 && points <= kMaxPointSize) {
            font.setPointSize(points);
        }
    }
    return font;
}

std::optional<QColor> Color(const std::string& setting, const char* key) {
    const auto value = CvCompoundText::Find(setting, key);
    const auto color = value ? CvCompoundText::ParseColor(*value) : std::nullopt;
    if (!color) {
        return std::nullopt;
    }
    return FromColorRef(*color);
}

}  // namespace CvAppearance
