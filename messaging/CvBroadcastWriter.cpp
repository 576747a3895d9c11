#include "messaging/CvBroadcastWriter.h"

#include "messaging/CvError.h"
#include "netbios/CMailslotPdu.h"
#include "netbios/CPort.h"

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
