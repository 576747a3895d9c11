#include "storage/CvPingerPresenceProbe.h"

#include "messaging/CvHostScanner.h"
#include "messaging/CvNetNamePinger.h"

CvPingerPresenceProbe::CvPingerPresenceProbe(CvNetNamePinger& pinger, CvHostScanner& scanner)
    : m_pinger(pinger), m_scanner(scanner), m_requester(pinger.NewRequester()) {}

CvPingerPresenceProbe::~CvPingerPresenceProbe() {
    m_pinger.ReleaseRequester(m_requester);
}

void CvPingerPresenceProbe::Ping(const std::string& name,
                                 std::shared_ptr<CvNetNamePingReceiver> receiver) {
    m_pinger.Ping(m_requester, kMessengerSuffix, name, std::move(receiver));
}

bool CvPingerPresenceProbe::IsWorkgroupKnown(const std::string& name) {
    return m_scanner.Contains(2, name);
}
