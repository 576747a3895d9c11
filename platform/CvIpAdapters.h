#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// One LAN adapter of the NetBIOS layer: an IPv4 interface that is up, is not
// loopback and has a broadcast address. Addresses in host byte order.
struct CvIpAdapter {
    uint8_t lana = 0;
    std::string interfaceName;
    unsigned interfaceIndex = 0;
    uint32_t address = 0;
    uint32_t netmask = 0;
    uint32_t broadcast = 0;
};

// An interface as the system reports it, before it is filtered and numbered.
struct CvIpInterfaceInfo {
    std::string name;
    unsigned index = 0;
    bool up = false;
    bool loopback = false;
    bool hasBroadcast = false;
    uint32_t address = 0;
    uint32_t netmask = 0;
    uint32_t broadcast = 0;
};

// Gives each interface an adapter number (LANA) the first time it is seen and
// keeps it for the life of the object, so that an adapter keeps its number
// while others come and go. Numbers are handed out in interface-index order
// among the interfaces seen together.
class CvAdapterNumbering {
public:
    // Filters `interfaces` (up, not loopback, broadcast-capable, IPv4, and in
    // `allowedNames` unless that is empty; the first address of an interface
    // wins) and returns them numbered, in adapter-number order. At most 254
    // adapters get numbers; later ones are left out.
    std::vector<CvIpAdapter> Number(const std::vector<CvIpInterfaceInfo>& interfaces,
                                    const std::vector<std::string>& allowedNames);

private:
    std::mutex m_lock;
    std::map<std::string, uint8_t> m_numbers;
    uint8_t m_next = 0;
};

// The system's interfaces (getifaddrs), IPv4 only.
std::vector<CvIpInterfaceInfo> CvListIpInterfaces();

// Interface names from CORVANE_INTERFACES (comma-separated); empty = all.
std::vector<std::string> CvAllowedInterfaceNames();

// The current adapters of this process, numbered stably (a process-wide
// CvAdapterNumbering over CvListIpInterfaces and CvAllowedInterfaceNames).
std::vector<CvIpAdapter> CvEnumerateIpAdapters();
