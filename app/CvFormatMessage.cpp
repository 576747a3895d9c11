#include "app/CvFormatMessage.h"

std::string CvFormatMessage(const std::string& pattern, const std::vector<std::string>& args) {
    std::string result;
    result.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            const size_t index = static_cast<size_t>(pattern[i + 1] - '1');
            if (index < args.size()) {
                result += args[index];
                ++i;
                continue;
            }
        }
        result += pattern[i];
    }
    return result;
}
