#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/CvThreadClassFunction.h"
#include "netbios/CDatagramRing.h"
#include "netbios/CPort.h"
#include "platform/CvEvent.h"
#include "platform/CvNcb.h"

class CvNetbiosProvider;
class CvMailslotProvider;

// The datagram service of one group name on one adapter. The port thread
// keeps a datagram receive posted and parks what arrives in a ring; a
// delivery thread hands each datagram to the connection handler, so that the
// receive is re-posted at once. Outgoing connections are mailslot writes.
class CNetbiosDgName : public CPort {
public:
    static constexpr size_t kMaxDatagram = 512;
    static constexpr uint32_t kDeliveryPeriodMs = 200;

    // `mailslots` may be null: Connect then yields no connection.
    CNetbiosDgName(CvNetbiosProvider& provider, CvMailslotProvider* mailslots, uint8_t lana,
                   std::string groupName);
    ~CNetbiosDgName() override;

    // Decodes `pdu` from the connection's datagram.
    void ReceivePdu(CConnection* connection, CProtocolDataUnit& pdu) override;
    void ReceiveRaw(CConnection* connection, CPduBuffer& buffer) override;
    // Writes to the connection's mailslot. A write that could not be sent
    // (too large for a datagram, or no adapter could send it) throws
    // CvDataTransmissionErr("WriteFile").
    void SendPdu(CConnection* connection, CProtocolDataUnit& pdu) override;
    void SendRaw(CConnection* connection, CPduBuffer& buffer) override;
    void CloseConnection(CConnection* connection) override;
    // One datagram receive; kNrcNamConf puts the port in conflict.
    void Serve() override;
    bool Open() override;
    void Close() override;
    // Opens "\\name\MAILSLOT\MESSNGR" for writing; null when that fails.
    CConnection* Connect(const std::string& name) override;
    void Start() override;
    void Stop() override;

    uint8_t Lana() const { return m_lana; }

private:
    void DeliveryThread(CvThread* thread);

    CvNetbiosProvider& m_provider;
    CvMailslotProvider* m_mailslots;
    std::string m_groupName;
    std::string m_oemName;
    uint8_t m_lana;
    uint8_t m_nameNumber = 0;
    uint8_t m_suffix = 0x00;
    CvNcb m_receive;
    CvEvent m_receiveEvent{true, false};
    uint8_t m_receiveBuffer[1024] = {};
    CDatagramRing m_ring;
    std::unique_ptr<CvThreadClassFunction<CNetbiosDgName>> m_deliveryThread;
};
