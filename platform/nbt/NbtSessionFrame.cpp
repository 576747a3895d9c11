#include "platform/nbt/NbtSessionFrame.h"

#include <optional>

#include "platform/nbt/NbtByteReader.h"
#include "platform/nbt/NbtByteWriter.h"

namespace {

// The LENGTH a frame type must carry, or -1 when any length is allowed.
int FixedLength(uint8_t type) {
    switch (type) {
        case kSsnPositiveResponse:
        case kSsnKeepAlive:
            return 0;
        case kSsnNegativeResponse:
            return 1;
        case kSsnRetargetResponse:
            return 6;
        default:
            return -1;
    }
}

bool IsKnownType(uint8_t type) {
    return type == kSsnMessage || (type >= kSsnRequest && type <= kSsnKeepAlive);
}

// BadType or BadLength for a header that no frame may carry.
std::optional<NbtError> CheckTypeAndLength(uint8_t type, uint32_t length) {
    if (!IsKnownType(type)) {
        return NbtError::BadType;
    }
    const int fixed = FixedLength(type);
    if (fixed >= 0 && length != static_cast<uint32_t>(fixed)) {
        return NbtError::BadLength;
    }
    return std::nullopt;
}

}  // namespace

NbtSessionFrame NbtSessionFrame::SessionMessage(std::span<const uint8_t> payload) {
    return {kSsnMessage, NbtBytes(payload.begin(), payload.end())};
}

NbtSessionFrame NbtSessionFrame::SessionRequest(const NbtName& called, const NbtName& calling) {
    NbtByteWriter writer;
    called.AppendWire(writer);
    calling.AppendWire(writer);
    return {kSsnRequest, writer.Take()};
}

NbtSessionFrame NbtSessionFrame::PositiveResponse() {
    return {kSsnPositiveResponse, {}};
}

NbtSessionFrame NbtSessionFrame::NegativeResponse(uint8_t errorCode) {
    return {kSsnNegativeResponse, {errorCode}};
}

NbtSessionFrame NbtSessionFrame::RetargetResponse(uint32_t address, uint16_t port) {
    NbtByteWriter writer;
    writer.WriteU32Be(address);
    writer.WriteU16Be(port);
    return {kSsnRetargetResponse, writer.Take()};
}

NbtSessionFrame NbtSessionFrame::KeepAlive() {
    return {kSsnKeepAlive, {}};
}

NbtResult<NbtSessionFrame::Header> NbtSessionFrame::DecodeHeader(
    std::span<const uint8_t, kSsnHeaderLength> header) {
    const uint8_t type = header[0];
    const uint8_t flags = header[1];
    if (!IsKnownType(type)) {
        return NbtError::BadType;
    }
    if ((flags & ~kSsnFlagExtension) != 0) {
        return NbtError::BadFlags;
    }
    const uint32_t length = (static_cast<uint32_t>(flags & kSsnFlagExtension) << 16) |
                            (uint32_t{header[2]} << 8) | uint32_t{header[3]};
    if (const auto error = CheckTypeAndLength(type, length)) {
        return *error;
    }
    return Header{type, length};
}

NbtResult<NbtSessionFrame> NbtSessionFrame::Decode(std::span<const uint8_t> frame) {
    if (frame.size() < kSsnHeaderLength) {
        return NbtError::Truncated;
    }
    const auto header = DecodeHeader(frame.first<kSsnHeaderLength>());
    if (!header) {
        return header.Error();
    }
    const size_t available = frame.size() - kSsnHeaderLength;
    if (available < header.Value().length) {
        return NbtError::Truncated;
    }
    if (available > header.Value().length) {
        return NbtError::BadLength;
    }
    const auto trailer = frame.subspan(kSsnHeaderLength);
    return NbtSessionFrame{header.Value().type, NbtBytes(trailer.begin(), trailer.end())};
}

NbtResult<NbtBytes> NbtSessionFrame::Encode() const {
    if (trailer.size() > kSsnMaxLength) {
        return NbtError::TooLarge;
    }
    const auto length = static_cast<uint32_t>(trailer.size());
    if (const auto error = CheckTypeAndLength(type, length)) {
        return *error;
    }
    NbtByteWriter writer;
    writer.WriteU8(type);
    writer.WriteU8(static_cast<uint8_t>((length >> 16) & kSsnFlagExtension));
    writer.WriteU16Be(static_cast<uint16_t>(length));
    writer.WriteBytes(trailer);
    return writer.Take();
}

NbtResult<NbtSessionFrame::RequestNames> NbtSessionFrame::DecodeSessionRequest() const {
    if (type != kSsnRequest) {
        return NbtError::BadType;
    }
    size_t offset = 0;
    auto called = NbtName::DecodeWire(trailer, offset, false);
    if (!called) {
        return called.Error();
    }
    auto calling = NbtName::DecodeWire(trailer, offset, false);
    if (!calling) {
        return calling.Error();
    }
    if (offset != trailer.size()) {
        return NbtError::BadLength;
    }
    return RequestNames{std::move(called).Value(), std::move(calling).Value()};
}

NbtResult<uint8_t> NbtSessionFrame::DecodeNegativeResponse() const {
    if (type != kSsnNegativeResponse) {
        return NbtError::BadType;
    }
    if (trailer.size() != 1) {
        return NbtError::BadLength;
    }
    return trailer[0];
}

NbtResult<NbtSessionFrame::Retarget> NbtSessionFrame::DecodeRetargetResponse() const {
    if (type != kSsnRetargetResponse) {
        return NbtError::BadType;
    }
    if (trailer.size() != 6) {
        return NbtError::BadLength;
    }
    NbtByteReader reader(trailer);
    Retarget retarget;
    reader.ReadU32Be(retarget.address);
    reader.ReadU16Be(retarget.port);
    return retarget;
}
