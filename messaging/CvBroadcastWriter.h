#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "messaging/CMsg.h"
#include "platform/CvOemCodec.h"

class CPort;

// The largest mailslot message a broadcast is written as: what the MESSNGR
// mailslot of a receiving station takes (CMailslot::kMaxMessageSize), which
// also leaves a NetBIOS datagram room for the SMB Transaction around it.
inline constexpr size_t kMaxBroadcastMessageBytes = 400;

// The parts msg.text is written in (CvBroadcastParts): at most `maxChars`
// code points each, and small enough that originator, destination and part,
// converted by `oem` and with their three terminators, fit into
// kMaxBroadcastMessageBytes. Throws CvDataTransmissionErr("WriteFile") when
// the two names alone leave no room.
std::vector<std::string> CvBroadcastMessageParts(const CMsg& msg, size_t maxChars, bool fragment,
                                                 const CvOemCodec& oem = CvOemCodec::System());

// What those parts carry together: the text as the receiving stations get
// it, and so what is filed as sent. When the names alone leave no room
// (nothing can be sent), the text cut by characters as the parts would be.
std::string CvBroadcastSentText(const CMsg& msg, size_t maxChars, bool fragment,
                                const CvOemCodec& oem = CvOemCodec::System());

// Writes each part as one mailslot message (originator = msg.sender,
// destination = msg.recipient) through its own connection of `port` to
// msg.address. Throws CvUnknownNetworkErr("CreateFile") at the first part
// that gets no connection, and passes on what the port's write throws;
// every connection is closed.
void CvWriteBroadcastParts(CPort& port, const CMsg& msg, const std::vector<std::string>& parts);
