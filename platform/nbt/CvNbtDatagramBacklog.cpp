#include "platform/nbt/CvNbtDatagramBacklog.h"

#include <algorithm>
#include <utility>

void CvNbtDatagramBacklog::Push(uint8_t lana, Datagram datagram) {
    auto& queue = m_adapters[lana];
    if (queue.size() >= kMaxDatagrams) {
        queue.pop_front();
    }
    queue.push_back(std::move(datagram));
}

std::optional<CvNbtDatagramBacklog::Datagram> CvNbtDatagramBacklog::Take(uint8_t lana,
                                                                         uint8_t number,
                                                                         Clock::time_point now) {
    auto found = m_adapters.find(lana);
    if (found == m_adapters.end()) {
        return std::nullopt;
    }
    auto& queue = found->second;
    while (!queue.empty() && now - queue.front().arrival > kMaxAge) {
        queue.pop_front();
    }
    auto it = std::find_if(queue.begin(), queue.end(), [&](const Datagram& datagram) {
        return number == kAnyName || datagram.number == number;
    });
    if (it == queue.end()) {
        return std::nullopt;
    }
    Datagram taken = std::move(*it);
    queue.erase(it);
    return taken;
}

void CvNbtDatagramBacklog::DropName(uint8_t lana, uint8_t number) {
    auto found = m_adapters.find(lana);
    if (found != m_adapters.end()) {
        std::erase_if(found->second,
                      [&](const Datagram& datagram) { return datagram.number == number; });
    }
}

size_t CvNbtDatagramBacklog::Size(uint8_t lana) const {
    auto found = m_adapters.find(lana);
    return found == m_adapters.end() ? 0 : found->second.size();
}
