// Fuzzes the mailslot Transaction decoder. A decoded write that fits the
// encoder's limits must encode again and decode to the same value.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/nbt/SmbMailslotTransaction.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto transaction = SmbMailslotTransaction::Decode(std::span(data, size));
    if (!transaction) {
        return 0;
    }
    (void)transaction.Value().IsMailslot("\\MAILSLOT\\MESSNGR");
    const auto encoded = transaction.Value().Encode();
    if (!encoded) {
        return 0;  // larger than we send, or a name with no bytes
    }
    const auto again = SmbMailslotTransaction::Decode(encoded.Value());
    if (!again || !(again.Value() == transaction.Value())) {
        __builtin_trap();
    }
    return 0;
}
