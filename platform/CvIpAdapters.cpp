#include "platform/CvIpAdapters.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

std::vector<CvIpAdapter> CvAdapterNumbering::Number(
    const std::vector<CvIpInterfaceInfo>& interfaces,
    const std::vector<std::string>& allowedNames) {
    std::vector<const CvIpInterfaceInfo*> usable;
    for (const auto& info : interfaces) {
        if (!info.up || info.loopback || !info.hasBroadcast || info.address == 0) {
            continue;
        }
        if (!allowedNames.empty() &&
            std::find(allowedNames.begin(), allowedNames.end(), info.name) == allowedNames.end()) {
            continue;
        }
        const bool seen = std::any_of(usable.begin(), usable.end(),
                                      [&](const auto* other) { return other->name == info.name; });
        if (!seen) {
            usable.push_back(&info);
        }
    }
    std::stable_sort(usable.begin(), usable.end(),
                     [](const auto* a, const auto* b) { return a->index < b->index; });

    std::vector<CvIpAdapter> adapters;
    std::lock_guard guard(m_lock);
    for (const auto* info : usable) {
        auto it = m_numbers.find(info->name);
        if (it == m_numbers.end()) {
            if (m_next >= 254) {
                continue;
            }
            it = m_numbers.emplace(info->name, m_next++).first;
        }
        adapters.push_back({it->second, info->name, info->index, info->address, info->netmask,
                            info->broadcast});
    }
    std::sort(adapters.begin(), adapters.end(),
              [](const auto& a, const auto& b) { return a.lana < b.lana; });
    return adapters;
}

std::vector<CvIpInterfaceInfo> CvListIpInterfaces() {
    std::vector<CvIpInterfaceInfo> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return result;
    }
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        CvIpInterfaceInfo info;
        info.name = entry->ifa_name;
        info.index = if_nametoindex(entry->ifa_name);
        info.up = (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_RUNNING) != 0;
        info.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        info.hasBroadcast = (entry->ifa_flags & IFF_BROADCAST) != 0 && entry->ifa_broadaddr;
        auto toHost = [](const sockaddr* address) -> uint32_t {
            if (address == nullptr || address->sa_family != AF_INET) {
                return 0;
            }
            return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
        };
        info.address = toHost(entry->ifa_addr);
        info.netmask = toHost(entry->ifa_netmask);
        info.broadcast = info.hasBroadcast ? toHost(entry->ifa_broadaddr) : 0;
        result.push_back(info);
    }
    freeifaddrs(list);
    return result;
}

std::vector<std::string> CvAllowedInterfaceNames() {
    std::vector<std::string> names;
    const char* value = std::getenv("CORVANE_INTERFACES");
    if (value == nullptr) {
        return names;
    }
    std::stringstream list(value);
    std::string name;
    while (std::getline(list, name, ',')) {
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (!name.empty()) {
            names.push_back(name);
        }
    }
    return names;
}

std::vector<CvIpAdapter> CvEnumerateIpAdapters() {
    static CvAdapterNumbering numbering;
    return numbering.Number(CvListIpInterfaces(), CvAllowedInterfaceNames());
}
