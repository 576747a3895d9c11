// Fuzzes the name service packet decoder and the RDATA decoders. A decoded
// packet must encode again and decode to the same value.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtNamePacket.h"
#include "platform/nbt/NbtNbAddress.h"
#include "platform/nbt/NbtNodeStatus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto packet = NbtNamePacket::Decode(std::span(data, size));
    if (!packet) {
        return 0;
    }
    const auto encoded = packet.Value().Encode();
    if (!encoded) {
        __builtin_trap();
    }
    const auto again = NbtNamePacket::Decode(encoded.Value());
    if (!again || !(again.Value() == packet.Value())) {
        __builtin_trap();
    }
    for (const NbtResourceRecord& record : packet.Value().answers) {
        if (record.type == kNbtTypeNbstat) {
            const auto status = NbtNodeStatus::Decode(record.rdata);
            if (status) {
                (void)status.Value().Encode();
            }
        } else {
            const auto addresses = NbtNbAddress::DecodeList(record.rdata);
            if (addresses && NbtNbAddress::EncodeList(addresses.Value()) != record.rdata) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
