#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "storage/CvPresenceProbe.h"

class CvNetNamePinger;
class CvHostScanner;

// Presence through the name pinger (messenger names, suffix 0x03) and the
// host scanner's latest neighbourhood (domains and workgroups). Both must
// outlive this object.
class CvPingerPresenceProbe : public CvPresenceProbe {
public:
    static constexpr uint8_t kMessengerSuffix = 0x03;

    CvPingerPresenceProbe(CvNetNamePinger& pinger, CvHostScanner& scanner);
    ~CvPingerPresenceProbe() override;
    CvPingerPresenceProbe(const CvPingerPresenceProbe&) = delete;
    CvPingerPresenceProbe& operator=(const CvPingerPresenceProbe&) = delete;

    void Ping(const std::string& name, std::shared_ptr<CvNetNamePingReceiver> receiver) override;
    bool IsWorkgroupKnown(const std::string& name) override;

private:
    CvNetNamePinger& m_pinger;
    CvHostScanner& m_scanner;
    uint32_t m_requester;
};
