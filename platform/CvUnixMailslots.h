#pragma once

#include <string>

#include "platform/CvMailslotProvider.h"

// Mailslots of this machine as Unix datagram sockets in one folder:
// $XDG_RUNTIME_DIR/corvane/mailslot/<NAME> (fallback /tmp/corvane-<uid>/mailslot/).
// A lock file beside each socket tells who owns it, so that a second owner is
// refused while a socket left by a crashed owner is taken over.
//
// Writes to "." go to the local socket; writes to any other target are handed
// to `remote` (the NetBIOS stack, which sends them as datagrams), or fail
// without it.
class CvUnixMailslots : public CvMailslotProvider {
public:
    explicit CvUnixMailslots(CvMailslotProvider* remote = nullptr, std::string directory = {});

    // The folder of the sockets (created 0700 on first use).
    static std::string DefaultDirectory();
    const std::string& Directory() const { return m_directory; }

    std::unique_ptr<CvLocalMailslot> CreateMailslot(const std::string& name,
                                                    uint32_t maxMessageSize) override;
    std::unique_ptr<CvMailslotWriter> OpenMailslot(const std::string& target,
                                                   const std::string& name) override;

private:
    CvMailslotProvider* m_remote;
    std::string m_directory;
};
