// Fuzzes the adapter status reader, which reads what a node status answer
// from another station filled in. What decodes must encode to the same bytes
// up to the last counted entry and decode to itself again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "platform/CvAdapterStatus.h"
#include "platform/CvNcb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto status = CvAdapterStatus::Decode(std::span(data, size));
    if (!status) {
        return 0;
    }
    const size_t encodedSize = CvAdapterStatus::EncodedSize(status->names.size());
    if (encodedSize > size) {
        std::abort();  // decoded more than the input held
    }
    if (encodedSize > 0xFFFF) {
        return 0;  // more than one answer buffer carries
    }
    std::vector<uint8_t> buffer(encodedSize);
    uint16_t length = static_cast<uint16_t>(buffer.size());
    if (status->Encode(buffer.data(), length) != kNrcGoodRet || length != encodedSize) {
        std::abort();
    }
    const auto again = CvAdapterStatus::Decode(std::span(buffer.data(), length));
    if (!again || !(*again == *status)) {
        std::abort();
    }
    return 0;
}
