#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/CvMemberFunction.h"
#include "netbios/CConnectionWorkers.h"
#include "netbios/CPort.h"
#include "platform/CvEvent.h"
#include "platform/CvNcb.h"

class CNetbiosConnection;
class CvNetbiosProvider;

// The session service of one unique name on one adapter: registers the name,
// keeps eight listens posted so that several callers can connect at once, and
// calls other stations from it. Accepted sessions are served by up to
// kMaxWorkers worker threads (not the port thread), so that a caller who is
// slow to finish holds up nobody else; up to kMaxWaiting more wait for a
// worker, and beyond that the listens are re-posted only as workers free up.
// While callers wait, sessions served for longer than kMakeWayAfterMs (an
// honest message takes well under a second) are hung up to make way for
// them, oldest first, so that a peer holding many slow sessions cannot keep
// the others out beyond their time-outs.
class CNetbiosName : public CPort {
public:
    static constexpr size_t kListens = 8;
    static constexpr size_t kMaxWorkers = 32;
    static constexpr size_t kMaxWaiting = 32;
    static constexpr uint32_t kMakeWayAfterMs = 2000;
    // How often a port with waiting callers looks for sessions to end.
    static constexpr uint32_t kMakeWayCheckMs = 250;

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
    // One listen pass. A listen that ends with kNrcNamConf puts the port in
    // conflict; one that ends without a caller for another non-fatal reason
    // is posted again.
    void Serve() override;
    bool Open() override;
    void Close() override;
    // Calls (name, 0x03); the name is upper-cased and converted to OEM.
    // Throws CvAddrNotFoundErr("NBCallAsy3") when nobody answers or the call
    // times out, CvUnknownNetworkErr("NBCallAsy3") on other failures.
    CConnection* Connect(const std::string& name) override;
    // Stops listening, hangs up the sessions still being served, waits for
    // the workers and deletes the name.
    void Stop() override;

    uint8_t Lana() const { return m_lana; }
    const std::string& LocalName() const { return m_localName; }
    // Worker threads started so far.
    size_t WorkerCount() const { return m_workers.WorkerCount(); }

private:
    void CancelListens();
    // False when the listen could not be posted.
    bool PostListen(size_t slot);
    // Hands an accepted session to the workers; false (the session closed)
    // when the port stopped while every worker was busy.
    bool Accept(const std::string& caller, uint8_t session);
    void HangUpOnce(CNetbiosConnection& connection);
    void RunHandler(CConnection* connection);
    // Hangs up as many of the sessions served longer than kMakeWayAfterMs as
    // callers wait for a worker, oldest first.
    void MakeWay();

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
    std::mutex m_hangUpLock;  // guards CNetbiosConnection::hungUp
    CvVoidUnaryMemberFunction<CNetbiosName, CConnection*> m_runHandler{this,
                                                                       &CNetbiosName::RunHandler};
    CConnectionWorkers m_workers{m_runHandler, kMaxWorkers, kMaxWaiting};
};
