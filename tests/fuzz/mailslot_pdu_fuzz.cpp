// Decodes the input as a mailslot message, then checks that what was decoded
// encodes into a message that decodes whole again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "netbios/CMailslotPdu.h"
#include "netbios/CPduBuffer.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CPduBuffer input;
    input.Assign(std::span<const uint8_t>(data, size));
    CMailslotPdu pdu;
    pdu.Decode(input);
    Check(pdu.Originator().size() + pdu.Destination().size() + pdu.Text().size() <=
          4 * static_cast<size_t>(input.Length()));

    CPduBuffer output;
    if (pdu.Encode(output)) {
        Check(!output.Overflowed());
        CMailslotPdu again;
        Check(again.Decode(output));
    } else {
        Check(output.Overflowed());
    }
    return 0;
}
