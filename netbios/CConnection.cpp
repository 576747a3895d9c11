#include "netbios/CConnection.h"

#include "netbios/CPort.h"

void CConnection::ReceivePdu(CProtocolDataUnit& pdu) {
    m_port->ReceivePdu(this, pdu);
}

void CConnection::ReceiveRaw(CPduBuffer& buffer) {
    m_port->ReceiveRaw(this, buffer);
}

void CConnection::SendPdu(CProtocolDataUnit& pdu) {
    m_port->SendPdu(this, pdu);
}

void CConnection::SendRaw(CPduBuffer& buffer) {
    m_port->SendRaw(this, buffer);
}

void CConnection::Close() {
    m_port->CloseConnection(this);
}
