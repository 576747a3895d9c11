#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Name flags of a NAME_BUFFER entry.
inline constexpr uint8_t kNameFlagGroup = 0x80;       // group name (else unique)
inline constexpr uint8_t kNameFlagRegistered = 0x04;  // registration completed
inline constexpr uint8_t kNameFlagStateMask = 0x07;

// The answer to an adapter status command, in the layout Windows programs
// read: a 60-byte ADAPTER_STATUS header (all words little-endian, name_count
// at offset 58) followed by name_count 18-byte NAME_BUFFER entries
// {name[16], name_num, name_flags}.
struct CvAdapterStatus {
    struct Name {
        std::array<uint8_t, 16> name{};
        uint8_t number = 0;
        uint8_t flags = 0;

        bool IsGroup() const { return (flags & kNameFlagGroup) != 0; }
        bool operator==(const Name&) const = default;
    };

    static constexpr size_t kHeaderSize = 60;
    static constexpr size_t kNameSize = 18;

    std::array<uint8_t, 6> mac{};
    uint8_t revMajor = 3;
    uint8_t adapterType = 0xFE;  // Ethernet
    uint8_t revMinor = 0;
    uint16_t maxDatagramSize = 512;
    uint16_t pendingSessions = 0;
    uint16_t maxSessions = 254;
    uint16_t maxSessionPacketSize = 0xFFFF;
    std::vector<Name> names;  // at most 0xFFFF entries are encoded

    static size_t EncodedSize(size_t nameCount) { return kHeaderSize + kNameSize * nameCount; }

    // Writes as much of the answer as fits into `buffer` (`length` bytes) and
    // sets `length` to the bytes written. Returns kNrcGoodRet when everything
    // fit, kNrcIncomp when the answer was cut (name_count still gives the full
    // count), kNrcBufLen for a null buffer with a non-zero length.
    uint8_t Encode(uint8_t* buffer, uint16_t& length) const;

    // Reads a complete answer; nullopt when the header or any of the counted
    // name entries is missing (a cut answer is not guessed at). Bytes after
    // the last entry are ignored.
    static std::optional<CvAdapterStatus> Decode(std::span<const uint8_t> bytes);

    bool operator==(const CvAdapterStatus&) const = default;
};
