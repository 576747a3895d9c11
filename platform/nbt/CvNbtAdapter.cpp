#include "platform/nbt/CvNbtAdapter.h"

#include <fstream>
#include <string>

std::array<uint8_t, kNbtUnitIdLength> CvNbtAdapter::MakeUnitId(const CvIpAdapter& adapter) {
    std::array<uint8_t, kNbtUnitIdLength> unitId{};
    std::ifstream file("/sys/class/net/" + adapter.interfaceName + "/address");
    std::string text;
    if (file >> text && text.size() == 17) {
        bool ok = true;
        for (size_t i = 0; i < kNbtUnitIdLength && ok; ++i) {
            try {
                unitId[i] = static_cast<uint8_t>(std::stoul(text.substr(i * 3, 2), nullptr, 16));
            } catch (...) {
                ok = false;
            }
        }
        if (ok) {
            return unitId;
        }
    }
    // A locally administered address built from the IPv4 address.
    unitId = {0x02,
              0x00,
              static_cast<uint8_t>(adapter.address >> 24),
              static_cast<uint8_t>(adapter.address >> 16),
              static_cast<uint8_t>(adapter.address >> 8),
              static_cast<uint8_t>(adapter.address)};
    return unitId;
}
