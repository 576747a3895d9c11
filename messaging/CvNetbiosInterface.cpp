#include "messaging/CvNetbiosInterface.h"

#include "platform/CvNetbiosProvider.h"

CvNetbiosInterface::CvNetbiosInterface(CvNetbiosProvider& provider, uint8_t lana)
    : lana(lana), m_provider(provider) {}

uint8_t CvNetbiosInterface::Reset() {
    CvNcb ncb;
    ncb.command = kNcbReset;
    ncb.lana = lana;
    ncb.callname[0] = maxSessions;
    ncb.callname[2] = maxNames;
    const uint8_t code = m_provider.Submit(ncb);
    resetDone = true;
    return code;
}
