#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/nbt/NbtByteWriter.h"
#include "platform/nbt/NbtResult.h"

// A NetBIOS name: the 16 raw bytes (15 OEM characters padded, then the suffix)
// and an optional dotted scope. Bytes are taken as they are: no case or
// charset conversion happens here. A constructed or decoded name is always
// valid, so encoding it cannot fail.
class NbtName {
public:
    // The empty unique name: 15 spaces and suffix 0x00.
    NbtName();

    // Pads name to 15 bytes with spaces (the wildcard "*" with 0x00) and
    // appends suffix. Errors: NameTooLong for more than 15 bytes or a wire form
    // over 255 bytes; BadScope for an empty or longer than 63 byte scope label.
    static NbtResult<NbtName> Make(std::string_view name, uint8_t suffix,
                                   std::string_view scope = {});
    // Takes the 16 raw bytes as they are. Errors: BadLength unless raw has 16
    // bytes; scope as in Make.
    static NbtResult<NbtName> FromRaw(std::string_view raw, std::string_view scope = {});

    const std::string& Raw() const { return m_raw; }
    // The first 15 bytes without trailing spaces and 0x00 padding.
    std::string Name() const;
    uint8_t Suffix() const { return static_cast<uint8_t>(m_raw[15]); }
    const std::string& Scope() const { return m_scope; }

    // The 32 bytes 'A'..'P' of the first-level encoding.
    std::string FirstLevelEncoded() const;
    // Turns 32 bytes 'A'..'P' back into the 16 raw bytes. Errors: BadLabelLength
    // unless 32 bytes; BadNameEncoding for any byte outside 'A'..'P'.
    static NbtResult<std::string> DecodeFirstLevel(std::string_view encoded);

    // Bytes of the uncompressed wire form: 0x20, 32 bytes, scope labels, 0x00.
    size_t WireLength() const;
    void AppendWire(NbtByteWriter& writer) const;
    NbtBytes EncodeWire() const;

    // Decodes the wire name at offset in packet and advances offset past it
    // (past the first compression pointer when there is one). Pointers are
    // offsets from the start of packet and are followed only when
    // allowPointers is set. Errors: Truncated, BadLabelLength (first label not
    // 32 bytes, top bits 01/10), BadNameEncoding, BadPointer, TooManyPointers
    // (more than 10, which also ends pointer loops), NameTooLong, BadScope (a
    // label containing '.').
    static NbtResult<NbtName> DecodeWire(std::span<const uint8_t> packet, size_t& offset,
                                         bool allowPointers);

    bool operator==(const NbtName&) const = default;

private:
    NbtName(std::string raw, std::string scope)
        : m_raw(std::move(raw)), m_scope(std::move(scope)) {}
    static bool IsValidScope(std::string_view scope);

    std::string m_raw;
    std::string m_scope;
};
