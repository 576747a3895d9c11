#pragma once

#include <cstdint>
#include <string>

#include "platform/CvNetbiosProvider.h"

class CvEvent;

// The NetBIOS operations the ports use, each on a fresh NCB of its own,
// returning the NCB return code (kNrcGoodRet = success). Names are passed as
// OEM bytes and put into 16-byte name fields (cut to 16, suffix in byte 15).

// True for the codes after which a port must register its name again.
bool NBIsFatal(uint8_t code);

uint8_t NBEnum(CvNetbiosProvider& provider, uint8_t (&buffer)[256]);
uint8_t NBReset(CvNetbiosProvider& provider, uint8_t lana, uint8_t sessions, uint8_t names);
uint8_t NBAddName(CvNetbiosProvider& provider, uint8_t lana, const std::string& name,
                  uint8_t suffix, uint8_t& nameNumber);
uint8_t NBAddGroupName(CvNetbiosProvider& provider, uint8_t lana, const std::string& name,
                       uint8_t suffix, uint8_t& nameNumber);
uint8_t NBDeleteName(CvNetbiosProvider& provider, uint8_t lana, const std::string& name,
                     uint8_t suffix, uint8_t nameNumber);
uint8_t NBHangUp(CvNetbiosProvider& provider, uint8_t lana, uint8_t session);
uint8_t NBCancel(CvNetbiosProvider& provider, uint8_t lana, CvNcb& target);

// Runs `ncb` asynchronously until it completes, resubmitting every 100 ms
// while it returns kNrcNoCall (at most 100 submissions), and gives up with
// kNrcCmdTmo once `limitMs` has passed (0 = no limit). The NCB is cancelled
// afterwards in every case.
uint8_t NBRunOperation(CvNetbiosProvider& provider, CvNcb& ncb, uint32_t limitMs);

// Calls (remote name, 0x03) from (local name, local suffix); the wait limit is
// the call time-out rounded down to 500 ms, the session's receive and send
// time-outs are the session time-out in 500 ms units.
uint8_t NBCall(CvNetbiosProvider& provider, uint8_t lana, const std::string& remoteName,
               const std::string& localName, uint8_t localSuffix, uint16_t callTimeoutMs,
               uint16_t sessionTimeoutMs, uint8_t& session);
uint8_t NBSend(CvNetbiosProvider& provider, uint8_t lana, uint8_t session, const uint8_t* data,
               uint16_t length, uint16_t sessionTimeoutMs);
// `length` is the buffer size on entry and the received length on success.
uint8_t NBRecv(CvNetbiosProvider& provider, uint8_t lana, uint8_t session, uint8_t* buffer,
               uint16_t& length, uint16_t sessionTimeoutMs);

// Posts a listen on (local name, 0x03) for any caller into `ncb`, which must
// stay alive until it completes; `event` is set on completion. Returns the
// immediate code (kNrcPending when posted).
uint8_t NBListenAsy(CvNetbiosProvider& provider, CvNcb& ncb, uint8_t lana,
                    const std::string& localName, uint16_t sessionTimeoutMs, CvEvent& event);
// Posts a datagram receive for `nameNumber` into `ncb`, the same way.
uint8_t NBRecvDatagramAsy(CvNetbiosProvider& provider, CvNcb& ncb, uint8_t lana, uint8_t nameNumber,
                          uint8_t* buffer, uint16_t length, CvEvent& event);
// Posts an adapter status request for (name, suffix); the buffer is zero-filled first.
uint8_t NBAdapterStatusAsy(CvNetbiosProvider& provider, CvNcb& ncb, uint8_t lana,
                           const std::string& name, uint8_t suffix, uint8_t* buffer,
                           uint16_t length, CvEvent& event);
