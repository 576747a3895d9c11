#include "messaging/CvMsgSplitter.h"

#include <algorithm>

#include "platform/CvTextCodec.h"

namespace {

constexpr size_t kMaxFragmentedLength = 1600;

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

// The largest end in (start, last] whose part [start, end) takes at most
// `maxOemBytes` once converted by `oem`; start + 1 when not even one character
// fits. The OEM size grows with the end, so a binary search finds it; whole
// parts are converted, as a code page may depend on the characters around.
size_t FittingEnd(const std::string& text, const std::vector<size_t>& at, size_t start, size_t last,
                  size_t maxOemBytes, const CvOemCodec& oem) {
    if (maxOemBytes == kNoOemByteLimit) {
        return last;
    }
    auto fits = [&](size_t end) {
        return oem.ToOem(text.substr(at[start], at[end] - at[start])).size() <= maxOemBytes;
    };
    size_t low = start + 1;  // kept: at least one character
    size_t high = last;
    if (fits(high)) {
        return high;
    }
    while (high - low > 1) {  // fits(low) or low == start + 1; !fits(high)
        const size_t middle = low + (high - low) / 2;
        (fits(middle) ? low : high) = middle;
    }
    return low;
}

}  // namespace

std::vector<std::string> CvSplitMessage(const std::string& text, size_t maxChars,
                                        size_t maxOemBytes, const CvOemCodec& oem) {
    std::vector<std::string> parts;
    if (maxChars == 0) {
        return parts;
    }
    const std::vector<size_t> at = CodePointOffsets(text);
    const size_t length = at.size() - 1;
    size_t start = 0;
    while (start < length) {
        size_t end =
            FittingEnd(text, at, start, std::min(start + maxChars, length), maxOemBytes, oem);
        if (end < length) {
            for (size_t p = end - 1; p > start; --p) {
                const char c = text[at[p]];
                if (c == ' ' || c == 0x13) {
                    end = p + 1;
                    break;
                }
            }
        }
        parts.push_back(text.substr(at[start], at[end] - at[start]));
        start = end;
    }
    return parts;
}

std::vector<std::string> CvBroadcastParts(const std::string& text, size_t maxChars, bool fragment,
                                          size_t maxOemBytes, const CvOemCodec& oem) {
    const bool fitsBytes = maxOemBytes == kNoOemByteLimit || oem.ToOem(text).size() <= maxOemBytes;
    if (CvText::CodePointCount(text) <= maxChars && fitsBytes) {
        return {text};
    }
    if (!fragment) {
        const std::vector<size_t> at = CodePointOffsets(text);
        const size_t end =
            FittingEnd(text, at, 0, std::min(maxChars, at.size() - 1), maxOemBytes, oem);
        return {text.substr(0, at[end])};
    }
    return CvSplitMessage(CvText::CutToCodePoints(text, kMaxFragmentedLength), maxChars,
                          maxOemBytes, oem);
}
