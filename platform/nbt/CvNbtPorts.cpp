#include "platform/nbt/CvNbtPorts.h"

#include <charconv>
#include <cstdlib>

std::optional<CvNbtPorts> CvNbtPorts::Parse(std::string_view text) {
    uint16_t values[3] = {};
    for (int i = 0; i < 3; ++i) {
        const size_t comma = text.find(',');
        if ((i < 2) != (comma != std::string_view::npos)) {
            return std::nullopt;
        }
        const std::string_view field = text.substr(0, comma);
        unsigned value = 0;
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
        if (error != std::errc() || end != field.data() + field.size() || value == 0 ||
            value > 65535) {
            return std::nullopt;
        }
        values[i] = static_cast<uint16_t>(value);
        text = i < 2 ? text.substr(comma + 1) : std::string_view();
    }
    return CvNbtPorts{values[0], values[1], values[2]};
}

CvNbtPorts CvNbtPorts::FromEnvironment() {
    const char* text = std::getenv("CORVANE_NBT_PORTS");
    if (text == nullptr) {
        return {};
    }
    return Parse(text).value_or(CvNbtPorts{});
}
