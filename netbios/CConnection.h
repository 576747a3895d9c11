#pragma once

class CPort;
class CPduBuffer;
class CProtocolDataUnit;

// One exchange with a peer through a port: an accepted or called session, a
// received datagram, or a mailslot message. The port owns it; each operation
// forwards to the port. Close removes the connection from its port and
// deletes it: the pointer must not be used afterwards.
class CConnection {
public:
    explicit CConnection(CPort* port) : m_port(port) {}
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;
    virtual ~CConnection() = default;

    // Session errors are thrown as CvNetworkErr subclasses.
    virtual void ReceivePdu(CProtocolDataUnit& pdu);
    virtual void ReceiveRaw(CPduBuffer& buffer);
    virtual void SendPdu(CProtocolDataUnit& pdu);
    virtual void SendRaw(CPduBuffer& buffer);
    virtual void Close();

    CPort* Port() const { return m_port; }

private:
    CPort* m_port;
};
