// Fuzzes the datagram service decoder. A decoded packet must encode again and
// decode to the same value.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/nbt/NbtDatagramPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto packet = NbtDatagramPacket::Decode(std::span(data, size));
    if (!packet) {
        return 0;
    }
    const auto encoded = packet.Value().Encode();
    if (!encoded) {
        __builtin_trap();
    }
    const auto again = NbtDatagramPacket::Decode(encoded.Value());
    if (!again || !(again.Value() == packet.Value())) {
        __builtin_trap();
    }
    return 0;
}
