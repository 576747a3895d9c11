#include "messaging/CvMsgLineFormat.h"

#include <cstdint>
#include <cstdio>

#include "app/CvTimeStamp.h"
#include "platform/CvTextCodec.h"

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at `i` (1 for ASCII), with its code
// point; 0 when the bytes there are not valid UTF-8.
size_t DecodeUtf8(const std::string& text, size_t i, uint32_t& codePoint) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    if (c < 0x80) {
        codePoint = c;
        return 1;
    }
    if ((c & 0xE0) == 0xC0) {
        length = 2;
        codePoint = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        codePoint = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        codePoint = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (codePoint < minimum || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// C0, DEL and C1: a terminal acts on each of them.
bool IsControl(uint32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

// Appends `text` to `out` code point by code point: bytes that are not valid
// UTF-8 become U+FFFD; `replace(codePoint, out)` may append something else
// for a code point and return true, or return false to keep it.
template <class Replace>
void Transcribe(const std::string& text, std::string& out, Replace replace) {
    for (size_t i = 0; i < text.size();) {
        uint32_t codePoint = 0;
        const size_t length = DecodeUtf8(text, i, codePoint);
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        if (!replace(codePoint, out)) {
            out.append(text, i, length);
        }
        i += length;
    }
}

}  // namespace

namespace CvMsgLineFormat {

std::string DisplayText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\x14') {
            out += '\n';
        } else if (c == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out += c;
        }
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    Transcribe(text, out, [](uint32_t codePoint, std::string& escaped) {
        switch (codePoint) {
            case '"':
                escaped += "\\\"";
                return true;
            case '\\':
                escaped += "\\\\";
                return true;
            case '\n':
                escaped += "\\n";
                return true;
            case '\r':
                escaped += "\\r";
                return true;
            case '\t':
                escaped += "\\t";
                return true;
            case '\b':
                escaped += "\\b";
                return true;
            case '\f':
                escaped += "\\f";
                return true;
            default:
                if (!IsControl(codePoint)) {
                    return false;
                }
                char code[8];
                std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(codePoint));
                escaped += code;
                return true;
        }
    });
    out += '"';
    return out;
}

std::string Json(const CMsg& msg) {
    return "{\"type\":" + std::to_string(msg.type) + ",\"sender\":" + JsonString(msg.sender) +
           ",\"recipient\":" + JsonString(msg.recipient) +
           ",\"text\":" + JsonString(DisplayText(msg.text)) +
           ",\"time\":" + JsonString(CvTimeStampText(msg.time)) + "}";
}

std::string Plain(const CMsg& msg) {
    const char* kind = msg.type == MsgPersonal ? "personal" : "broadcast";
    return CvTimeStampText(msg.time) + " " + kind + " " + Printable(msg.sender, false) + " -> " +
           Printable(msg.recipient, false) + ": " + Printable(DisplayText(msg.text), true);
}

std::string Printable(const std::string& text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    Transcribe(text, out, [keepLineBreaks](uint32_t codePoint, std::string& shown) {
        const bool kept = keepLineBreaks && (codePoint == '\n' || codePoint == '\t');
        if (!IsControl(codePoint) || kept) {
            return false;
        }
        shown += '?';
        return true;
    });
    return out;
}

std::string ReceivedName(const std::string& name) {
    return CvText::CutToCodePoints(Printable(name, false), kMaxReceivedNameCodePoints);
}

bool HasControlCharacters(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        uint32_t codePoint = 0;
        const size_t length = DecodeUtf8(text, i, codePoint);
        if (length == 0 || IsControl(codePoint)) {
            return true;
        }
        i += length;
    }
    return false;
}

}  // namespace CvMsgLineFormat
