#pragma once

#include <cstdint>
#include <span>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtResult.h"

// A session service frame (TCP 139): TYPE and the trailer; FLAGS and LENGTH
// are derived when encoding (the E bit carries the 17th length bit).
struct NbtSessionFrame {
    uint8_t type = kSsnMessage;
    NbtBytes trailer;

    struct Header {
        uint8_t type = 0;
        uint32_t length = 0;
    };
    struct RequestNames {
        NbtName called;
        NbtName calling;
    };
    struct Retarget {
        uint32_t address = 0;  // IPv4, host order
        uint16_t port = 0;
    };

    static NbtSessionFrame SessionMessage(std::span<const uint8_t> payload);
    static NbtSessionFrame SessionRequest(const NbtName& called, const NbtName& calling);
    static NbtSessionFrame PositiveResponse();
    static NbtSessionFrame NegativeResponse(uint8_t errorCode);
    static NbtSessionFrame RetargetResponse(uint32_t address, uint16_t port);
    static NbtSessionFrame KeepAlive();

    // Checks a 4-byte header. Errors: BadType for an unknown TYPE, BadFlags
    // for any FLAGS bit but E, BadLength when a response or keep-alive has
    // the wrong LENGTH (0x82 and 0x85: 0, 0x83: 1, 0x84: 6).
    static NbtResult<Header> DecodeHeader(std::span<const uint8_t, kSsnHeaderLength> header);
    // Decodes exactly one frame. Errors: those of DecodeHeader, Truncated,
    // BadLength when bytes follow the trailer.
    static NbtResult<NbtSessionFrame> Decode(std::span<const uint8_t> frame);
    // Errors: those of DecodeHeader for the frame's type and trailer length,
    // TooLarge for a trailer over 0x1FFFF bytes.
    NbtResult<NbtBytes> Encode() const;

    // The trailer of a SESSION REQUEST: called, then calling name, filling
    // it exactly. Errors: BadType for another frame type, BadLength for bytes
    // after the names, and the name errors (no compression allowed).
    NbtResult<RequestNames> DecodeSessionRequest() const;
    // The error code of a NEGATIVE SESSION RESPONSE. Errors: BadType, BadLength.
    NbtResult<uint8_t> DecodeNegativeResponse() const;
    // The address of a RETARGET SESSION RESPONSE. Errors: BadType, BadLength.
    NbtResult<Retarget> DecodeRetargetResponse() const;

    bool operator==(const NbtSessionFrame&) const = default;
};
