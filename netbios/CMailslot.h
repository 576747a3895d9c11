#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "netbios/CPort.h"
#include "platform/CvMailslotProvider.h"

// The local mailslot of this station (e.g. MESSNGR): created when the port
// opens (messages left from before are discarded), polled every 100 ms, each
// waiting message handed to the connection handler as a connection. Connect
// opens the mailslot of the same name on another station or domain.
class CMailslot : public CPort {
public:
    static constexpr uint32_t kMaxMessageSize = 400;
    static constexpr uint32_t kPollPeriodMs = 100;

    CMailslot(CvMailslotProvider& mailslots, std::string mailslotName);
    ~CMailslot() override;

    // Reads the waiting message (if any) and decodes `pdu` from it.
    void ReceivePdu(CConnection* connection, CProtocolDataUnit& pdu) override;
    void ReceiveRaw(CConnection* connection, CPduBuffer& buffer) override;
    // Writes are not checked: a failed write is not reported.
    void SendPdu(CConnection* connection, CProtocolDataUnit& pdu) override;
    void SendRaw(CConnection* connection, CPduBuffer& buffer) override;
    void CloseConnection(CConnection* connection) override;
    void Serve() override;
    bool Open() override;
    void Close() override;
    // The name is upper-cased and converted to OEM. Null when it cannot be opened.
    CConnection* Connect(const std::string& name) override;

private:
    CvMailslotProvider& m_mailslots;
    std::string m_mailslotName;
    std::unique_ptr<CvLocalMailslot> m_mailslot;
    std::atomic<uint64_t> m_messagesRead{0};
};
