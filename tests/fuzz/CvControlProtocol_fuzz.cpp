// Fuzzes the control socket's line decoders (another program of the user may
// write anything there). A request or reply that decodes must encode into a
// line that decodes to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "messaging/CvControlProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const auto request = CvControlProtocol::DecodeRequest(line, &error)) {
        std::string again;
        const auto decoded =
            CvControlProtocol::DecodeRequest(CvControlProtocol::EncodeRequest(*request), &again);
        if (!decoded || !(*decoded == *request)) {
            std::abort();
        }
    } else if (error.empty()) {
        std::abort();  // a refused line always says why
    }
    if (const auto reply = CvControlProtocol::DecodeReply(line)) {
        // The encoder cuts a long reason, so the value may shorten once; its
        // line must then be stable.
        const std::string encoded = CvControlProtocol::EncodeReply(*reply);
        const auto decoded = CvControlProtocol::DecodeReply(encoded);
        if (!decoded || CvControlProtocol::EncodeReply(*decoded) != encoded ||
            (reply->error.size() <= CvControlProtocol::kMaxErrorBytes && !(*decoded == *reply))) {
            std::abort();
        }
    }
    return 0;
}
