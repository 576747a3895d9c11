// Fuzzes the session stream reader. The first input byte picks the read size,
// so frames arrive split at varying positions. Every frame the reader returns
// must encode again, decode to itself, and survive the typed trailer decoders.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/nbt/NbtSessionFrame.h"
#include "platform/nbt/NbtSessionFrameReader.h"

namespace {

void Check(const NbtSessionFrame& frame) {
    const auto encoded = frame.Encode();
    if (!encoded) {
        __builtin_trap();
    }
    const auto again = NbtSessionFrame::Decode(encoded.Value());
    if (!again || !(again.Value() == frame)) {
        __builtin_trap();
    }
    const auto names = frame.DecodeSessionRequest();
    if (names) {
        const NbtSessionFrame rebuilt =
            NbtSessionFrame::SessionRequest(names.Value().called, names.Value().calling);
        if (!(rebuilt == frame)) {
            __builtin_trap();
        }
    }
    (void)frame.DecodeNegativeResponse();
    (void)frame.DecodeRetargetResponse();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t chunk = size_t{data[0]} + 1;
    const std::span<const uint8_t> stream(data + 1, size - 1);
    NbtSessionFrameReader reader;
    for (size_t offset = 0; offset < stream.size(); offset += chunk) {
        reader.Feed(stream.subspan(offset, std::min(chunk, stream.size() - offset)));
        while (true) {
            auto next = reader.Next();
            if (!next) {
                return 0;
            }
            if (!next.Value()) {
                break;
            }
            Check(*next.Value());
        }
    }
    return 0;
}
