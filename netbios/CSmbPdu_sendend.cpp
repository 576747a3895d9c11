#include "netbios/CSmbPdu_sendend.h"

CSmbPdu_sendend::CSmbPdu_sendend() {
    CSmbPdu_sendend::Reset();
}

void CSmbPdu_sendend::Reset() {
    CSmbPdu::Reset();
    SetCommand(kCommandSendEnd);
}

CSmbPdu_sendend CSmbPdu_sendend::MakeFinalReply(const CSmbPdu& start, const CSmbPdu& last) {
    CSmbPdu_sendend reply;
    reply.CopyHeader(start);
    reply.SetCommand(kCommandSendEnd);
    reply.SetMid(last.Mid());
    return reply;
}
