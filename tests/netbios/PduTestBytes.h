#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "netbios/CPduBuffer.h"

// Byte-building helpers for the PDU tests.
namespace PduTestBytes {

using Bytes = std::vector<uint8_t>;

inline Bytes Of(const CPduBuffer& buffer) {
    return Bytes(buffer.Bytes().begin(), buffer.Bytes().end());
}

inline void Append(Bytes& out, std::initializer_list<uint8_t> bytes) {
    out.insert(out.end(), bytes);
}

inline void Append(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

inline void AppendWord(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

// A 32-byte SMB header with the given command, process id and multiplex id,
// every other field 0.
inline Bytes Header(uint8_t command, uint16_t pid = 0, uint16_t mid = 0) {
    Bytes header = {0xFF, 'S', 'M', 'B', command};
    header.resize(26, 0);
    AppendWord(header, pid);
    AppendWord(header, 0);  // user id
    AppendWord(header, mid);
    return header;
}

inline CPduBuffer BufferOf(const Bytes& bytes) {
    CPduBuffer buffer;
    buffer.Assign(bytes);
    return buffer;
}

inline std::string Hex(const Bytes& bytes) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

}  // namespace PduTestBytes
