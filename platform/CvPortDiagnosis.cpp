#include "platform/CvPortDiagnosis.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace CvPortDiagnosis {
namespace {

// errno of binding one socket the way the stack does; 0 when it bound.
int TryBind(bool tcp, uint32_t address, uint16_t port) {
    const int fd = socket(AF_INET, (tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return errno;
    }
    const int on = 1;
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(port);
    endpoint.sin_addr.s_addr = htonl(address);
    int error = 0;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) != 0) {
        error = errno;
    }
    close(fd);
    return error;
}

std::set<unsigned long> BoundInodes(bool tcp, uint16_t port);
bool HoldsOne(const std::string& pid, const std::set<unsigned long>& inodes);

Finding Check(bool tcp, uint32_t address, uint16_t port) {
    Finding finding;
    finding.tcp = tcp;
    finding.address = address;
    finding.port = port;
    finding.error = TryBind(tcp, address, port);
    if (finding.error == EACCES || finding.error == EPERM) {
        finding.kind = Finding::Kind::NoPermission;
    } else if (finding.error == EADDRINUSE) {
        finding.kind = Finding::Kind::InUse;
        finding.holders = Holders(tcp, port);
    }
    return finding;
}

std::string AddressText(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string PortText(const Finding& finding) {
    std::string text =
        std::string(finding.tcp ? "TCP" : "UDP") + " port " + std::to_string(finding.port);
    if (finding.address != 0) {
        text += " on " + AddressText(finding.address);
    }
    return text;
}

// The first port unprivileged programs may bind on this system.
std::string UnprivilegedPortStart() {
    std::ifstream file("/proc/sys/net/ipv4/ip_unprivileged_port_start");
    unsigned start = 0;
    if (file >> start) {
        return std::to_string(start);
    }
    return "1024";
}

// Socket inodes of `table` (a /proc/net file) bound to `port`.
void CollectInodes(const char* table, bool tcp, uint16_t port, std::set<unsigned long>& inodes) {
    std::ifstream file(table);
    std::string line;
    std::getline(file, line);  // header
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode)) {
            continue;
        }
        const size_t colon = local.rfind(':');
        if (colon == std::string::npos ||
            std::strtoul(local.c_str() + colon + 1, nullptr, 16) != port) {
            continue;
        }
        if (tcp && state != "0A") {  // only a listening socket holds the port
            continue;
        }
        if (inode != 0) {
            inodes.insert(inode);
        }
    }
}

bool IsNumber(const char* text) {
    if (*text == '\0') {
        return false;
    }
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') {
            return false;
        }
    }
    return true;
}

// Whether process `pid` has a descriptor on one of `inodes`; false when its
// descriptors cannot be read.
bool HoldsOne(const std::string& pid, const std::set<unsigned long>& inodes) {
    const std::string folder = "/proc/" + pid + "/fd";
    DIR* fds = opendir(folder.c_str());
    if (fds == nullptr) {
        return false;
    }
    bool holds = false;
    while (const dirent* entry = readdir(fds)) {
        if (!IsNumber(entry->d_name)) {
            continue;
        }
        char target[64];
        const std::string link = folder + "/" + entry->d_name;
        const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
        if (length <= 0) {
            continue;
        }
        target[length] = '\0';
        unsigned long inode = 0;
        if (std::sscanf(target, "socket:[%lu]", &inode) == 1 && inodes.count(inode) != 0) {
            holds = true;
            break;
        }
    }
    closedir(fds);
    return holds;
}

std::string ProcessName(const std::string& pid) {
    std::ifstream file("/proc/" + pid + "/comm");
    std::string name;
    std::getline(file, name);
    return name.empty() ? "?" : name;
}

}  // namespace

namespace {

std::set<unsigned long> BoundInodes(bool tcp, uint16_t port) {
    std::set<unsigned long> inodes;
    CollectInodes(tcp ? "/proc/net/tcp" : "/proc/net/udp", tcp, port, inodes);
    CollectInodes(tcp ? "/proc/net/tcp6" : "/proc/net/udp6", tcp, port, inodes);
    return inodes;
}

// A port in use that no other process visibly holds, held by this process:
// the stack's own socket, not a problem.
bool HeldByUsAlone(const Finding& finding) {
    return finding.kind == Finding::Kind::InUse && finding.holders.empty() &&
           HoldsOne(std::to_string(getpid()), BoundInodes(finding.tcp, finding.port));
}

}  // namespace

std::vector<std::string> Holders(bool tcp, uint16_t port) {
    const std::set<unsigned long> inodes = BoundInodes(tcp, port);
    std::vector<std::string> holders;
    if (inodes.empty()) {
        return holders;
    }
    const std::string own = std::to_string(getpid());
    DIR* processes = opendir("/proc");
    if (processes == nullptr) {
        return holders;
    }
    while (const dirent* entry = readdir(processes)) {
        const std::string pid = entry->d_name;
        if (IsNumber(pid.c_str()) && pid != own && HoldsOne(pid, inodes)) {
            holders.push_back(ProcessName(pid) + " (pid " + pid + ")");
        }
    }
    closedir(processes);
    return holders;
}

std::vector<Finding> Diagnose(const CvNbtPorts& ports, const std::vector<uint32_t>& addresses) {
    std::vector<Finding> checks = {Check(false, 0, ports.name), Check(false, 0, ports.datagram)};
    for (uint32_t address : addresses) {
        checks.push_back(Check(true, address, ports.session));
    }
    std::vector<Finding> findings;
    for (Finding& finding : checks) {
        if (finding.error != 0 && !HeldByUsAlone(finding)) {
            findings.push_back(std::move(finding));
        }
    }
    return findings;
}

std::string Describe(const std::vector<Finding>& findings) {
    std::vector<std::string> parts;
    std::string denied;
    for (const Finding& finding : findings) {
        if (finding.kind == Finding::Kind::NoPermission) {
            denied += (denied.empty() ? "" : ", ") + PortText(finding);
        }
    }
    if (!denied.empty()) {
        parts.push_back("no permission to open " + denied + ": ports below " +
                        UnprivilegedPortStart() +
                        " need the capability cap_net_bind_service or a lower "
                        "net.ipv4.ip_unprivileged_port_start (see \"Running on the standard "
                        "NetBIOS ports without root\" in the README)");
    }
    for (const Finding& finding : findings) {
        if (finding.kind == Finding::Kind::InUse) {
            std::string text = PortText(finding) + " is held by another program";
            if (finding.holders.empty()) {
                text += " (only root can see which: sudo ss -lntup 'sport = :" +
                        std::to_string(finding.port) + "')";
            } else {
                text += ": ";
                for (size_t i = 0; i < finding.holders.size(); ++i) {
                    text += (i == 0 ? "" : ", ") + finding.holders[i];
                }
            }
            parts.push_back(text);
        } else if (finding.kind == Finding::Kind::Other) {
            parts.push_back("cannot open " + PortText(finding) + ": " +
                            std::strerror(finding.error));
        }
    }
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
}

}  // namespace CvPortDiagnosis
