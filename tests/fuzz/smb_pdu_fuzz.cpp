// Decodes the input as every SMB messenger PDU, then checks that what was
// decoded encodes into a message that decodes whole again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "netbios/CPduBuffer.h"
#include "netbios/CSmbDgPdu_sendb.h"
#include "netbios/CSmbPdu.h"
#include "netbios/CSmbPdu_sendend.h"
#include "netbios/CSmbPdu_sends.h"
#include "netbios/CSmbPdu_sendstrt.h"
#include "netbios/CSmbPdu_sendtxt.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::unique_ptr<CSmbPdu>> pdus;
    pdus.push_back(std::make_unique<CSmbPdu>());
    pdus.push_back(std::make_unique<CSmbPdu_sends>());
    pdus.push_back(std::make_unique<CSmbPdu_sendstrt>());
    pdus.push_back(std::make_unique<CSmbPdu_sendtxt>());
    pdus.push_back(std::make_unique<CSmbPdu_sendend>());
    pdus.push_back(std::make_unique<CSmbDgPdu_sendb>());

    for (const std::unique_ptr<CSmbPdu>& pdu : pdus) {
        CPduBuffer input;
        input.Assign(std::span<const uint8_t>(data, size));
        pdu->Decode(input);
        Check(input.Length() <= CPduBuffer::kCapacity);
        Check(pdu->WordCount() <= 255);
        Check(pdu->ByteCount() <= CSmbPdu::kMaxDataBytes);

        CSmbPdu reply = pdu->MakeReply(pdu->GroupId());
        CPduBuffer replyBuffer;
        Check(reply.Encode(replyBuffer));
        Check(replyBuffer.Length() == CSmbPdu::kHeaderSize + 5);

        CPduBuffer output;
        if (pdu->Encode(output)) {
            Check(!output.Overflowed());
            Check(pdu->Decode(output));
        } else {
            Check(output.Overflowed());
        }
    }
    return 0;
}
