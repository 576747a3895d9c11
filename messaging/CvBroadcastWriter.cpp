#include "messaging/CvBroadcastWriter.h"

#include "messaging/CvError.h"
#include "messaging/CvMsgComposer.h"
#include "messaging/CvMsgSplitter.h"
#include "netbios/CMailslot.h"
#include "netbios/CMailslotPdu.h"
#include "netbios/CPort.h"

static_assert(kMaxBroadcastMessageBytes == CMailslot::kMaxMessageSize);

std::vector<std::string> CvBroadcastMessageParts(const CMsg& msg, size_t maxChars, bool fragment,
                                                 const CvOemCodec& oem) {
    constexpr size_t kTerminators = 3;
    const size_t names =
        oem.ToOem(msg.sender).size() + oem.ToOem(msg.recipient).size() + kTerminators;
    if (names >= kMaxBroadcastMessageBytes) {
        throw CvDataTransmissionErr("WriteFile");  // no room left for any text
    }
    return CvBroadcastParts(msg.text, maxChars, fragment, kMaxBroadcastMessageBytes - names, oem);
}

std::string CvBroadcastSentText(const CMsg& msg, size_t maxChars, bool fragment,
                                const CvOemCodec& oem) {
    try {
        std::string sent;
        for (const std::string& part : CvBroadcastMessageParts(msg, maxChars, fragment, oem)) {
            sent += part;
        }
        return sent;
    } catch (const CvDataTransmissionErr&) {
        return CvMsgComposer::SentText(msg.text, MsgBroadcast, maxChars, fragment);
    }
}

void CvWriteBroadcastParts(CPort& port, const CMsg& msg, const std::vector<std::string>& parts) {
    for (const auto& part : parts) {
        CConnection* connection = port.Connect(msg.address);
        if (connection == nullptr) {
            throw CvUnknownNetworkErr("CreateFile");
        }
        CMailslotPdu pdu;
        pdu.SetOriginator(msg.sender);
        pdu.SetDestination(msg.recipient);
        pdu.SetText(part);
        try {
            connection->SendPdu(pdu);
        } catch (...) {
            connection->Close();
            throw;
        }
        connection->Close();
    }
}
