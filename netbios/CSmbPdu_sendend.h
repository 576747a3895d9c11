#pragma once

#include "netbios/CSmbPdu.h"

// Send End of Multi-block Message (0xD6): one word, the message group id
// (set with SetGroupId), no data bytes. Encoded and decoded as a plain SMB.
class CSmbPdu_sendend : public CSmbPdu {
public:
    CSmbPdu_sendend();

    void Reset() override;

    // The reply that closes a multi-block message on the receiving side:
    // command 0xD6 with the header of the received Send Start, the multiplex
    // id of the last message received, no words and no data.
    static CSmbPdu_sendend MakeFinalReply(const CSmbPdu& start, const CSmbPdu& last);
};
