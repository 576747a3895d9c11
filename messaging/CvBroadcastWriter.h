#pragma once

#include <string>
#include <vector>

#include "messaging/CMsg.h"

class CPort;

// Writes each part as one mailslot message (originator = msg.sender,
// destination = msg.recipient) through its own connection of `port` to
// msg.address. Throws CvUnknownNetworkErr("CreateFile") at the first part
// that gets no connection; every connection is closed.
void CvWriteBroadcastParts(CPort& port, const CMsg& msg, const std::vector<std::string>& parts);
