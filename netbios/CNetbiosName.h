#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "netbios/CPort.h"
#include "platform/CvEvent.h"
#include "platform/CvNcb.h"

class CvNetbiosProvider;

// The session service of one unique name on one adapter: registers the name,
// keeps eight listens posted so that several callers can connect at once, and
// calls other stations from it.
class CNetbiosName : public CPort {
public:
    static constexpr size_t kListens = 8;

    // `localName` is the name as the user sees it (UTF-8, upper case); the
    // wire form is its OEM bytes. `suffixes` are tried in order by Open.
    CNetbiosName(CvNetbiosProvider& provider, uint8_t lana, std::string localName,
                 std::vector<uint8_t> suffixes);
    ~CNetbiosName() override;

    // Reads one session message and decodes `pdu` from it.
    void ReceivePdu(CConnection* connection, CProtocolDataUnit& pdu) override;
    // Throws CvDataTransmissionErr("NBRecv<code>") on failure.
    void ReceiveRaw(CConnection* connection, CPduBuffer& buffer) override;
    void SendPdu(CConnection* connection, CProtocolDataUnit& pdu) override;
    // Throws CvDataTransmissionErr("NBSend<code>") on failure.
    void SendRaw(CConnection* connection, CPduBuffer& buffer) override;
    // Hangs up (result ignored), removes and deletes the connection.
    void CloseConnection(CConnection* connection) override;
    void Serve() override;
    bool Open() override;
    void Close() override;
    // Calls (name, 0x03); the name is upper-cased and converted to OEM.
    // Throws CvAddrNotFoundErr("NBCallAsy3") when nobody answers or the call
    // times out, CvUnknownNetworkErr("NBCallAsy3") on other failures.
    CConnection* Connect(const std::string& name) override;
    void Stop() override;

    uint8_t Lana() const { return m_lana; }
    const std::string& LocalName() const { return m_localName; }

private:
    void CancelListens();

    CvNetbiosProvider& m_provider;
    std::string m_localName;
    std::string m_oemName;
    std::vector<uint8_t> m_suffixes;
    uint8_t m_suffix = 0x03;
    uint8_t m_nameNumber = 0;
    uint8_t m_lana;
    std::array<CvNcb, kListens> m_listens;
    std::array<CvEvent, kListens> m_listenEvents;
    CvEvent m_stopEvent{true, false};
    bool m_listensPending = false;
    bool m_nameAdded = false;
};
