#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/nbt/CvNbtPorts.h"

// Why the NetBIOS stack cannot open its ports, in words a person can act on.
// The stack only learns that an adapter's reset failed; this tries the same
// binds it makes (the UDP name and datagram ports on every address, the TCP
// session port on each adapter's address, all with SO_REUSEADDR; the TCP
// socket is bound without listening, so the probe never stands in the
// stack's way) and tells a missing permission from a port held by another
// program, whose name /proc gives when this user may see it.
namespace CvPortDiagnosis {

struct Finding {
    enum class Kind {
        NoPermission,  // EACCES: a privileged port without the capability
        InUse,         // EADDRINUSE: another program holds the port
        Other,         // any other error of socket or bind
    };
    Kind kind = Kind::Other;
    bool tcp = false;
    uint16_t port = 0;
    uint32_t address = 0;  // host byte order; 0 = every address
    int error = 0;         // errno of the failed call
    // For InUse: the processes holding the port other than this one, as
    // "name (pid N)"; empty when /proc does not tell (another user's).
    std::vector<std::string> holders;

    bool operator==(const Finding&) const = default;
};

// Tries each port as the stack binds it, on `addresses` (host byte order)
// for the session port. Returns one finding per bind that failed, except a
// port held only by this process (the stack's own socket); empty when every
// bind succeeded.
std::vector<Finding> Diagnose(const CvNbtPorts& ports, const std::vector<uint32_t>& addresses);

// The processes other than this one with a socket bound to `port` (a
// listening one for TCP), IPv4 or IPv6, as "name (pid N)", found through
// /proc/net and the processes' descriptors. Processes of other users stay
// hidden from a normal user.
std::vector<std::string> Holders(bool tcp, uint16_t port);

// The findings as one text: what is wrong and the cure (the capability or
// the sysctl for a permission, the holder for a port in use). "" for none.
std::string Describe(const std::vector<Finding>& findings);

}  // namespace CvPortDiagnosis
