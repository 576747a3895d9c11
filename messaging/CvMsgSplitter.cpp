#include "messaging/CvMsgSplitter.h"

#include "platform/CvTextCodec.h"

namespace {

// Byte offsets of the code points of `text`, plus its size at the end. A
// byte that is not a UTF-8 continuation byte starts a code point.
std::vector<size_t> CodePointOffsets(const std::string& text) {
    std::vector<size_t> offsets;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 || offsets.empty()) {
            offsets.push_back(i);
        }
    }
    offsets.push_back(text.size());
    return offsets;
}

}  // namespace

std::vector<std::string> CvSplitMessage(const std::string& text, size_t maxChars) {
    std::vector<std::string> parts;
    if (maxChars == 0) {
        return parts;
    }
    const std::vector<size_t> at = CodePointOffsets(text);
    const size_t length = at.size() - 1;
    size_t start = 0;
    while (start < length) {
        size_t end = start + maxChars;
        if (end < length) {
            for (size_t p = end - 1; p > start; --p) {
                const char c = text[at[p]];
                if (c == ' ' || c == 0x13) {
                    end = p + 1;
                    break;
                }
            }
        } else {
            end = length;
        }
        parts.push_back(text.substr(at[start], at[end] - at[start]));
        start = end;
    }
    return parts;
}

std::vector<std::string> CvBroadcastParts(const std::string& text, size_t maxChars, bool fragment) {
    constexpr size_t kMaxFragmentedLength = 1600;
    if (CvText::CodePointCount(text) <= maxChars) {
        return {text};
    }
    if (!fragment) {
        return {CvText::CutToCodePoints(text, maxChars)};
    }
    return CvSplitMessage(CvText::CutToCodePoints(text, kMaxFragmentedLength), maxChars);
}
