#include "messaging/CvNetbiosNetwork.h"

#include <algorithm>
#include <array>

#include "messaging/CvNetbiosInterface.h"
#include "platform/CvNetbiosProvider.h"

CvNetbiosNetwork::CvNetbiosNetwork(CvNetbiosProvider& provider) : m_provider(provider) {}

CvNetbiosNetwork::~CvNetbiosNetwork() {
    StopWatch();
}

void CvNetbiosNetwork::Refresh() {
    std::array<uint8_t, 256> adapters{};
    for (auto& interface : m_interfaces) {
        interface->stale = true;
    }

    CvNcb ncb;
    ncb.command = kNcbEnum;
    ncb.buffer = adapters.data();
    ncb.length = static_cast<uint16_t>(adapters.size());
    if (m_provider.Submit(ncb) == kNrcGoodRet) {
        const size_t count = std::min<size_t>(adapters[0], adapters.size() - 1);
        for (size_t i = 1; i <= count; ++i) {
            const uint8_t lana = adapters[i];
            auto found = std::find_if(m_interfaces.begin(), m_interfaces.end(), [&](auto& item) {
                return static_cast<CvNetbiosInterface*>(item.get())->lana == lana;
            });
            if (found != m_interfaces.end()) {
                (*found)->stale = false;
            } else {
                // An adapter that cannot be reset (another NetBIOS service
                // holds its ports, say) is left out until it can be: with no
                // usable adapter the station reports "Network not found".
                auto adapter = std::make_unique<CvNetbiosInterface>(m_provider, lana);
                if (adapter->Reset() == kNrcGoodRet) {
                    m_interfaces.push_back(std::move(adapter));
                    m_changed = true;
                }
            }
        }
    }

    for (size_t i = m_interfaces.size(); i-- > 0;) {
        if (m_interfaces[i]->stale) {
            m_interfaces.erase(m_interfaces.begin() + static_cast<std::ptrdiff_t>(i));
            m_changed = true;
        }
    }
}
