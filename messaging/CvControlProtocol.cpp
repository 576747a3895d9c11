#include "messaging/CvControlProtocol.h"

#include <vector>

#include "messaging/CMsg.h"
#include "platform/CvTextCodec.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

std::string EncodeField(const std::string& value) {
    if (value.empty()) {
        return "-";
    }
    if (value == "-") {
        return "%2D";
    }
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        if (c == '%' || c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Only the escaped form of such bytes is accepted, so that every value has
// one spelling on the line.
std::optional<std::string> DecodeField(const std::string& field) {
    if (field == "-") {
        return std::string();
    }
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        if (c == '%') {
            if (i + 2 >= field.size()) {
                return std::nullopt;
            }
            const int high = HexValue(field[i + 1]);
            const int low = HexValue(field[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c <= 0x20 || c >= 0x7F) {
            return std::nullopt;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool IsValidUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t codePoint = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            codePoint = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            codePoint = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            codePoint = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        const uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (codePoint < minimum || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

bool HasControl(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

// The length of text cut to at most `limit` bytes without splitting a UTF-8
// sequence: a cut line must still decode.
size_t CutAtCodePoint(const std::string& text, size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    size_t cut = limit;
    // Continuation bytes at the cut belong to the sequence it would split;
    // a sequence has at most three of them.
    for (int back = 0; back < 3 && cut > 0; ++back) {
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80) {
            break;
        }
        --cut;
    }
    return cut;
}

std::vector<std::string> SplitSpaces(const std::string& line) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t space = line.find(' ', start);
        parts.push_back(line.substr(start, space - start));
        if (space == std::string::npos) {
            return parts;
        }
        start = space + 1;
    }
}

std::string StripNewline(const std::string& line) {
    return !line.empty() && line.back() == '\n' ? line.substr(0, line.size() - 1) : line;
}

bool CheckName(const std::string& name, bool required, const char* what, std::string& error) {
    if (name.empty()) {
        if (required) {
            error = std::string("empty ") + what;
        }
        return !required;
    }
    if (!IsValidUtf8(name) || HasControl(name)) {
        error = std::string("malformed ") + what;
        return false;
    }
    if (CvText::CodePointCount(name) > CvControlProtocol::kMaxNameCodePoints) {
        error = std::string(what) + " longer than 15 characters";
        return false;
    }
    return true;
}

}  // namespace

namespace CvControlProtocol {

std::string EncodeRequest(const CvControlRequest& request) {
    return "SEND " + std::to_string(request.type) + " " + EncodeField(request.recipient) + " " +
           EncodeField(request.sender) + " " + EncodeField(request.text) + "\n";
}

std::optional<CvControlRequest> DecodeRequest(const std::string& rawLine, std::string* error) {
    std::string reason;
    auto fail = [&](std::string why) -> std::optional<CvControlRequest> {
        if (error != nullptr) {
            *error = std::move(why);
        }
        return std::nullopt;
    };
    if (rawLine.size() > kMaxLine) {
        return fail("request too long");
    }
    const std::string line = StripNewline(rawLine);
    if (line.find('\n') != std::string::npos) {
        return fail("malformed request");
    }
    const auto parts = SplitSpaces(line);
    if (parts.empty() || parts[0] != "SEND") {
        return fail("unknown request");
    }
    if (parts.size() != 5) {
        return fail("malformed request");
    }
    CvControlRequest request;
    if (parts[1] == "1") {
        request.type = MsgPersonal;
    } else if (parts[1] == "2") {
        request.type = MsgBroadcast;
    } else {
        return fail("unknown message type");
    }
    auto recipient = DecodeField(parts[2]);
    auto sender = DecodeField(parts[3]);
    auto text = DecodeField(parts[4]);
    if (!recipient || !sender || !text) {
        return fail("malformed field");
    }
    if (!CheckName(*recipient, true, "recipient", reason) ||
        !CheckName(*sender, false, "sender", reason)) {
        return fail(reason);
    }
    if (text->size() > kMaxTextBytes) {
        return fail("text too long");
    }
    if (!IsValidUtf8(*text) || text->find('\0') != std::string::npos) {
        return fail("malformed text");
    }
    request.recipient = std::move(*recipient);
    request.sender = std::move(*sender);
    request.text = std::move(*text);
    return request;
}

std::string EncodeReply(const CvControlReply& reply) {
    if (reply.code != 0) {
        return "RESULT " + std::to_string(reply.code) + "\n";
    }
    std::string reason = reply.error.substr(0, CutAtCodePoint(reply.error, kMaxErrorBytes));
    if (reason.empty()) {
        reason = "refused";
    }
    return "ERROR " + EncodeField(reason) + "\n";
}

std::optional<CvControlReply> DecodeReply(const std::string& rawLine) {
    if (rawLine.size() > kMaxLine) {
        return std::nullopt;
    }
    const std::string line = StripNewline(rawLine);
    const auto parts = SplitSpaces(line);
    if (parts.size() != 2) {
        return std::nullopt;
    }
    CvControlReply reply;
    if (parts[0] == "RESULT") {
        if (parts[1].size() != 1 || parts[1][0] < '1' || parts[1][0] > '5') {
            return std::nullopt;
        }
        reply.code = parts[1][0] - '0';
        return reply;
    }
    if (parts[0] == "ERROR") {
        auto reason = DecodeField(parts[1]);
        if (!reason || reason->empty() || !IsValidUtf8(*reason)) {
            return std::nullopt;
        }
        reply.error = std::move(*reason);
        return reply;
    }
    return std::nullopt;
}

}  // namespace CvControlProtocol
