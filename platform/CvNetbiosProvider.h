#pragma once

#include <cstdint>

#include "platform/CvNcb.h"

// Everything reaches NetBIOS through this interface, the way Windows programs
// call Netbios(). Two implementations exist: the NetBIOS-over-TCP/IP stack
// for real networks and an in-process virtual LAN for tests.
//
// Submit issues one command:
// - Synchronous commands run to completion and return the return code, which
//   is also stored in ncb.retcode.
// - A command with kNcbAsync returns kNrcPending at once (ncb.retcode stays
//   kNrcPending), or an error code if it could not be queued. On completion
//   the provider stores ncb.retcode and ncb.cmdCplt, then sets ncb.event.
//   Submitting resets the event first. Pending commands are finished by
//   kNcbCancel (kNrcCmdCan); when kNcbCancel returns, whatever its code, the
//   target is no longer pending and the provider no longer touches it.
//
// Commands and what they fill in:
//   kNcbEnum           buffer: byte 0 = adapter count, then the adapter numbers
//   kNcbReset          lana; callname[0] = sessions, callname[2] = names
//   kNcbAddName        lana, name -> num; kNrcDupName if in our table,
//   kNcbAddGroupName                     kNrcInUse if another station holds it
//   kNcbDeleteName     lana, name
//   kNcbCall           lana, callname, name, rto, sto -> lsn; kNrcNoCall when
//                      no station answers
//   kNcbListen         lana, callname ("*" = anyone), name -> lsn, callname
//   kNcbSend           lana, lsn, buffer, length
//   kNcbRecv           lana, lsn, buffer, length -> length
//   kNcbHangUp         lana, lsn
//   kNcbSendDatagram   lana, num, callname, buffer, length
//   kNcbRecvDatagram   lana, num, buffer, length -> length, callname (sender)
//   kNcbAdapterStatus  lana, callname (station to ask), buffer, length
//   kNcbCancel         lana, cancelTarget
class CvNetbiosProvider {
public:
    virtual ~CvNetbiosProvider() = default;
    virtual uint8_t Submit(CvNcb& ncb) = 0;
};
