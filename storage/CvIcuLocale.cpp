#include "storage/CvIcuLocale.h"

std::string CvIcuLocaleId(const std::string& localeName) {
    std::string name = localeName;
    const size_t dot = name.find('.');
    if (dot != std::string::npos) {
        const size_t at = name.find('@', dot);
        name.erase(dot, at == std::string::npos ? std::string::npos : at - dot);
    }
    if (name == "C" || name == "POSIX") {
        return "";
    }
    return name;
}
